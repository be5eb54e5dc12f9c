#include "core/package/content_types.hpp"

#include "core/base/ascii.hpp"
#include "core/xml/xml_escape.hpp"
#include "core/xml/xml_events.hpp"
#include "core/xml/xml_splice.hpp"

namespace pelvane {

namespace {

constexpr std::string_view kTypesMarker = "</Types>";

bool contains_ignoring_ascii_case(std::string_view text, std::string_view probe) {
  if (probe.size() > text.size()) return false;
  for (std::size_t at = 0; at + probe.size() <= text.size(); ++at) {
    if (equals_ignoring_ascii_case(text.substr(at, probe.size()), probe)) return true;
  }
  return false;
}

// True when a Default element (any prefix, any quoting) names the extension, compared ignoring
// ASCII case. The scan stops at the first XML error; the plain probe covers text past it.
bool has_default_for(std::string_view xml, std::string_view extension) {
  std::string probe = "Extension=\"";
  probe += extension;
  probe += '"';
  if (contains_ignoring_ascii_case(xml, probe)) return true;
  XmlReader reader(xml);
  for (;;) {
    auto event = reader.next();
    if (!event || event->is_eof()) return false;
    if (!event->is_tag() || event->local_name() != "Default") continue;
    for (const XmlAttribute& attribute : event->attributes()) {
      if (attribute.malformed || attribute.local_name() != "Extension") continue;
      auto value = unescape_xml(attribute.value);
      if (value && equals_ignoring_ascii_case(*value, extension)) return true;
    }
  }
}

Result<std::string> insert_before_types_end(std::string_view xml, std::string_view fragment) {
  auto text = insert_before_last(xml, kTypesMarker, fragment);
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
  if (has_default_for(content_types_xml, extension)) return std::string(content_types_xml);
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
  std::string probe = "PartName=\"";
  probe += part_name;
  probe += '"';
  if (content_types_xml.find(probe) != std::string_view::npos)
    return std::string(content_types_xml);
  return insert_before_types_end(content_types_xml,
                                 override_element(xml_attr(part_name), xml_attr(content_type)));
}

Result<std::string> append_content_type_override(std::string_view content_types_bytes,
                                                 std::string_view part_name,
                                                 std::string_view content_type) {
  return insert_before(content_types_bytes, kTypesMarker,
                       override_element(part_name, content_type));
}

}  // namespace pelvane
