// UTF-8 checks, decoding and encoding shared by the JSON, XML and workbook readers and writers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/byte_search.hpp"

namespace pelvane {

// True when `text` from `from` on is well-formed UTF-8 (no overlongs, surrogates or values past
// U+10FFFF).
bool is_valid_utf8_from(std::string_view text, std::size_t from);

// The same for the whole text. Inline: the many short names and values that are ASCII alone are
// settled without a call.
inline bool is_valid_utf8(std::string_view text) {
  const std::size_t ascii = ascii_prefix_length(text);
  return ascii == text.size() || is_valid_utf8_from(text, ascii);
}

// Where `bytes` first stop being well-formed UTF-8, counted in bytes from their start: at index
// i, "incomplete utf-8 byte sequence from index {i}" when the bytes end inside a sequence that
// could still be completed, else "invalid utf-8 sequence of {n} bytes from index {i}", n being
// the length of the well-formed prefix that starts there (at least 1). None when well-formed.
std::optional<std::string> describe_invalid_utf8(std::string_view bytes);

// The code point that starts at `at`, with its length in bytes; none when the bytes there are
// not well-formed UTF-8 (or `at` is past the end).
struct DecodedCodePoint {
  char32_t code_point;
  std::size_t length;
};
std::optional<DecodedCodePoint> decode_code_point(std::string_view text, std::size_t at);

// The Unicode White_Space property.
bool is_unicode_white_space(char32_t code_point);

// Appends the UTF-8 encoding of a code point (which must be a Unicode scalar value).
void append_utf8(std::string& out, char32_t code_point);

// Decodes bytes as UTF-8, replacing each invalid sequence (its longest valid-looking prefix, at
// least one byte) by U+FFFD. Never fails.
std::string decode_utf8_lossy(std::string_view bytes);

// `bytes` read as UTF-8 text the way `decode_utf8_lossy` reads them: the bytes themselves when
// they are well-formed, so that a valid part is never copied, else their decoding, kept in
// `decoded`.
std::string_view utf8_lossy_view(std::string_view bytes, std::string& decoded);

}  // namespace pelvane
