#include "core/workbook/cell_references.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <system_error>

#include "core/xml/xml_event_helpers.hpp"

namespace pelvane {

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::size_t skip_digits(std::string_view text, std::size_t at) {
  while (at < text.size() && is_digit(text[at])) ++at;
  return at;
}

// The decimal exponent of the first significant digit of a number that matched the grammar
// (`integer` and `fraction` the mantissa's digits, `exponent` the exponent's text after "e" and
// its sign); none when every digit is zero. The exponent saturates far beyond any double.
std::optional<std::int64_t> leading_digit_exponent(std::string_view integer,
                                                   std::string_view fraction, bool negative_exp,
                                                   std::string_view exponent) {
  constexpr std::int64_t kSaturated = 1'000'000'000'000;
  std::int64_t exp = 0;
  for (char c : exponent) exp = std::min(kSaturated, exp * 10 + (c - '0'));
  if (negative_exp) exp = -exp;
  const std::size_t first_integer = integer.find_first_not_of('0');
  if (first_integer != std::string_view::npos)
    return exp + static_cast<std::int64_t>(integer.size() - first_integer - 1);
  const std::size_t first_fraction = fraction.find_first_not_of('0');
  if (first_fraction != std::string_view::npos)
    return exp - static_cast<std::int64_t>(first_fraction + 1);
  return std::nullopt;
}

}  // namespace

std::optional<CellPosition> parse_cell_reference(std::string_view text) {
  std::size_t at = 0;
  std::uint32_t column = 0;
  int letters = 0;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '$') continue;
    if (is_digit(c)) break;
    const char upper = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    if (upper < 'A' || upper > 'Z' || letters == 3) return std::nullopt;
    column = column * 26 + static_cast<std::uint32_t>(upper - 'A' + 1);
    ++letters;
  }
  if (letters == 0 || at == text.size()) return std::nullopt;
  std::uint64_t row = 0;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (c == '$') continue;
    if (!is_digit(c)) return std::nullopt;
    row = row * 10 + static_cast<std::uint64_t>(c - '0');
    if (row > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  }
  if (row == 0) return std::nullopt;
  return CellPosition{static_cast<std::uint32_t>(row), column};
}

std::string cell_reference(std::uint32_t row, std::uint32_t column) {
  char letters[8];
  std::size_t count = 0;
  while (column > 0) {
    const std::uint32_t c = column - 1;
    letters[count++] = static_cast<char>('A' + c % 26);
    column = c / 26;
  }
  std::string reference(letters, count);
  std::reverse(reference.begin(), reference.end());
  reference += std::to_string(row);
  return reference;
}

bool is_finite_number_text(std::string_view text) {
  // The grammar first: [+-] digits [. digits] [(e|E) [+-] digits], a digit in the mantissa.
  std::size_t at = 0;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  const std::size_t integer_start = at;
  at = skip_digits(text, at);
  const std::string_view integer = text.substr(integer_start, at - integer_start);
  std::string_view fraction;
  if (at < text.size() && text[at] == '.') {
    const std::size_t fraction_start = ++at;
    at = skip_digits(text, at);
    fraction = text.substr(fraction_start, at - fraction_start);
  }
  if (integer.empty() && fraction.empty()) return false;
  bool negative_exp = false;
  std::string_view exponent;
  if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
    ++at;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative_exp = text[at++] == '-';
    const std::size_t exponent_start = at;
    at = skip_digits(text, at);
    exponent = text.substr(exponent_start, at - exponent_start);
    if (exponent.empty()) return false;
  }
  if (at != text.size()) return false;

  // Then the value, without the locale. A range error means the value rounds to infinity or to
  // zero; which one the magnitude of the leading digit tells.
  const std::string_view unsigned_text = text.starts_with('+') ? text.substr(1) : text;
  double value = 0;
  const auto [end, error] =
      std::from_chars(unsigned_text.data(), unsigned_text.data() + unsigned_text.size(), value);
  if (error == std::errc::result_out_of_range) {
    const auto magnitude = leading_digit_exponent(integer, fraction, negative_exp, exponent);
    return magnitude && *magnitude < 0;
  }
  return error == std::errc{} && end == unsigned_text.data() + unsigned_text.size() &&
         std::isfinite(value);
}

Result<WorkbookCellPlan> plan_workbook_cell_updates(std::span<const WorkbookCellUpdate> updates) {
  std::map<CellPosition, const WorkbookCellValue*> writes;
  WorkbookCellPlan plan;
  for (const WorkbookCellUpdate& update : updates) {
    const auto position = parse_cell_reference(update.reference);
    if (!position)
      return fail(PelvaneError::invalid_input("invalid cell reference: " + update.reference));
    const WorkbookCellValue& value = update.value;
    if (value.kind == WorkbookCellValue::Kind::Clear) {
      writes.erase(*position);
      plan.clears.insert(*position);
      continue;
    }
    if (value.kind == WorkbookCellValue::Kind::Number && !is_finite_number_text(value.text))
      return fail(PelvaneError::invalid_input("cell " + update.reference +
                                              " value is not a finite number: " + value.text));
    // A string goes into the part as text: refuse what XML cannot carry now, not after the
    // package has been read.
    if (value.kind == WorkbookCellValue::Kind::String) PELVANE_TRY_VOID(check_xml_text(value.text));
    plan.clears.erase(*position);
    writes.insert_or_assign(*position, &value);
  }
  plan.writes.reserve(writes.size());
  for (const auto& [position, value] : writes) plan.writes.push_back({position, value});
  return plan;
}

}  // namespace pelvane
