// Readers for the JSON arguments of the module: one entry point per argument.
//
// Each takes the argument's whole text (UTF-8) and returns the parsed list in input order, or
// a `JsonInputError` whose `text()` is exactly what the caller is shown: the reader's message
// followed by " at line {line} column {column}". Reading stops at the first fault; nothing is
// returned in part.
//
// Line and column describe the point after P bytes of the text: the line is 1 plus the line
// feeds among those bytes, the column the number of those bytes after the last line feed
// (counted in bytes; 0 right after a line feed).
#pragma once

#include <string_view>
#include <vector>

#include "core/json/json_error.hpp"
#include "core/model/input_models.hpp"

namespace pelvane {

// `edits_json`: a JSON array of edit operations, each an object tagged under "type" or an
// array whose first element is the tag.
JsonInputResult<std::vector<EditOperation>> parse_edit_list(std::string_view json);

// `operations_json`: a JSON array of freeform path steps ("move_to", "line_to", "close").
JsonInputResult<std::vector<FreeformPathOperation>> parse_freeform_operations(
    std::string_view json);

// `placeholders_json`: a JSON array of placeholder specifications (objects, or arrays of the
// four values).
JsonInputResult<std::vector<PlaceholderShapeSpec>> parse_placeholder_specs(std::string_view json);

// `adjustment_guides_json`: a JSON array of [name, value] pairs (text, signed 64-bit integer).
JsonInputResult<std::vector<AdjustmentGuide>> parse_adjustment_guides(std::string_view json);

// `cell_texts_json`: a JSON array of [row, col, text] triples.
JsonInputResult<std::vector<TableCellText>> parse_cell_texts(std::string_view json);

// `cells_json`: a JSON array of [reference, kind, value] string triples, turned into updates
// once the whole text has been read: kind "n" is a number, "s" a string, "e" clears the cell
// (its value text is dropped). Any other kind fails with
// "unsupported workbook cell kind: {kind}", which carries no position.
JsonInputResult<std::vector<WorkbookCellUpdate>> parse_workbook_cells(std::string_view json);

}  // namespace pelvane
