// Text-frame properties: the insets, wrapping, anchoring and auto-fit of a shape's text body.
#include <string>

#include "core/pml/shape_cursor.hpp"
#include "core/pml/slide_child_order.hpp"
#include "core/text/text_format_rewrite.hpp"

namespace pelvane {

namespace {

bool is_text_frame_auto_size_element(std::string_view local_name) {
  return local_name == "normAutofit" || local_name == "spAutoFit" || local_name == "noAutofit";
}

template <std::size_t N>
bool one_of(std::string_view value, const std::string_view (&allowed)[N]) {
  for (const std::string_view candidate : allowed)
    if (value == candidate) return true;
  return false;
}

// The patch's values, checked in this order before the slide is read.
Result<void> validate(const TextFramePropertiesPatch& patch) {
  static constexpr std::string_view kMargins[] = {"lIns", "rIns", "tIns", "bIns"};
  static constexpr std::string_view kWraps[] = {"none", "square"};
  static constexpr std::string_view kAnchors[] = {"t", "ctr", "b", "just", "dist"};
  static constexpr std::string_view kAutoSizes[] = {"normAutofit", "spAutoFit", "noAutofit"};
  const auto refuse = [](std::string_view what, std::string_view value) {
    return fail(PelvaneError::invalid_input("unsupported text frame " + std::string(what) + ": " +
                                            std::string(value)));
  };
  // The map holds its keys in byte order: the first bad key is the smallest.
  for (const auto& [key, value] : patch.margins)
    if (!one_of(key, kMargins)) return refuse("margin attribute", key);
  if (patch.set_word_wrap && patch.word_wrap && !one_of(*patch.word_wrap, kWraps))
    return refuse("word wrap value", *patch.word_wrap);
  if (patch.set_vertical_anchor && patch.vertical_anchor &&
      !one_of(*patch.vertical_anchor, kAnchors))
    return refuse("vertical anchor value", *patch.vertical_anchor);
  if (patch.set_auto_size && patch.auto_size && !one_of(*patch.auto_size, kAutoSizes))
    return refuse("auto-size value", *patch.auto_size);
  return {};
}

// The insets in key order, then `wrap`, then `anchor`; a flag set without a value removes.
AttributeChanges text_frame_body_property_attributes(const TextFramePropertiesPatch& patch) {
  AttributeChanges attributes;
  for (const auto& [key, value] : patch.margins) attributes.add(key, std::to_string(value));
  if (patch.set_word_wrap) attributes.add("wrap", patch.word_wrap);
  if (patch.set_vertical_anchor) attributes.add("anchor", patch.vertical_anchor);
  return attributes;
}

// A new auto-fit element: self-closing, without attributes.
void write_auto_fit(XmlWriter& writer, std::string_view name) {
  writer.write_empty(XmlStartTag(name));
}

// A whole body properties element (a new `a:bodyPr`, or a self-closing one rewritten):
// self-closing, or holding the new auto-fit element.
void write_text_frame_body_properties(XmlWriter& writer, const XmlStartTag& tag,
                                      const std::optional<std::string>& auto_fit) {
  if (!auto_fit) {
    writer.write_empty(tag);
    return;
  }
  writer.write_start(tag);
  write_auto_fit(writer, *auto_fit);
  writer.write_end_tag(tag.name());
}

// Called right after an existing `bodyPr` start tag is written, when the auto-fit changes: its
// content and end tag, every old auto-fit element dropped and the new one at its schema place
// (after a kept `a:prstTxWarp`, else first).
Result<void> replace_auto_fit(XmlReader& reader, XmlWriter& writer,
                              const std::optional<std::string>& auto_fit) {
  const std::size_t parent = reader.depth();
  ChildSlot slot(kBodyPropertiesChildren, "normAutofit");
  slot.enter(parent);
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof()) return {};
    const std::size_t depth = reader.depth();
    if (auto_fit && slot.reached(event, depth)) write_auto_fit(writer, *auto_fit);
    if (event.is_end() && depth + 1 == parent) {
      writer.write_event(event);
      return {};
    }
    if (event.is_tag() && is_text_frame_auto_size_element(event.local_name())) {
      if (event.is_start()) PELVANE_TRY_VOID(skip_current_element(reader));
      continue;
    }
    writer.write_event(event);
  }
}

}  // namespace

Result<RewriteOutput> set_text_frame_properties_in_slide(std::string_view xml,
                                                         std::uint64_t shape_index,
                                                         const TextFramePropertiesPatch& patch) {
  PELVANE_TRY_VOID(validate(patch));
  const std::uint64_t requested =
      patch.margins.size() + patch.set_word_wrap + patch.set_vertical_anchor + patch.set_auto_size;
  if (requested == 0) return RewriteOutput{std::string(xml), 0};
  const AttributeChanges attributes = text_frame_body_property_attributes(patch);
  std::optional<std::string> auto_fit;  // the new auto-fit element's name
  if (patch.set_auto_size && patch.auto_size) auto_fit = "a:" + *patch.auto_size;

  SlideStream stream(xml);
  ShapeCursor shape = ShapeCursor::shape(shape_index, {.next_shape_leaves = true});
  std::uint64_t count = 0;
  bool in_body = false;  // inside the addressed shape's text body, before its first child
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(count);
    if (in_body && (event.is_tag() || event.is_end())) {
      in_body = false;
      count += requested;
      if (event.is_tag() && event.local_name() == "bodyPr") {
        const XmlStartTag tag = rewrite_event_optional_attributes(event, attributes.updates());
        if (event.is_empty()) {
          write_text_frame_body_properties(stream.writer, tag, auto_fit);
        } else {
          stream.writer.write_start(tag);
          if (patch.set_auto_size)
            PELVANE_TRY_VOID(replace_auto_fit(stream.reader, stream.writer, auto_fit));
        }
        continue;
      }
      write_text_frame_body_properties(stream.writer, attributes.new_tag("a:bodyPr"), auto_fit);
    }
    stream.writer.write_event(event);
    if (event.is_start()) {
      shape.start(event);
      if (shape.in_shape() && event.local_name() == "txBody") in_body = true;
    } else {
      shape.end(event);
    }
  }
}

}  // namespace pelvane
