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
  for (char c : text)
    if (c < '0' || c > '9') return std::nullopt;
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace pelvane
