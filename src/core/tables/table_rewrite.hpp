// The table edits of one slide: streaming rewrites of the slide's XML, each
// `(xml, args...) -> Result<RewriteOutput>` (pml/slide_rewrite.hpp). Tables, rows, grid columns
// and cells are addressed as table_walk.hpp describes; what each rewrite counts is stated with
// it. Elements a rewrite creates carry the prefix `a:` whatever prefix the table uses, and are
// written without white space. Malformed XML fails with the reader's error (Xml); caller text
// that XML cannot hold is refused before anything is written (InvalidInput).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "core/base/error.hpp"
#include "core/pml/slide_rewrite.hpp"
#include "core/xml/xml_event_helpers.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {

// ---- Cell text ----

// The addressed cell's first text element (`t` start tag, in whichever paragraph and run)
// receives the whole text, escaped, line feeds kept inside it; every later text element of the
// cell is emptied; paragraphs, runs, properties, breaks and fields stay. Cells: start tags only.
// Count 1, or 0 when the table, row or cell is missing or the cell has no text element written
// with a start tag.
Result<RewriteOutput> replace_table_cell_text_in_slide(std::string_view xml,
                                                       std::uint64_t table_index,
                                                       std::uint64_t row_index,
                                                       std::uint64_t col_index,
                                                       std::string_view text);

// (table index, row index, column index) -> the cell's new text.
using CellTextMap = std::map<std::tuple<std::uint64_t, std::uint64_t, std::uint64_t>, std::string>;

// The text of every cell of the map in one pass, each cell as `replace_table_cell_text_in_slide`
// writes it. Every text is checked before anything is written; cells the slide does not have
// are passed over. The count is the number of cells written.
Result<RewriteOutput> replace_table_cell_texts_in_slide(std::string_view xml,
                                                        const CellTextMap& cells);

// ---- Rows and columns ----
//
// Each reads the table first (`inspect_slide_table`: a missing table is InvalidInput
// "table index {0} was not found") and refuses, before rewriting, an index outside the table,
// the only row or column, and an edit that would cut through merged cells. Spans are never
// recomputed. New rows, cells and grid columns are plain and empty; a new row takes the height
// of the row before it (the first row's for index 0, 370840 without rows), a new grid column
// the width of the column before it (the first column's for index 0, 2743200 without columns).

// A new row of one empty cell per grid column at `row_index` (the row count appends it). Count 1.
Result<RewriteOutput> insert_table_row_in_slide(std::string_view xml, std::uint64_t table_index,
                                                std::uint64_t row_index);

// The row at `row_index` removed whole; self-closing rows are numbered too. The count is the
// number of rows removed.
Result<RewriteOutput> delete_table_row_in_slide(std::string_view xml, std::uint64_t table_index,
                                                std::uint64_t row_index);

// A new grid column at `col_index` and a new empty cell at that place in each row holding at
// least `col_index` cells (the column count appends them: a row's new last cell goes before the
// row's extension list, else before its end tag). The count is the number of grid columns and
// cells written.
Result<RewriteOutput> insert_table_column_in_slide(std::string_view xml, std::uint64_t table_index,
                                                   std::uint64_t col_index);

// The grid column at `col_index` and the cell at that place in each row removed whole. The count
// is the number of grid columns and cells removed.
Result<RewriteOutput> delete_table_column_in_slide(std::string_view xml, std::uint64_t table_index,
                                                   std::uint64_t col_index);

// "<a:gridCol w="{width}"/>".
void write_grid_column(XmlWriter& writer, std::uint64_t width);
// An empty cell: one paragraph of one run with an empty text element, empty cell properties.
void write_empty_table_cell(XmlWriter& writer);
// `<a:tr h="{height}">`, `cells` empty cells, `</a:tr>`.
void write_empty_table_row(XmlWriter& writer, std::uint64_t height, std::uint64_t cells);

// ---- Merging ----

// One merge attribute of a cell: its value, or none to remove it.
struct MergeAttribute {
  std::string_view name;
  std::optional<std::string> value;
};

// `rowSpan`, `gridSpan`, `hMerge`, `vMerge` for the cell at (row, col) of the range, in this
// order. "split" removes all four. "merge": `rowSpan` the row count on the range's first row
// when above 1, `gridSpan` the column count on its first column when above 1, `hMerge` "1" off
// the first column, `vMerge` "1" off the first row; every other one removed. `kind` is known to
// be "merge" or "split", and the range to be ordered.
std::array<MergeAttribute, 4> table_cell_merge_attributes(std::string_view kind, std::uint64_t row,
                                                          std::uint64_t col, std::uint64_t row_min,
                                                          std::uint64_t row_max,
                                                          std::uint64_t col_min,
                                                          std::uint64_t col_max);

// Merges ("merge") or splits ("split") the cells of rows row_min..row_max and columns
// col_min..col_max, bounds included, cells counted with self-closing ones. Each cell of the
// range gets its merge attributes (`table_cell_merge_attributes`), in place or appended. A merge
// also replaces the text of each text body of the range: the anchor (row_min, col_min) gets the
// paragraphs, one unformatted paragraph per item (an item with a line feed gives several), the
// other cells one empty paragraph. Checks, in order: InvalidInput "table merge range is invalid"
// for a bound below its minimum; "unknown table cell merge edit: {kind}"; for a merge, the
// paragraphs' text, then a range reaching past an existing table: "table merge range is outside
// {rows}x{cols} table". A missing table is no error (count 0); a split only changes the cells
// that exist. The count is the number of cells of the range found, plus, for a merge, the
// paragraphs removed from each of their text bodies (at least 1 each).
Result<RewriteOutput> set_table_cell_merge_in_slide(std::string_view xml, std::uint64_t table_index,
                                                    std::uint64_t row_min, std::uint64_t row_max,
                                                    std::uint64_t col_min, std::uint64_t col_max,
                                                    std::string_view kind,
                                                    std::span<const std::string> paragraphs);

// ---- Style flags ----

// The changes of a flag map: for each of `firstCol`, `firstRow`, `bandRow`, `lastCol`,
// `lastRow`, `bandCol` in this order that the map names, the value "1" (true) or a removal.
std::vector<OptionalAttributeUpdate> table_style_flag_attributes(
    const std::map<std::string, bool>& flags);

// The addressed table's `tblPr` (start or self-closing tag) with the flags set or removed, other
// attributes kept in place, new ones appended in the fixed order. A table reaching its first
// `tr`, `tblGrid` or `extLst` without one first gets a new self-closing `a:tblPr` there. A flag
// name that is not one of the six: InvalidInput "unsupported table style flag: {name}" (the
// first in byte order), before the slide is read. The count is the number of `tblPr` elements
// rewritten or created; a missing table counts 0.
Result<RewriteOutput> set_table_style_flags_in_slide(std::string_view xml,
                                                     std::uint64_t table_index,
                                                     const std::map<std::string, bool>& flags);

}  // namespace pelvane
