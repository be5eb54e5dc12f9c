// One streaming pass over a worksheet part that writes, inserts and clears cells.
//
// Changed cells are rewritten in place, missing cells and rows are inserted at their place in
// row and column order, a changed row's `spans` and the sheet's `dimension` are widened to cover
// new cells, and every other byte is copied as read. String values become shared-string
// references when the workbook has a shared strings table, inline strings otherwise. Rows must
// ascend, and cells within a handled row too: the pass places pending writes by that order and
// refuses input that breaks it rather than write a second row or cell of one number.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/workbook/cell_references.hpp"
#include "core/workbook/shared_string_table.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {

class WorksheetCellRewriter {
 public:
  // `plan` and `shared_strings` (none when the workbook has no shared strings part) are borrowed
  // for the pass; the table grows by the texts it had to append.
  WorksheetCellRewriter(const WorkbookCellPlan& plan, SharedStringTable* shared_strings,
                        std::size_t worksheet_size);

  // Runs the pass. Failures, all `InvalidInput` unless the reader fails (`Xml`):
  // "worksheet row has no index", "worksheet rows are not in ascending order",
  // "worksheet cell has no reference", "worksheet cell reference is outside its row",
  // "worksheet cells are not in ascending order in row {row}",
  // "worksheet cell to update holds a formula", "worksheet has no sheetData" (writes left over).
  Result<void> rewrite(std::string_view worksheet);

  // The new part, after a successful pass.
  std::string take() && { return std::move(writer_).take(); }
  // Cells written as shared-string references, and old shared-string cells updated or cleared.
  std::uint64_t added_references() const { return added_references_; }
  std::uint64_t removed_references() const { return removed_references_; }

 private:
  Result<void> open_tag(const XmlEvent& event);
  void close_tag(const XmlEvent& event);
  Result<void> row_start(const XmlEvent& event);
  Result<void> cell_start(const XmlEvent& event);
  Result<void> drop_old_content(const XmlEvent& event);
  void write_rows_before(std::optional<std::uint32_t> row_limit);
  void write_cells_in_row(std::uint32_t row, std::optional<std::uint32_t> column_limit);
  void write_cell(XmlStartTag tag, const WorkbookCellValue& value);
  // The row's start tag with `spans` widened, or none when it stays as read.
  std::optional<XmlStartTag> widened_spans(const XmlEvent& row, std::uint32_t row_number) const;
  // The dimension tag with `ref` widened, or none when it stays as read.
  std::optional<XmlStartTag> widened_dimension(const XmlEvent& dimension) const;
  void set_prefix(std::string_view prefix);

  XmlWriter writer_;
  std::span<const PendingWrite> writes_;
  std::size_t next_write_ = 0;
  const std::set<CellPosition>& clears_;
  SharedStringTable* shared_strings_;
  std::uint64_t added_references_ = 0;
  std::uint64_t removed_references_ = 0;

  // Names of created elements, from the prefix of `sheetData`.
  std::string cell_name_ = "c", value_name_ = "v", inline_name_ = "is", text_name_ = "t",
              row_name_ = "row";

  bool in_sheet_data_ = false;
  bool in_row_ = false;
  std::uint32_t current_row_ = 0;
  std::size_t skip_depth_ = 0;  // inside an old cell whose content is dropped
  std::size_t row_depth_ = 0;   // elements open inside the handled row
  std::optional<std::uint32_t> previous_row_;
  std::uint32_t previous_column_ = 0;
};

}  // namespace pelvane
