#include "core/xml/xml_escape.hpp"

#include <cstdint>

#include "core/base/utf8.hpp"

namespace pelvane {

namespace {

constexpr bool is_digit(char c) { return c >= '0' && c <= '9'; }
constexpr bool is_hex_digit(char c) {
  return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool is_xml_char(char32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

std::optional<char> predefined_entity(std::string_view name) {
  if (name == "lt") return '<';
  if (name == "gt") return '>';
  if (name == "amp") return '&';
  if (name == "quot") return '"';
  if (name == "apos") return '\'';
  return std::nullopt;
}

}  // namespace

bool is_character_reference_syntax(std::string_view ref) {
  if (ref.size() < 2 || ref[0] != '#') return false;
  if (ref[1] == 'x') {
    if (ref.size() < 3) return false;
    for (char c : ref.substr(2))
      if (!is_hex_digit(c)) return false;
    return true;
  }
  for (char c : ref.substr(1))
    if (!is_digit(c)) return false;
  return true;
}

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

std::optional<char32_t> resolve_character_reference(std::string_view reference) {
  if (!is_character_reference_syntax(reference)) return std::nullopt;
  const bool hex = reference[1] == 'x';
  std::uint32_t value = 0;
  for (char c : reference.substr(hex ? 2 : 1)) {
    std::uint32_t digit;
    if (is_digit(c))
      digit = static_cast<std::uint32_t>(c - '0');
    else if (c >= 'a' && c <= 'f')
      digit = static_cast<std::uint32_t>(c - 'a' + 10);
    else
      digit = static_cast<std::uint32_t>(c - 'A' + 10);
    value = value * (hex ? 16 : 10) + digit;
    if (value > 0x10FFFF) return std::nullopt;
  }
  if (!is_xml_char(value)) return std::nullopt;
  return static_cast<char32_t>(value);
}

std::optional<std::string> unescape_xml(std::string_view raw, UnknownReferences unknown) {
  if (is_ascii_without_reference(raw)) return std::string(raw);
  std::size_t amp = raw.find('&');
  if (amp == std::string_view::npos) {
    if (!is_valid_utf8(raw)) return std::nullopt;
    return std::string(raw);
  }
  const bool keep = unknown == UnknownReferences::Keep;
  std::string out;
  out.reserve(raw.size());
  std::size_t pos = 0;
  while (amp != std::string_view::npos) {
    out.append(raw.substr(pos, amp - pos));
    std::size_t p = amp + 1;
    while (p < raw.size() && raw[p] != ';' && raw[p] != '&' && raw[p] != '<' &&
           !is_xml_blank(raw[p]))
      ++p;
    if (p >= raw.size() || raw[p] != ';' || p == amp + 1) {
      if (!keep) return std::nullopt;
      out += '&';
      pos = amp + 1;
    } else {
      std::string_view name = raw.substr(amp + 1, p - amp - 1);
      if (auto entity = predefined_entity(name)) {
        out += *entity;
      } else if (auto character = resolve_character_reference(name)) {
        append_utf8(out, *character);
      } else if (keep) {
        out.append(raw.substr(amp, p + 1 - amp));
      } else {
        return std::nullopt;
      }
      pos = p + 1;
    }
    amp = raw.find('&', pos);
  }
  out.append(raw.substr(pos));
  if (!is_valid_utf8(out)) return std::nullopt;
  return out;
}

std::optional<std::string> decode_xml_text(std::string_view raw) {
  if (!is_valid_utf8(raw)) return std::nullopt;
  std::size_t cr = raw.find('\r');
  if (cr == std::string_view::npos) return std::string(raw);
  std::string out;
  out.reserve(raw.size());
  std::size_t pos = 0;
  while (cr != std::string_view::npos) {
    out.append(raw.substr(pos, cr - pos));
    out += '\n';
    pos = cr + 1;
    if (pos < raw.size() && raw[pos] == '\n') ++pos;
    cr = raw.find('\r', pos);
  }
  out.append(raw.substr(pos));
  return out;
}

void append_escaped_xml(std::string& out, std::string_view text) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* entity = nullptr;
    switch (text[i]) {
      case '&': entity = "&amp;"; break;
      case '<': entity = "&lt;"; break;
      case '>': entity = "&gt;"; break;
      case '"': entity = "&quot;"; break;
      case '\'': entity = "&apos;"; break;
      default: continue;
    }
    out.append(text.substr(run, i - run));
    out += entity;
    run = i + 1;
  }
  out.append(text.substr(run));
}

}  // namespace pelvane
