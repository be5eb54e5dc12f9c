// Rows and columns of a table in and out.
#include <algorithm>
#include <limits>
#include <string>

#include "core/pml/slide_child_order.hpp"
#include "core/tables/table_inspection.hpp"
#include "core/tables/table_rewrite.hpp"
#include "core/tables/table_walk.hpp"
#include "core/tables/xml_table_builders.hpp"

namespace pelvane {

namespace {

constexpr std::uint64_t kDefaultRowHeight = 370840;
constexpr std::uint64_t kDefaultColumnWidth = 2743200;
// Room reserved beyond the input for what an insertion writes.
constexpr std::size_t kInsertionRoom = 1024;

PelvaneError refused(std::string message) {
  return PelvaneError::invalid_input(std::move(message));
}

std::string index_out_of_range(std::string_view what, std::uint64_t index, std::uint64_t count,
                               std::string_view items) {
  return "table " + std::string(what) + " index " + std::to_string(index) +
         " out of range (table has " + std::to_string(count) + " " + std::string(items) + ")";
}

// position + span, stopping at the largest value instead of wrapping.
std::uint64_t saturating_end(std::uint64_t position, std::uint64_t span) {
  return span > std::numeric_limits<std::uint64_t>::max() - position
             ? std::numeric_limits<std::uint64_t>::max()
             : position + span;
}

bool is_merged(const CellMergeFlags& cell) {
  return cell.grid_span > 1 || cell.h_merge || cell.row_span > 1 || cell.v_merge;
}

// The size of the item before `index` (the first one's for index 0), or `fallback` when there
// are none.
std::uint64_t neighbour_size(const std::vector<std::uint64_t>& sizes, std::uint64_t index,
                             std::uint64_t fallback) {
  if (sizes.empty()) return fallback;
  return sizes[index == 0 ? 0 : std::min<std::uint64_t>(index - 1, sizes.size() - 1)];
}

Result<void> check_row_insertion(const TableInspection& table, std::uint64_t row_index) {
  if (row_index > table.row_count())
    return fail(refused(index_out_of_range("row", row_index, table.row_count(), "rows")));
  const auto through = [&] {
    if (row_index < table.rows.size() &&
        std::ranges::any_of(table.rows[row_index], &CellMergeFlags::v_merge))
      return true;
    for (std::uint64_t r = 0; r < std::min<std::uint64_t>(row_index, table.rows.size()); ++r) {
      for (const CellMergeFlags& cell : table.rows[r])
        if (cell.row_span > 1 && row_index < saturating_end(r, cell.row_span)) return true;
    }
    return false;
  };
  if (through()) {
    return fail(
        refused("cannot insert row " + std::to_string(row_index) + " through merged cells"));
  }
  return {};
}

// A deletion names an item that exists (`count` of them) and leaves at least one.
Result<void> check_deleted_index(std::string_view what, std::uint64_t index, std::uint64_t count,
                                 std::string_view items) {
  if (count < 2)
    return fail(refused("cannot delete the only " + std::string(what) + " of a table"));
  if (index >= count) return fail(refused(index_out_of_range(what, index, count, items)));
  return {};
}

Result<void> check_row_deletion(const TableInspection& table, std::uint64_t row_index) {
  PELVANE_TRY_VOID(check_deleted_index("row", row_index, table.row_count(), "rows"));
  if (row_index < table.rows.size() && std::ranges::any_of(table.rows[row_index], is_merged)) {
    return fail(refused("cannot delete row " + std::to_string(row_index) +
                        " because it contains merged cells"));
  }
  return {};
}

Result<void> check_column_insertion(const TableInspection& table, std::uint64_t col_index) {
  if (col_index > table.column_count())
    return fail(refused(index_out_of_range("column", col_index, table.column_count(), "columns")));
  for (const auto& row : table.rows) {
    bool through = col_index < row.size() && row[col_index].h_merge;
    for (std::uint64_t p = 0; p < row.size() && !through; ++p) {
      through =
          row[p].grid_span > 1 && p < col_index && col_index < saturating_end(p, row[p].grid_span);
    }
    if (through) {
      return fail(
          refused("cannot insert column " + std::to_string(col_index) + " through merged cells"));
    }
  }
  return {};
}

Result<void> check_column_deletion(const TableInspection& table, std::uint64_t col_index) {
  PELVANE_TRY_VOID(check_deleted_index("column", col_index, table.column_count(), "columns"));
  for (std::uint64_t r = 0; r < table.rows.size(); ++r) {
    if (col_index < table.rows[r].size() && is_merged(table.rows[r][col_index])) {
      return fail(refused("cannot delete column " + std::to_string(col_index) +
                          " because it contains merged cells at row " + std::to_string(r)));
    }
  }
  return {};
}

// One pass that drops whole every element of the addressed table that `dropped(place)` names
// (a row, a grid column or a cell); the count is the number of elements dropped.
template <class Dropped>
Result<RewriteOutput> drop_table_elements(std::string_view xml, std::uint64_t table_index,
                                          TableCounting counting, Dropped dropped) {
  SlideStream stream(xml);
  TableWalker walker(table_index, counting);
  std::uint64_t count = 0;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(count);
    if (!dropped(walker.step(event))) {
      stream.writer.write_event(event);
      continue;
    }
    if (event.is_start()) {
      PELVANE_TRY_VOID(skip_current_element(stream.reader));
      walker.skipped();
    }
    ++count;
  }
}

}  // namespace

