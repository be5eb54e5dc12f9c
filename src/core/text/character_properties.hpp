// Character properties of DrawingML text: the `a:rPr` of a run and the `a:defRPr` of a
// paragraph's properties are one schema type, so both are written by the one writer here and
// both place a new child by the same rule (xml/xml_child_order.hpp): a new fill right after a
// kept `a:ln`, else first; a new `a:latin` before a kept `a:ea`, `a:cs`, `a:sym`, hyperlink,
// `a:rtl` or `a:extLst`, else last.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/base/error.hpp"
#include "core/pml/slide_rewrite.hpp"
#include "core/xml/xml_event_helpers.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {

// One property of a patch: left alone (not set), removed (set without a value) or set to a
// value.
template <class T>
struct PropertyChange {
  bool set = false;
  std::optional<T> value;

  static PropertyChange to(T new_value) { return {true, std::move(new_value)}; }
  static PropertyChange removed() { return {true, std::nullopt}; }
  // Set, with a value.
  bool has_value() const { return set && value.has_value(); }

  friend bool operator==(const PropertyChange&, const PropertyChange&) = default;
};

// A property of a patch from an edit operation's `set_...` flag and value: not set, or set to
// the value (none removes). A text is borrowed from the operation.
template <class T>
PropertyChange<T> property_change(bool set, const std::optional<T>& value) {
  return {set, set ? value : std::nullopt};
}
inline PropertyChange<std::string_view> property_change(bool set,
                                                        const std::optional<std::string>& value) {
  PropertyChange<std::string_view> change{set, std::nullopt};
  if (set && value) change.value = *value;
  return change;
}

// The six character properties that a run's formatting and a paragraph's default formatting
// both take from their edit operation: bold, italic, underline, size, font name and colour.
template <class Patch, class Operation>
void take_character_changes(Patch& patch, const Operation& operation) {
  patch.bold = property_change(operation.set_bold, operation.bold);
  patch.italic = property_change(operation.set_italic, operation.italic);
  patch.underline = property_change(operation.set_underline, operation.underline);
  patch.size = property_change(operation.set_size, operation.size);
  patch.name = property_change(operation.set_name, operation.name);
  patch.color = property_change(operation.set_color, operation.color);
}

// A font size in EMU as `sz` writes it: hundredths of a point, the EMU divided by 127 and
// truncated toward zero ("100" for 12700, "-1" for -127).
std::string font_size_value(std::int64_t emu);

// True exactly for the local names of the six DrawingML fills: noFill, solidFill, gradFill,
// blipFill, pattFill, grpFill.
bool is_fill_property(std::string_view local_name);

// Attribute changes of one element, in order, each setting or removing one attribute; the
// values are owned. Names are borrowed and must outlive the list.
class AttributeChanges {
 public:
  void add(std::string_view name, std::optional<std::string> value) {
    entries_.emplace_back(name, std::move(value));
  }
  // A set flag as `on` or `off`, a removal as none; nothing when not set.
  void add_flag(std::string_view name, const PropertyChange<bool>& change, std::string_view on,
                std::string_view off);
  // `sz` from a size in EMU (`font_size_value`).
  void add_size(const PropertyChange<std::int64_t>& change);
  void add_text(std::string_view name, const PropertyChange<std::string_view>& change);

  bool empty() const { return entries_.empty(); }
  // The list for `rewrite_event_optional_attributes`, valid while this object lives unchanged.
  std::vector<OptionalAttributeUpdate> updates() const;
  // A new element's start tag: the changes that carry a value, in order (a removal has nothing
  // to remove there).
  XmlStartTag new_tag(std::string_view name) const;

 private:
  std::vector<std::pair<std::string_view, std::optional<std::string>>> entries_;
};

// The children that an edit changes in a character-properties element.
struct CharacterChildren {
  enum class Fill {
    None,    // no new fill
    Color,   // <a:solidFill><a:srgbClr val="color"/></a:solidFill>
    Solid,   // <a:solidFill/>
    NoFill,  // <a:noFill/>
  };
  Fill fill = Fill::None;
  std::optional<CheckedText> color;  // with Fill::Color
  std::optional<CheckedText> latin;  // a new <a:latin typeface="..."/>
  // The element's own fills (direct children) go, and those of its kept outline `ln` and
  // underline line `uLn`; the fill inside `uFill` stays (the element needs one).
  bool drop_fills = false;
  bool drop_latin = false;  // every `latin` inside the element goes

  bool adds_children() const { return fill != Fill::None || latin.has_value(); }
};

// A whole element: `tag` self-closing when no child is added, else its start tag, the new fill,
// the new font and its end tag.
void write_character_properties(XmlWriter& writer, const XmlStartTag& tag,
                                const CharacterChildren& children);

// An existing `a:rPr` or `a:defRPr` (`element`, a start or self-closing tag the reader just
// returned) with its attributes changed and its children edited. A start tag's content is read
// up to and including its end tag: fills and fonts to drop are dropped with their content, the
// new ones are written at their schema places, everything else is kept. A self-closing element
// stays self-closing unless a child is added; then it becomes its start tag, the new children
// and an end tag of its own name. Input that ends inside the element ends the edit where it
// ends. Fails with a reader error, or XmlTextDecode "unexpected end of XML while skipping
// element" inside a dropped child.
Result<void> rewrite_character_properties(XmlReader& reader, XmlWriter& writer,
                                          const XmlEvent& element,
                                          const AttributeChanges& attributes,
                                          const CharacterChildren& children);

}  // namespace pelvane
