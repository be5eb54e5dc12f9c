// Parsing decimal integers exactly as XML attribute values write them.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pelvane {

// Strict signed 64-bit decimal: an optional "+" or "-", then one or more ASCII digits.
std::optional<std::int64_t> parse_i64(std::string_view text);

// Strict unsigned 64-bit decimal: an optional "+", then one or more ASCII digits; none for
// anything else, a "-" included, and for a value past 64 bits.
std::optional<std::uint64_t> parse_u64(std::string_view text);

}  // namespace pelvane
