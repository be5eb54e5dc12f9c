// Paragraph properties: alignment, level and spacing, and the paragraph's default character
// properties.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "core/pml/shape_cursor.hpp"
#include "core/pml/slide_child_order.hpp"
#include "core/text/text_format_rewrite.hpp"

namespace pelvane {

namespace {

// One pass over the slide to the addressed paragraph. `existing(reader, writer, event)` writes
// the paragraph's own `pPr` (a start tag, whose content it reads through its end tag, or a
// self-closing tag) and returns the changes made; `fresh(writer)` writes new properties where
// the paragraph has none and returns the changes made.
template <class Existing, class Fresh>
Result<RewriteOutput> rewrite_paragraph_properties(std::string_view xml, std::uint64_t shape_index,
                                                   std::uint64_t paragraph_index,
                                                   Existing&& existing, Fresh&& fresh) {
  SlideStream stream(xml);
  ShapeCursor shape = ShapeCursor::shape(shape_index, {.next_shape_leaves = true});
  std::uint64_t paragraphs = 0;
  std::uint64_t count = 0;
  std::size_t paragraph_depth = 0;  // the reader's depth inside the addressed paragraph, or 0
  bool handled = false;             // the paragraph's properties are written
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(count);
    const std::size_t depth = stream.reader.depth();
    if (paragraph_depth != 0) {
      if (event.is_end() && depth + 1 == paragraph_depth) {
        if (!handled) count += fresh(stream.writer);
        paragraph_depth = 0;
      } else if (event.is_tag() && depth == paragraph_depth + (event.is_start() ? 1 : 0)) {
        // Only a direct child is the paragraph's properties: a field holds a `pPr` of its own.
        if (event.local_name() == "pPr") {
          count += PELVANE_TRY(existing(stream.reader, stream.writer, event));
          handled = true;
          continue;
        }
        if (!handled) count += fresh(stream.writer);
        handled = true;
      }
      stream.writer.write_event(event);
      continue;
    }
    stream.writer.write_event(event);
    if (event.is_start()) {
      if (shape.start(event) == ShapeStart::Addressed) {
        paragraphs = 0;
      } else if (shape.in_shape() && event.local_name() == "p" && paragraphs++ == paragraph_index) {
        paragraph_depth = depth;
        handled = false;
      }
    } else {
      shape.end(event);
    }
  }
}

// ---- Alignment, level, spacing ----

struct Spacing {
  std::string_view element;  // the child of `a:pPr`
  const std::optional<ParagraphSpacingValue>& value;
};

std::array<Spacing, 3> spacings_of(const ParagraphSpacingPatch& patch) {
  return {{{"a:lnSpc", patch.line_spacing},
           {"a:spcBef", patch.space_before},
           {"a:spcAft", patch.space_after}}};
}

// Rounded half away from zero, held to the signed 64-bit range (an out-of-range conversion
// would be undefined); a value that is not a number gives 0.
std::int64_t rounded_to_i64(double value) {
  constexpr double kLimit = 9223372036854775808.0;  // 2^63
  if (std::isnan(value)) return 0;
  if (value >= kLimit) return std::numeric_limits<std::int64_t>::max();
  if (value <= -kLimit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(std::round(value));
}

// One spacing child: EMU as hundredths of a point, a multiple as thousandths of a percent.
// Nothing for a removal.
void write_spacing(XmlWriter& writer, const Spacing& spacing) {
  if (!spacing.value || spacing.value->kind == ParagraphSpacingValue::Kind::Clear) return;
  const bool exact = spacing.value->kind == ParagraphSpacingValue::Kind::Emu;
  const double amount =
      exact ? static_cast<double>(spacing.value->emu) / 127.0 : spacing.value->multiple * 100000.0;
  writer.write_start_tag(spacing.element);
  XmlStartTag measure(exact ? "a:spcPts" : "a:spcPct");
  measure.push_attribute("val", std::to_string(rounded_to_i64(amount)));
  writer.write_empty(measure);
  writer.write_end_tag(spacing.element);
}

void write_paragraph_spacing_children(XmlWriter& writer, const ParagraphSpacingPatch& patch) {
  for (const Spacing& spacing : spacings_of(patch)) write_spacing(writer, spacing);
}

// A whole properties element: self-closing when no spacing is given, else holding the spacing
// children (none for removals).
void write_paragraph_properties(XmlWriter& writer, const XmlStartTag& tag,
                                const ParagraphSpacingPatch& patch) {
  if (!patch.line_spacing && !patch.space_before && !patch.space_after) {
    writer.write_empty(tag);
    return;
  }
  writer.write_start(tag);
  write_paragraph_spacing_children(writer, patch);
  writer.write_end_tag(tag.name());
}

// Called right after an existing `pPr` start tag is written: its content and end tag, the old
// spacing children of the kinds given dropped, the new ones at their schema places.
Result<void> rewrite_paragraph_spacing_children(XmlReader& reader, XmlWriter& writer,
                                                const ParagraphSpacingPatch& patch) {
  const std::array<Spacing, 3> spacings = spacings_of(patch);
  std::array<ChildSlot, 3> slots = {ChildSlot(kParagraphPropertiesChildren, "lnSpc"),
                                    ChildSlot(kParagraphPropertiesChildren, "spcBef"),
                                    ChildSlot(kParagraphPropertiesChildren, "spcAft")};
  const std::size_t parent = reader.depth();
  for (ChildSlot& slot : slots) slot.enter(parent);
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof()) return {};
    const std::size_t depth = reader.depth();
    for (std::size_t i = 0; i < spacings.size(); ++i)
      if (spacings[i].value && slots[i].reached(event, depth)) write_spacing(writer, spacings[i]);
    if (event.is_end() && depth + 1 == parent) {
      writer.write_event(event);
      return {};
    }
    if (event.is_tag()) {
      const std::string_view name = event.local_name();
      const bool dropped = std::any_of(spacings.begin(), spacings.end(), [&](const Spacing& s) {
        return s.value && xml_local_name(s.element) == name;
      });
      if (dropped) {
        if (event.is_start()) PELVANE_TRY_VOID(skip_current_element(reader));
        continue;
      }
    }
    writer.write_event(event);
  }
}

}  // namespace

