#include "core/package/content_types.hpp"

#include "core/base/ascii.hpp"
#include "core/base/byte_search.hpp"
#include "core/xml/markup_search.hpp"
#include "core/xml/xml_escape.hpp"
#include "core/xml/xml_events.hpp"
#include "core/xml/xml_splice.hpp"

namespace pelvane {

namespace {

constexpr std::string_view kTypesTag = "Types";

// True when a start or empty tag in markup whose local name is `element` (any prefix) has an
// attribute whose local name is `attribute` and whose value, references resolved, satisfies
// `matches`. Either quote counts; what stands in comments does not.
template <class Matches>
bool has_element_with(std::string_view xml, std::string_view element, std::string_view attribute,
                      Matches&& matches) {
  for (std::size_t at = find_in_markup(xml, "<"); at != std::string_view::npos;
       at = find_in_markup(xml, "<", at + 1)) {
    const std::size_t end = tag_end(xml, at);
    if (end == std::string_view::npos) continue;
    const std::string_view tag = xml.substr(at, end - at);
    if (xml_local_name(tag_name(tag)) != element) continue;
    for (const XmlAttribute& candidate : tag_attributes(tag)) {
      if (candidate.malformed || candidate.local_name() != attribute) continue;
      const auto value = unescape_xml(candidate.value);
      if (value && matches(*value)) return true;
    }
  }
  return false;
}

// The fragment as the new last child of the Types element; without it: `InvalidInput`.
Result<std::string> insert_before_types_end(std::string_view xml, std::string_view fragment) {
  auto text = insert_at_element_end(xml, kTypesTag, fragment);
  if (!text) return fail(PelvaneError::invalid_input("[Content_Types].xml is missing </Types>"));
  return std::move(*text);
}

std::string override_element(std::string_view part_name, std::string_view content_type) {
  std::string element = "<Override PartName=\"";
  element += part_name;
  element += "\" ContentType=\"";
  element += content_type;
  element += "\"/>";
  return element;
}

}  // namespace

std::optional<std::string> find_content_type_override(std::string_view content_types_xml,
                                                      std::string_view part_name) {
  std::string target;
  if (!part_name.starts_with('/')) target += '/';
  target += part_name;
  XmlReader reader(content_types_xml);
  for (;;) {
    auto event = reader.next();
    if (!event || event->is_eof()) return std::nullopt;
    if (!event->is_tag() || event->local_name() != "Override") continue;
    std::optional<std::string> candidate_name;
    std::optional<std::string> candidate_type;
    for (const XmlAttribute& attribute : event->attributes()) {
      if (attribute.malformed) continue;
      const std::string_view local = attribute.local_name();
      if (local != "PartName" && local != "ContentType") continue;
      auto value = unescape_xml(attribute.value);
      std::string text = value ? std::move(*value) : std::string();
      if (local == "PartName")
        candidate_name = std::move(text);
      else
        candidate_type = std::move(text);
    }
    if (candidate_name == target) return candidate_type.value_or(std::string());
  }
}

Result<std::string> ensure_default_content_type(std::string_view content_types_xml,
                                                std::string_view extension,
                                                std::string_view content_type) {
  // Extensions are compared ignoring ASCII case, as packages compare them.
  if (has_element_with(content_types_xml, "Default", "Extension", [&](std::string_view value) {
        return equals_ignoring_ascii_case(value, extension);
      }))
    return std::string(content_types_xml);
  std::string element = "<Default Extension=\"";
  element += xml_attr(extension);
  element += "\" ContentType=\"";
  element += xml_attr(content_type);
  element += "\"/>";
  return insert_before_types_end(content_types_xml, element);
}

Result<std::string> ensure_content_type_override(std::string_view content_types_xml,
                                                 std::string_view part_name,
                                                 std::string_view content_type) {
  // A value without references is its text as written: when the text holds no "&" and not the
  // name itself, no override can name it, and the long scan of every tag is spared.
  const bool may_be_named = find_pattern(content_types_xml, part_name) != std::string_view::npos ||
                            find_pattern(content_types_xml, "&") != std::string_view::npos;
  if (may_be_named && has_element_with(content_types_xml, "Override", "PartName",
                                       [&](std::string_view value) { return value == part_name; }))
    return std::string(content_types_xml);
  return insert_before_types_end(content_types_xml,
                                 override_element(xml_attr(part_name), xml_attr(content_type)));
}

Result<std::string> append_content_type_override(std::string_view content_types_bytes,
                                                 std::string_view part_name,
                                                 std::string_view content_type) {
  return insert_at_element_end_of_part(content_types_bytes, kTypesTag,
                                       override_element(part_name, content_type));
}

}  // namespace pelvane
