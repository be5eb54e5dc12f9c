// The markup of a new table: the graphic frame that holds it, and the grid column, row start tag,
// empty cell and paragraph that the row and column edits write alike.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/input_models.hpp"

namespace pelvane {

// A cell is kTableCellOpen, its paragraphs, kTableCellClose.
inline constexpr std::string_view kTableCellOpen = "<a:tc><a:txBody><a:bodyPr/><a:lstStyle/>";
inline constexpr std::string_view kTableCellClose = "</a:txBody><a:tcPr/></a:tc>";
// The paragraph of an empty cell: one run with an empty text element.
inline constexpr std::string_view kEmptyTableParagraph = "<a:p><a:r><a:t></a:t></a:r></a:p>";

// `<a:gridCol w="{width}"/>`, one column of the table grid.
void append_grid_column(std::string& xml, std::uint64_t width);
// `<a:tr h="{height}">`, the start tag of a row; the row ends with "</a:tr>".
void append_row_start(std::string& xml, std::uint64_t height);

// The graphic frame of a new table, one fragment without white space, relying on the `p:` and
// `a:` prefixes of the slide: the id and the name "Table {id}", the frame's position and size,
// table properties with the first row and banded rows on and the built-in medium style, `cols`
// grid columns of width cx / cols and `rows` rows of height cy / rows (divisions truncated; the
// frame keeps cx and cy). A cell takes the text of the first triple naming it, as unformatted
// paragraphs split at line feeds; a cell no triple names holds one empty paragraph. Triples are
// expected inside the table; a text XML cannot hold is refused (InvalidInput).
Result<std::string> table_shape_xml(std::uint64_t shape_id, std::uint64_t rows, std::uint64_t cols,
                                    std::uint64_t x_emu, std::uint64_t y_emu, std::uint64_t cx_emu,
                                    std::uint64_t cy_emu,
                                    std::span<const TableCellText> cell_texts);

// The number of tables a slide summary lists: `a:tbl` elements (this prefix, by text search)
// that close, a table inside another's cell not counted apart. The index a new last table gets.
std::uint64_t summarized_table_count(std::string_view slide_xml);

}  // namespace pelvane