void write_grid_column(XmlWriter& writer, std::uint64_t width) {
  std::string column;
  append_grid_column(column, width);
  writer.write_raw(column);
}

void write_empty_table_cell(XmlWriter& writer) {
  writer.write_raw(kTableCellOpen);
  writer.write_raw(kEmptyTableParagraph);
  writer.write_raw(kTableCellClose);
}

void write_empty_table_row(XmlWriter& writer, std::uint64_t height, std::uint64_t cells) {
  std::string start;
  append_row_start(start, height);
  writer.write_raw(start);
  for (std::uint64_t i = 0; i < cells; ++i) write_empty_table_cell(writer);
  writer.write_raw("</a:tr>");
}

Result<RewriteOutput> insert_table_row_in_slide(std::string_view xml, std::uint64_t table_index,
                                                std::uint64_t row_index) {
  const TableInspection table = PELVANE_TRY(inspect_slide_table(xml, table_index));
  PELVANE_TRY_VOID(check_row_insertion(table, row_index));
  const std::uint64_t height = neighbour_size(table.row_heights, row_index, kDefaultRowHeight);
  SlideStream stream(xml, kInsertionRoom);
  TableWalker walker(table_index);
  std::uint64_t count = 0;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(count);
    const TableStep place = walker.step(event);
    const bool here = (place.part == TablePart::RowStart && place.row == row_index) ||
                      (place.part == TablePart::TableEnd && walker.rows_seen() == row_index);
    if (here && count == 0) {
      write_empty_table_row(stream.writer, height, table.column_count());
      count = 1;
    }
    stream.writer.write_event(event);
  }
}

Result<RewriteOutput> delete_table_row_in_slide(std::string_view xml, std::uint64_t table_index,
                                                std::uint64_t row_index) {
  const TableInspection table = PELVANE_TRY(inspect_slide_table(xml, table_index));
  PELVANE_TRY_VOID(check_row_deletion(table, row_index));
  return drop_table_elements(
      xml, table_index, {.self_closing_rows = true}, [&](const TableStep& place) {
        return (place.part == TablePart::RowStart || place.part == TablePart::RowEmpty) &&
               place.row == row_index;
      });
}

Result<RewriteOutput> insert_table_column_in_slide(std::string_view xml, std::uint64_t table_index,
                                                   std::uint64_t col_index) {
  const TableInspection table = PELVANE_TRY(inspect_slide_table(xml, table_index));
  PELVANE_TRY_VOID(check_column_insertion(table, col_index));
  const std::uint64_t width = neighbour_size(table.column_widths, col_index, kDefaultColumnWidth);
  SlideStream stream(xml, kInsertionRoom);
  TableWalker walker(table_index, {.self_closing_cells = true});
  // Where a row's cells end: before its extension list, else before its end tag.
  ChildSlot row_end(kTableRowChildren, "tc");
  std::uint64_t count = 0;
  bool grid_written = false;
  bool cell_written = false;  // in the current row
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(count);
    const TableStep place = walker.step(event);
    const std::size_t depth = stream.reader.depth();
    switch (place.part) {
      case TablePart::GridColumn:
      case TablePart::GridEnd:
        if (!grid_written &&
            (place.part == TablePart::GridColumn ? place.column == col_index
                                                 : walker.grid_columns_seen() == col_index)) {
          write_grid_column(stream.writer, width);
          grid_written = true;
          ++count;
        }
        break;
      case TablePart::RowStart:
        row_end.enter(depth);
        cell_written = false;
        break;
      default:
        if (!walker.in_target()) break;
        const bool at_cell =
            (place.part == TablePart::CellStart || place.part == TablePart::CellEmpty) &&
            place.column == col_index;
        const bool at_row_end = row_end.reached(event, depth) && walker.cells_seen() == col_index;
        if (!cell_written && (at_cell || at_row_end)) {
          write_empty_table_cell(stream.writer);
          cell_written = true;
          ++count;
        }
        break;
    }
    stream.writer.write_event(event);
  }
}

Result<RewriteOutput> delete_table_column_in_slide(std::string_view xml, std::uint64_t table_index,
                                                   std::uint64_t col_index) {
  const TableInspection table = PELVANE_TRY(inspect_slide_table(xml, table_index));
  PELVANE_TRY_VOID(check_column_deletion(table, col_index));
  return drop_table_elements(
      xml, table_index, {.self_closing_cells = true}, [&](const TableStep& place) {
        return place.column == col_index &&
               (place.part == TablePart::GridColumn || place.part == TablePart::CellStart ||
                place.part == TablePart::CellEmpty);
      });
}

}  // namespace pelvane
