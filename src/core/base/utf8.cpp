#include "core/base/utf8.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

namespace pelvane {
namespace {

// What the bytes from `i` (a byte of 0x80 or above) hold: the length of the sequence its lead
// byte announces (0 when it can start none: 80-BF, C0, C1, F5-FF) and how many bytes from `i`
// form a well-formed prefix of such a sequence (the whole sequence when it is complete).
struct Utf8Step {
  std::size_t length = 0;
  std::size_t valid = 0;
  bool complete() const { return length != 0 && valid == length; }
};

Utf8Step utf8_step(std::string_view bytes, std::size_t i) {
  const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
  const unsigned char lead = at(i);
  Utf8Step step;
  // The second byte's range excludes overlongs (E0, F0), surrogates (ED) and values past
  // U+10FFFF (F4).
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    step.length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    step.length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    step.length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  }
  if (step.length == 0) return step;
  step.valid = 1;
  while (step.valid < step.length && i + step.valid < bytes.size()) {
    const unsigned char b = at(i + step.valid);
    const unsigned char lo = step.valid == 1 ? low : 0x80;
    const unsigned char hi = step.valid == 1 ? high : 0xBF;
    if (b < lo || b > hi) break;
    ++step.valid;
  }
  return step;
}

// The first byte at or after `from` where the bytes stop being well-formed UTF-8, with what the
// bytes there hold; none when they are well-formed to the end.
struct Utf8Fault {
  std::size_t at;
  Utf8Step step;
};

std::optional<Utf8Fault> next_utf8_fault(std::string_view bytes, std::size_t from) {
  std::size_t i = from;
  while (i < bytes.size()) {
    if (static_cast<unsigned char>(bytes[i]) < 0x80) {
      // Runs of ASCII, the common case in markup, are passed a word at a time.
      i += ascii_prefix_length(bytes.substr(i));
      continue;
    }
    const Utf8Step step = utf8_step(bytes, i);
    if (!step.complete()) return Utf8Fault{i, step};
    i += step.length;
  }
  return std::nullopt;
}

}  // namespace

bool is_valid_utf8_from(std::string_view text, std::size_t from) {
  return !next_utf8_fault(text, from);
}

std::optional<DecodedCodePoint> decode_code_point(std::string_view text, std::size_t at) {
  if (at >= text.size()) return std::nullopt;
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return DecodedCodePoint{lead, 1};
  const Utf8Step step = utf8_step(text, at);
  if (!step.complete()) return std::nullopt;
  char32_t code_point = lead & (0x7F >> step.length);
  for (std::size_t i = 1; i < step.length; ++i)
    code_point = (code_point << 6) | (static_cast<unsigned char>(text[at + i]) & 0x3F);
  return DecodedCodePoint{code_point, step.length};
}

bool is_unicode_white_space(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
         (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F ||
         c == 0x3000;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string decode_utf8_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t run = 0;  // start of the pending valid run
  while (const auto fault = next_utf8_fault(bytes, run)) {
    out.append(bytes.substr(run, fault->at - run));
    out += "\xEF\xBF\xBD";
    run = fault->at + std::max<std::size_t>(fault->step.valid, 1);
  }
  out.append(bytes.substr(run));
  return out;
}

std::string_view utf8_lossy_view(std::string_view bytes, std::string& decoded) {
  if (is_valid_utf8(bytes)) return bytes;
  decoded = decode_utf8_lossy(bytes);
  return decoded;
}

std::optional<std::string> describe_invalid_utf8(std::string_view bytes) {
  const auto fault = next_utf8_fault(bytes, 0);
  if (!fault) return std::nullopt;
  if (fault->step.valid >= 1 && fault->at + fault->step.valid == bytes.size())
    return "incomplete utf-8 byte sequence from index " + std::to_string(fault->at);
  const std::size_t length = std::max<std::size_t>(fault->step.valid, 1);
  return "invalid utf-8 sequence of " + std::to_string(length) + " bytes from index " +
         std::to_string(fault->at);
}

}  // namespace pelvane