Result<RewriteOutput> set_shape_paragraph_properties_in_slide(
    std::string_view xml, std::uint64_t shape_index, std::uint64_t paragraph_index,
    const PropertyChange<std::string_view>& alignment, bool set_level, std::uint64_t level,
    const ParagraphSpacingPatch& spacing) {
  if (alignment.has_value()) PELVANE_TRY_VOID(check_xml_text(*alignment.value));
  AttributeChanges attributes;
  attributes.add_text("algn", alignment);
  if (set_level)
    attributes.add("lvl", level == 0 ? std::nullopt : std::optional(std::to_string(level)));
  const std::uint64_t requested =
      std::uint64_t{alignment.set} + set_level + spacing.line_spacing.has_value() +
      spacing.space_before.has_value() + spacing.space_after.has_value();

  const auto existing = [&](XmlReader& reader, XmlWriter& writer,
                            const XmlEvent& element) -> Result<std::uint64_t> {
    const XmlStartTag tag = rewrite_event_optional_attributes(element, attributes.updates());
    if (element.is_empty()) {
      write_paragraph_properties(writer, tag, spacing);
    } else {
      writer.write_start(tag);
      PELVANE_TRY_VOID(rewrite_paragraph_spacing_children(reader, writer, spacing));
    }
    return requested;
  };
  const auto fresh = [&](XmlWriter& writer) {
    write_paragraph_properties(writer, attributes.new_tag("a:pPr"), spacing);
    return requested;
  };
  return rewrite_paragraph_properties(xml, shape_index, paragraph_index, existing, fresh);
}

// ---- Default character properties ----

