// The oracle of the run formatting the shape summary reads in one pass: one attribute of one
// property element at a time, per paragraph and per run, then converted list by list.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/inspect/text_runs.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane::test {

// Per paragraph (`p`), per run (`r`): the raw value of `attribute` on the run's last element
// named `element` (by local name), or none. The first lexer error ends the reading.
inline RunValues<std::string> extract_paragraph_run_property(std::string_view xml,
                                                             std::string_view element,
                                                             std::string_view attribute) {
  RunValues<std::string> result;
  std::vector<std::optional<std::string>> runs;
  std::optional<std::string> value;
  bool in_paragraph = false;
  bool in_run = false;
  XmlReader reader(xml);
  for (auto event = reader.next(); event && !event->is_eof(); event = reader.next()) {
    if (!event->is_tag() && !event->is_end()) continue;
    const std::string_view local = xml_local_name(event->name);
    const bool paragraph = local == "p";
    const bool run = local == "r" && in_paragraph;
    if (event->kind == XmlEventKind::Start && paragraph) {
      runs.clear();
      in_paragraph = true;
    } else if (event->kind == XmlEventKind::Start && run) {
      in_run = true;
      value.reset();
    } else if (event->kind == XmlEventKind::Empty && paragraph) {
      result.emplace_back();
    } else if (event->kind == XmlEventKind::Empty && run) {
      runs.emplace_back();
    } else if (event->is_tag() && in_run && local == element) {
      value = drawingml_attribute(*event, attribute);
    } else if (event->is_end() && local == "r" && in_run) {
      runs.push_back(std::exchange(value, std::nullopt));
      in_run = false;
    } else if (event->is_end() && paragraph && in_paragraph) {
      result.push_back(std::exchange(runs, {}));
      in_paragraph = false;
    }
  }
  return result;
}

template <class T, class Convert>
RunValues<T> convert_run_values(const RunValues<std::string>& values, Convert convert) {
  RunValues<T> out;
  for (const auto& paragraph : values) {
    auto& runs = out.emplace_back();
    for (const auto& value : paragraph) runs.push_back(convert(value));
  }
  return out;
}

inline RunValues<bool> extract_paragraph_run_bool_attribute(const RunValues<std::string>& values) {
  return convert_run_values<bool>(values, bool_attribute_value);
}
inline RunValues<bool> extract_paragraph_run_underline(const RunValues<std::string>& values) {
  return convert_run_values<bool>(values, underline_value);
}
inline RunValues<std::int64_t> extract_paragraph_run_font_size(
    const RunValues<std::string>& values) {
  return convert_run_values<std::int64_t>(values, font_size_emu);
}

}  // namespace pelvane::test
