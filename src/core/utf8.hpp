// UTF-8 checks and encoding shared by the JSON and XML readers and writers.
#pragma once

#include <string>
#include <string_view>

namespace pelvane {

// True when `text` is well-formed UTF-8 (no overlongs, surrogates or values past U+10FFFF).
bool is_valid_utf8(std::string_view text);

// Appends the UTF-8 encoding of a code point (which must be a Unicode scalar value).
void append_utf8(std::string& out, char32_t code_point);

}  // namespace pelvane
