// The table edits that write a package: a new table with its cell texts, and the text of one
// cell.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/input_models.hpp"
#include "core/model/models.hpp"

namespace pelvane {

// The most cells a new table may have: past it, the empty cells alone would not fit the
// 4,294,967,295 bytes of a package entry.
inline constexpr std::uint64_t kMaxTableCells = 42'949'672;

// A table of `rows` x `cols` cells filled from `cell_texts` as the last shape of the slide at
// `slide_index`; the other entries are copied raw. Refused before anything touches the file
// system, in this order: InvalidInput "table rows and columns must be greater than zero";
// "table {rows}x{cols} is too large" past kMaxTableCells; for each triple in list order,
// "table cell {row},{col} is outside {rows}x{cols} table", then a text XML cannot hold. Then the
// slide's own failures ("slide index {0} was not found", "slide XML is missing </p:spTree>",
// "shape id space is exhausted"), which leave no output file. The new table's index is the
// number of tables the slide's summary lists; its id the largest shape id plus one.
Result<TableAddSummary> add_slide_table_impl(std::string_view input, std::string_view output,
                                             std::uint64_t slide_index, std::uint64_t rows,
                                             std::uint64_t cols, std::uint64_t x_emu,
                                             std::uint64_t y_emu, std::uint64_t cx_emu,
                                             std::uint64_t cy_emu,
                                             std::span<const TableCellText> cell_texts);

// The cell's text through `replace_table_cell_text_in_slide`, every entry written again with
// its own compression method. A slide index past the last slide is no error: the package is
// copied and `replacements` is 0. A text XML cannot hold is refused before anything is written.
Result<TableCellReplacementSummary> replace_table_cell_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t table_index, std::uint64_t row_index, std::uint64_t col_index,
    std::string_view replacement);

}  // namespace pelvane
