#include "core/text/character_properties.hpp"

#include "core/pml/slide_child_order.hpp"

namespace pelvane {

namespace {

void write_fill(XmlWriter& writer, const CharacterChildren& children) {
  switch (children.fill) {
    case CharacterChildren::Fill::None: return;
    case CharacterChildren::Fill::Color: {
      writer.write_start_tag("a:solidFill");
      XmlStartTag color("a:srgbClr");
      color.push_attribute("val", children.color ? children.color->view() : "");
      writer.write_empty(color);
      writer.write_end_tag("a:solidFill");
      return;
    }
    case CharacterChildren::Fill::Solid: writer.write_raw("<a:solidFill/>"); return;
    case CharacterChildren::Fill::NoFill: writer.write_raw("<a:noFill/>"); return;
  }
}

void write_latin(XmlWriter& writer, const CharacterChildren& children) {
  if (!children.latin) return;
  XmlStartTag latin("a:latin");
  latin.push_attribute("typeface", children.latin->view());
  writer.write_empty(latin);
}

// Called right after the element's start tag is written: copies its content and end tag,
// dropping and adding children as `children` says.
Result<void> rewrite_content(XmlReader& reader, XmlWriter& writer,
                             const CharacterChildren& children) {
  const std::size_t parent = reader.depth();
  ChildSlot fill_slot(kCharacterPropertiesChildren, "solidFill");
  ChildSlot latin_slot(kCharacterPropertiesChildren, "latin");
  fill_slot.enter(parent);
  latin_slot.enter(parent);
  bool in_line = false;  // inside a direct `ln` or `uLn` child
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof()) return {};
    const std::size_t depth = reader.depth();
    if (children.fill != CharacterChildren::Fill::None && fill_slot.reached(event, depth))
      write_fill(writer, children);
    if (children.latin && latin_slot.reached(event, depth)) write_latin(writer, children);
    if (event.is_end() && depth + 1 == parent) {
      writer.write_event(event);
      return {};
    }
    if (event.is_end() && depth == parent) in_line = false;
    if (event.is_tag()) {
      const std::string_view name = event.local_name();
      const std::size_t level = depth - (event.is_start() ? 1 : 0) - parent;  // 0: a child
      if (level == 0 && event.is_start()) in_line = name == "ln" || name == "uLn";
      // The element's own fills go, and so do those of its outline and underline line (a line
      // without a fill is valid); the fill of `uFill` stays, which would be empty without it.
      const bool own_fill = level == 0 || (level == 1 && in_line);
      if ((children.drop_fills && own_fill && is_fill_property(name)) ||
          (children.drop_latin && name == "latin")) {
        if (event.is_start()) PELVANE_TRY_VOID(skip_current_element(reader));
        continue;
      }
    }
    writer.write_event(event);
  }
}

}  // namespace

std::string font_size_value(std::int64_t emu) { return std::to_string(emu / 127); }

bool is_fill_property(std::string_view local_name) {
  return local_name == "noFill" || local_name == "solidFill" || local_name == "gradFill" ||
         local_name == "blipFill" || local_name == "pattFill" || local_name == "grpFill";
}

void AttributeChanges::add_flag(std::string_view name, const PropertyChange<bool>& change,
                                std::string_view on, std::string_view off) {
  if (!change.set) return;
  std::optional<std::string> value;
  if (change.value) value.emplace(*change.value ? on : off);
  add(name, std::move(value));
}

void AttributeChanges::add_size(const PropertyChange<std::int64_t>& change) {
  if (!change.set) return;
  std::optional<std::string> value;
  if (change.value) value = font_size_value(*change.value);
  add("sz", std::move(value));
}

void AttributeChanges::add_text(std::string_view name,
                                const PropertyChange<std::string_view>& change) {
  if (!change.set) return;
  std::optional<std::string> value;
  if (change.value) value.emplace(*change.value);
  add(name, std::move(value));
}

std::vector<OptionalAttributeUpdate> AttributeChanges::updates() const {
  std::vector<OptionalAttributeUpdate> list;
  list.reserve(entries_.size());
  for (const auto& [name, value] : entries_) {
    std::optional<std::string_view> view;
    if (value) view = *value;
    list.push_back({name, view});
  }
  return list;
}

XmlStartTag AttributeChanges::new_tag(std::string_view name) const {
  XmlStartTag tag(name);
  for (const auto& [attribute, value] : entries_)
    if (value) tag.push_attribute(attribute, *value);
  return tag;
}

void write_character_properties(XmlWriter& writer, const XmlStartTag& tag,
                                const CharacterChildren& children) {
  if (!children.adds_children()) {
    writer.write_empty(tag);
    return;
  }
  writer.write_start(tag);
  write_fill(writer, children);
  write_latin(writer, children);
  writer.write_end_tag(tag.name());
}

Result<void> rewrite_character_properties(XmlReader& reader, XmlWriter& writer,
                                          const XmlEvent& element,
                                          const AttributeChanges& attributes,
                                          const CharacterChildren& children) {
  const XmlStartTag tag = attributes.empty()
                              ? XmlStartTag::from_event(element)
                              : rewrite_event_optional_attributes(element, attributes.updates());
  if (element.is_empty()) {
    write_character_properties(writer, tag, children);
    return {};
  }
  writer.write_start(tag);
  return rewrite_content(reader, writer, children);
}

}  // namespace pelvane
