#include "core/tables/table_operations.hpp"

#include <string>
#include <utility>

#include "core/package/slide_edit.hpp"
#include "core/pml/shape_tree.hpp"
#include "core/tables/table_rewrite.hpp"
#include "core/tables/xml_table_builders.hpp"
#include "core/xml/xml_event_helpers.hpp"

namespace pelvane {

namespace {

PelvaneError refused(std::string message) {
  return PelvaneError::invalid_input(std::move(message));
}

// Every check that needs only the arguments.
Result<void> check_new_table(std::uint64_t rows, std::uint64_t cols,
                             std::span<const TableCellText> cell_texts) {
  if (rows == 0 || cols == 0)
    return fail(refused("table rows and columns must be greater than zero"));
  const std::string size = std::to_string(rows) + "x" + std::to_string(cols);
  // rows * cols without overflow: rows > kMaxTableCells / cols exactly when the product is past
  // the limit.
  if (rows > kMaxTableCells / cols) return fail(refused("table " + size + " is too large"));
  for (const TableCellText& cell : cell_texts) {
    if (cell.row >= rows || cell.col >= cols) {
      return fail(refused("table cell " + std::to_string(cell.row) + "," +
                          std::to_string(cell.col) + " is outside " + size + " table"));
    }
    PELVANE_TRY_VOID(check_xml_text(cell.text));
  }
  return {};
}

}  // namespace

Result<TableAddSummary> add_slide_table_impl(std::string_view input, std::string_view output,
                                             std::uint64_t slide_index, std::uint64_t rows,
                                             std::uint64_t cols, std::uint64_t x_emu,
                                             std::uint64_t y_emu, std::uint64_t cx_emu,
                                             std::uint64_t cy_emu,
                                             std::span<const TableCellText> cell_texts) {
  PELVANE_TRY_VOID(check_new_table(rows, cols, cell_texts));
  struct Added {
    std::uint64_t table_index = 0;
    std::uint64_t shape_id = 0;
  };
  auto edited = PELVANE_TRY(
      edit_slide(input, output, slide_index, kRawCopyEdit, [&](SlideEdit& slide) -> Result<Added> {
        // The new table is the slide's last: its index is the number of tables already there.
        Added added{.table_index = summarized_table_count(slide.xml())};
        added.shape_id = PELVANE_TRY(
            insert_new_shape(slide.xml(), InsertionTarget::slide(), [&](std::uint64_t shape_id) {
              return table_shape_xml(shape_id, rows, cols, x_emu, y_emu, cx_emu, cy_emu,
                                     cell_texts);
            }));
        return added;
      }));
  TableAddSummary summary;
  summary.table_index = edited.value.table_index;
  summary.shape_id = edited.value.shape_id;
  summary.rows = rows;
  summary.cols = cols;
  return finish_record(std::move(summary), output, edited);
}

Result<TableCellReplacementSummary> replace_table_cell_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t table_index, std::uint64_t row_index, std::uint64_t col_index,
    std::string_view replacement) {
  // Refused whether or not the cell exists, before anything is written.
  PELVANE_TRY_VOID(check_xml_text(replacement));
  auto edited = PELVANE_TRY(
      edit_package(input, output, kTextEdit, [&](PackageEdit& edit) -> Result<std::uint64_t> {
        auto slide = PELVANE_TRY(find_slide_at_index(edit.archive(), slide_index, true));
        if (!slide) return 0;  // no such slide: the package is copied
        auto& [part, xml] = *slide;
        RewriteOutput rewritten = PELVANE_TRY(
            replace_table_cell_text_in_slide(xml, table_index, row_index, col_index, replacement));
        edit.replace_part(std::move(part), std::move(rewritten.bytes));
        return rewritten.count;
      }));
  TableCellReplacementSummary summary;
  summary.slide_index = slide_index;  // found by the edit itself
  summary.table_index = table_index;
  summary.row_index = row_index;
  summary.col_index = col_index;
  summary.replacements = edited.value;
  return finish_record(std::move(summary), output, edited);
}

}  // namespace pelvane
