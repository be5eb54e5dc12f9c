#include "core/xml/xml_escape.hpp"

#include "core/xml/xml_events.hpp"

namespace pelvane {

std::string xml_attr(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '"': out += "&quot;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string escape_xml_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  append_escaped_xml(out, text);
  return out;
}

}  // namespace pelvane
