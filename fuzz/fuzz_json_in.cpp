// Feeds arbitrary bytes to every JSON argument reader. Each must return a list or a
// positioned message, never crash, hang or read out of bounds, however deep or long the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/json/json_in.hpp"

namespace {

template <class Result>
void check(const Result& result, std::string_view text) {
  if (result) return;
  const pelvane::JsonInputError& error = result.error();
  if (!error.has_position) {
    if (error.message.rfind("unsupported workbook cell kind: ", 0) != 0) std::abort();
    return;
  }
  // The position lies within the text: its line exists and its column fits in it.
  std::uint64_t lines = 1;
  for (const char c : text) lines += c == '\n';
  if (error.line < 1 || error.line > lines || error.column > text.size()) std::abort();
  if (error.message.empty()) std::abort();
  const std::string suffix =
      " at line " + std::to_string(error.line) + " column " + std::to_string(error.column);
  const std::string shown = error.text();
  if (shown.size() < suffix.size() ||
      shown.compare(shown.size() - suffix.size(), suffix.size(), suffix) != 0) {
    std::abort();
  }
}

// One more leading blank must move every position on the first line one column right and
// leave every other result as it was.
template <class Parse>
void check_reader(Parse parse, std::string_view text, const std::string& shifted) {
  const auto plain = parse(text);
  check(plain, text);
  const auto moved = parse(shifted);
  if (plain.has_value() != moved.has_value()) std::abort();
  if (plain) {
    if (*plain != *moved) std::abort();
    return;
  }
  const auto& a = plain.error();
  const auto& b = moved.error();
  if (a.message != b.message || a.has_position != b.has_position || a.line != b.line) std::abort();
  if (a.has_position && b.column != a.column + (a.line == 1 ? 1 : 0)) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::string shifted = " " + std::string(text);
  check_reader(pelvane::parse_edit_list, text, shifted);
  check_reader(pelvane::parse_freeform_operations, text, shifted);
  check_reader(pelvane::parse_placeholder_specs, text, shifted);
  check_reader(pelvane::parse_adjustment_guides, text, shifted);
  check_reader(pelvane::parse_cell_texts, text, shifted);
  check_reader(pelvane::parse_workbook_cells, text, shifted);
  return 0;
}
