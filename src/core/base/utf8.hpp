// UTF-8 checks, decoding and encoding shared by the JSON, XML and workbook readers and writers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace pelvane {

// How many bytes `text` starts with that are ASCII (below 0x80), counted a word at a time.
// Inline: every UTF-8 check of a short name passes here.
inline std::size_t ascii_prefix_length(std::string_view text) {
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  std::size_t i = 0;
  // Four words at a time over long runs, then the word and the byte that end the run.
  while (i + 32 <= text.size()) {
    std::uint64_t words[4];
    std::memcpy(words, text.data() + i, 32);
    if (((words[0] | words[1] | words[2] | words[3]) & kHighBits) != 0) break;
    i += 32;
  }
  while (i + 8 <= text.size()) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if ((word & kHighBits) != 0) break;
    i += 8;
  }
  while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80) ++i;
  return i;
}

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
