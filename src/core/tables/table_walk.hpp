// How every table pass of a slide finds its table, rows, grid columns and cells: one walker fed
// with each event of the slide, in order, before the pass writes it.
//
// Elements are recognised by local name, whatever their prefix. Tables are the `tbl` start tags
// of the slide, at any depth (in groups, in either branch of a markup-compatibility choice),
// numbered from 0; a self-closing `tbl` is not a table. The addressed table lasts from its start
// tag to the next `tbl` end tag, or to the start tag of another table. Inside it:
//   - grid columns are the `gridCol` tags (start or self-closing) of its `tblGrid`;
//   - rows are the `tr` start tags, numbered from 0 (self-closing ones too when asked);
//   - cells are the `tc` start tags inside a row, numbered from 0 in each row (self-closing ones
//     too when asked). A cell's number is its place among the cells of its row: continuation
//     cells of a merge count like any other, and a `gridSpan` does not advance the count.
#pragma once

#include <cstdint>

#include "core/xml/xml_events.hpp"

namespace pelvane {

// Which self-closing tags are numbered as rows and cells. Passes differ here on purpose: the
// cell text counts `tc` start tags only, inspection and merging count self-closing cells too,
// and row deletion counts self-closing rows.
struct TableCounting {
  bool self_closing_rows = false;
  bool self_closing_cells = false;
};

// What one event is to the addressed table. Every event outside it is `None`.
enum class TablePart : std::uint8_t {
  None,
  TableStart,  // the addressed table's start tag
  TableEnd,    // its end tag
  GridEnd,     // the end tag of its `tblGrid`
  GridColumn,  // a `gridCol` of the grid; `column` is its number
  RowStart,    // a row's start tag; `row` is its number
  RowEmpty,    // a self-closing row (when counted); `row` is its number
  RowEnd,      // the end tag of the row `row`
  CellStart,   // a cell's start tag; `row`, `column` its place
  CellEmpty,   // a self-closing cell (when counted)
  CellEnd,     // the end tag of the cell at `row`, `column`
};

struct TableStep {
  TablePart part = TablePart::None;
  std::uint64_t row = 0;
  std::uint64_t column = 0;
};

class TableWalker {
 public:
  explicit TableWalker(std::uint64_t table_index, TableCounting counting = {})
      : table_index_(table_index), counting_(counting) {}

  // Where `event` stands; call once per event, in document order.
  TableStep step(const XmlEvent& event);

  // The caller consumed the element whose start tag `step` just reported (row, cell or grid
  // column) up to its end tag, which the walker therefore never sees.
  void skipped();

  bool in_target() const { return in_target_; }
  // The addressed table's start tag has been met.
  bool found() const { return found_; }
  // Rows numbered so far in the addressed table, and grid columns in its grid.
  std::uint64_t rows_seen() const { return rows_; }
  std::uint64_t grid_columns_seen() const { return grid_columns_; }
  // Cells numbered so far in the current row.
  std::uint64_t cells_seen() const { return cells_; }

 private:
  std::uint64_t table_index_;
  TableCounting counting_;
  std::uint64_t tables_ = 0;
  std::uint64_t rows_ = 0;
  std::uint64_t grid_columns_ = 0;
  std::uint64_t cells_ = 0;
  TableStep current_;  // the row and the cell last started
  TablePart last_started_ = TablePart::None;
  bool in_target_ = false;
  bool found_ = false;
  bool in_grid_ = false;
  bool in_row_ = false;
  bool in_cell_ = false;
};

}  // namespace pelvane