ParagraphFontPatch ParagraphFontPatch::from(const edit::SetParagraphFontProperties& operation) {
  ParagraphFontPatch patch;
  take_character_changes(patch, operation);
  patch.fill_type = property_change(operation.set_fill_type, operation.fill_type);
  patch.language = property_change(operation.set_language, operation.language_id);
  return patch;
}

std::uint64_t ParagraphFontPatch::change_count() const {
  return std::uint64_t{bold.set} + italic.set + underline.set + size.set + name.set + color.set +
         fill_type.set + language.set;
}

AttributeChanges ParagraphFontPatch::attribute_replacements() const {
  AttributeChanges changes;
  changes.add_flag("b", bold, "1", "0");
  changes.add_flag("i", italic, "1", "0");
  changes.add_flag("u", underline, "sng", "none");
  changes.add_size(size);
  changes.add_text("lang", language);
  return changes;
}

Result<RewriteOutput> set_shape_paragraph_font_properties_in_slide(
    std::string_view xml, std::uint64_t shape_index, std::uint64_t paragraph_index,
    const ParagraphFontPatch& patch) {
  if (patch.language.has_value()) PELVANE_TRY_VOID(check_xml_text(*patch.language.value));
  CharacterChildren children;
  if (patch.color.has_value()) {
    children.fill = CharacterChildren::Fill::Color;
    children.color = PELVANE_TRY(CheckedText::check(*patch.color.value));
  } else if (patch.fill_type.has_value() && *patch.fill_type.value == "solid") {
    children.fill = CharacterChildren::Fill::Solid;
  } else if (patch.fill_type.has_value() && *patch.fill_type.value == "background") {
    children.fill = CharacterChildren::Fill::NoFill;
  }
  if (patch.name.has_value()) children.latin = PELVANE_TRY(CheckedText::check(*patch.name.value));
  children.drop_fills = patch.color.set || patch.fill_type.set;
  children.drop_latin = patch.name.set;
  const AttributeChanges attributes = patch.attribute_replacements();
  const std::uint64_t requested = patch.change_count();
  const auto write_default_run_properties = [&](XmlWriter& writer) {
    write_character_properties(writer, attributes.new_tag("a:defRPr"), children);
  };

  // Inside existing properties: each direct `defRPr` is edited; without one, a new one goes to
  // its schema place (before an `a:extLst`, else last).
  const auto existing = [&](XmlReader& reader, XmlWriter& writer,
                            const XmlEvent& element) -> Result<std::uint64_t> {
    if (element.is_empty()) {
      writer.write_start(XmlStartTag::from_event(element));
      write_default_run_properties(writer);
      writer.write_end_tag(element.name);
      return requested;
    }
    writer.write_event(element);
    const std::size_t parent = reader.depth();
    ChildSlot slot(kParagraphPropertiesChildren, "defRPr");
    slot.enter(parent);
    std::uint64_t edited = 0;
    for (;;) {
      const XmlEvent event = PELVANE_TRY(reader.next());
      if (event.is_eof()) return edited * requested;
      const std::size_t depth = reader.depth();
      if (edited == 0 && slot.reached(event, depth)) {
        write_default_run_properties(writer);
        ++edited;
      }
      if (event.is_end() && depth + 1 == parent) {
        writer.write_event(event);
        return edited * requested;
      }
      if (event.is_tag() && depth == parent + (event.is_start() ? 1 : 0) &&
          event.local_name() == "defRPr") {
        PELVANE_TRY_VOID(rewrite_character_properties(reader, writer, event, attributes, children));
        ++edited;
        continue;
      }
      writer.write_event(event);
    }
  };
  const auto write_properties = [&](XmlWriter& writer) {
    writer.write_start_tag("a:pPr");
    write_default_run_properties(writer);
    writer.write_end_tag("a:pPr");
    return requested;
  };
  return rewrite_paragraph_properties(xml, shape_index, paragraph_index, existing,
                                      write_properties);
}

}  // namespace pelvane
