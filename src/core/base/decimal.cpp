#include "core/base/decimal.hpp"

#include <charconv>

namespace pelvane {

std::optional<std::int64_t> parse_i64(std::string_view text) {
  // One optional sign, then one or more ASCII digits and nothing else.
  std::size_t digits_from = 0;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) digits_from = 1;
  if (digits_from == text.size()) return std::nullopt;
  for (std::size_t i = digits_from; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return std::nullopt;
  // from_chars takes "-" but not "+".
  if (text.front() == '+') text.remove_prefix(1);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::uint64_t> parse_u64(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  // Digits only, checked and added up in one pass; a value past 64 bits is none. Nineteen
  // digits always fit, so only a longer run is watched for overflow.
  const bool may_overflow = text.size() > 19;
  std::uint64_t value = 0;
  for (const char c : text) {
    const auto digit = static_cast<std::uint64_t>(static_cast<unsigned char>(c - '0'));
    if (digit > 9) return std::nullopt;
    if (!may_overflow) {
      value = value * 10 + digit;
    } else if (__builtin_mul_overflow(value, std::uint64_t{10}, &value) ||
               __builtin_add_overflow(value, digit, &value)) {
      return std::nullopt;
    }
  }
  return value;
}

}  // namespace pelvane
