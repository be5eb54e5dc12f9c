#include "core/tables/table_walk.hpp"

namespace pelvane {

TableStep TableWalker::step(const XmlEvent& event) {
  if (!event.is_tag() && !event.is_end()) return {};
  const std::string_view name = event.local_name();
  if (event.is_start() && name == "tbl") {
    in_target_ = tables_++ == table_index_;
    in_grid_ = in_row_ = in_cell_ = false;
    if (!in_target_) return {};
    found_ = true;
    rows_ = grid_columns_ = cells_ = 0;
    return {TablePart::TableStart};
  }
  if (!in_target_) return {};

  if (event.is_end()) {
    if (name == "tbl") {
      in_target_ = false;
      return {TablePart::TableEnd};
    }
    if (name == "tblGrid" && in_grid_) {
      in_grid_ = false;
      return {TablePart::GridEnd};
    }
    if (name == "tr" && in_row_) {
      in_row_ = in_cell_ = false;
      return {TablePart::RowEnd, current_.row};
    }
    if (name == "tc" && in_cell_) {
      in_cell_ = false;
      return {TablePart::CellEnd, current_.row, current_.column};
    }
    return {};
  }

  const bool self_closing = event.is_empty();
  TableStep place;
  if (name == "tblGrid") {
    if (self_closing) return {};
    in_grid_ = true;
    grid_columns_ = 0;
    return {};
  } else if (name == "gridCol" && in_grid_) {
    place = {TablePart::GridColumn, 0, grid_columns_++};
  } else if (name == "tr") {
    if (self_closing && !counting_.self_closing_rows) return {};
    current_.row = rows_++;
    cells_ = 0;
    in_row_ = !self_closing;
    in_cell_ = false;
    place = {self_closing ? TablePart::RowEmpty : TablePart::RowStart, current_.row};
  } else if (name == "tc" && in_row_) {
    if (self_closing && !counting_.self_closing_cells) return {};
    current_.column = cells_++;
    in_cell_ = !self_closing;
    place = {self_closing ? TablePart::CellEmpty : TablePart::CellStart, current_.row,
             current_.column};
  } else {
    return {};
  }
  last_started_ = self_closing ? TablePart::None : place.part;
  return place;
}

void TableWalker::skipped() {
  switch (last_started_) {
    case TablePart::RowStart: in_row_ = in_cell_ = false; break;
    case TablePart::CellStart: in_cell_ = false; break;
    default: break;
  }
  last_started_ = TablePart::None;
}

}  // namespace pelvane
