// Cell positions of a worksheet, their A1-style references, and the plan of a workbook update:
// which cells to write and which to clear, decided before the package is opened.
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"
#include "core/model/input_models.hpp"

namespace pelvane {

// A cell by row and column, both counted from 1; ordered by row, then by column.
struct CellPosition {
  std::uint32_t row = 0;
  std::uint32_t column = 0;
  friend auto operator<=>(const CellPosition&, const CellPosition&) = default;
};

// The position an A1-style reference names: every "$" is ignored, then 1 to 3 ASCII letters
// (either case; columns up to 'ZZZ' = 18278) and the row, ASCII digits of a value from 1 to
// 4294967295 (leading zeros allowed). None for any other text.
std::optional<CellPosition> parse_cell_reference(std::string_view text);

// The column letters followed by the decimal row: (12, 28) gives "AB12". Column 0 has no
// letters.
std::string cell_reference(std::uint32_t row, std::uint32_t column);

// True when `text` is a decimal number (optional sign, digits with at most one ".", at least one
// digit, optional exponent) whose value, rounded to a double, is finite. Too small a value
// rounds to 0 and is accepted.
bool is_finite_number_text(std::string_view text);

// A cell to write: the value (Number or String) is borrowed from the caller's update list.
struct PendingWrite {
  CellPosition position;
  const WorkbookCellValue* value = nullptr;
};

struct WorkbookCellPlan {
  std::vector<PendingWrite> writes;  // ascending positions, each once
  std::set<CellPosition> clears;     // never a position of `writes`
};

// Checks the updates in order and keeps, for each cell, only the last one. Failures, all
// `InvalidInput`, in the order each update is checked: "invalid cell reference: {reference}";
// "cell {reference} value is not a finite number: {text}"; a string holding a character XML
// cannot carry ("text contains a character that XML cannot hold: U+XXXX"). The plan borrows
// the values of `updates`, which must outlive it.
Result<WorkbookCellPlan> plan_workbook_cell_updates(std::span<const WorkbookCellUpdate> updates);

}  // namespace pelvane
