// Merging the cells of a range into one, and splitting them apart again.
#include <string>

#include "core/tables/table_inspection.hpp"
#include "core/tables/table_rewrite.hpp"
#include "core/tables/table_walk.hpp"

namespace pelvane {

namespace {

std::string join_lines(std::span<const std::string> paragraphs) {
  std::string text;
  for (std::size_t i = 0; i < paragraphs.size(); ++i) {
    if (i > 0) text += '\n';
    text += paragraphs[i];
  }
  return text;
}

// A merge whose bounds reach past the table would write spans no cell backs. A missing table
// is left to the rewrite, which then changes nothing.
Result<void> check_merge_inside_table(std::string_view xml, std::uint64_t table_index,
                                      std::uint64_t row_max, std::uint64_t col_max) {
  const auto table = PELVANE_TRY(find_slide_table(xml, table_index));
  if (table && (row_max >= table->row_count() || col_max >= table->column_count())) {
    return fail(PelvaneError::invalid_input("table merge range is outside " +
                                            std::to_string(table->row_count()) + "x" +
                                            std::to_string(table->column_count()) + " table"));
  }
  return {};
}

}  // namespace

std::array<MergeAttribute, 4> table_cell_merge_attributes(std::string_view kind, std::uint64_t row,
                                                          std::uint64_t col, std::uint64_t row_min,
                                                          std::uint64_t row_max,
                                                          std::uint64_t col_min,
                                                          std::uint64_t col_max) {
  std::array<MergeAttribute, 4> attributes{
      {{"rowSpan", {}}, {"gridSpan", {}}, {"hMerge", {}}, {"vMerge", {}}}};
  if (kind != "merge") return attributes;
  const std::uint64_t rows = row_max - row_min + 1;
  const std::uint64_t cols = col_max - col_min + 1;
  if (row == row_min && rows > 1) attributes[0].value = std::to_string(rows);
  if (col == col_min && cols > 1) attributes[1].value = std::to_string(cols);
  if (col != col_min) attributes[2].value.emplace("1");
  if (row != row_min) attributes[3].value.emplace("1");
  return attributes;
}

Result<RewriteOutput> set_table_cell_merge_in_slide(std::string_view xml, std::uint64_t table_index,
                                                    std::uint64_t row_min, std::uint64_t row_max,
                                                    std::uint64_t col_min, std::uint64_t col_max,
                                                    std::string_view kind,
                                                    std::span<const std::string> paragraphs) {
  if (row_max < row_min || col_max < col_min)
    return fail(PelvaneError::invalid_input("table merge range is invalid"));
  if (kind != "merge" && kind != "split") {
    return fail(PelvaneError::invalid_input("unknown table cell merge edit: " + std::string(kind)));
  }
  const bool merge = kind == "merge";
  const std::string anchor_text = merge ? join_lines(paragraphs) : std::string();
  const CheckedText anchor = PELVANE_TRY(CheckedText::check(anchor_text));
  const CheckedText empty = PELVANE_TRY(CheckedText::check(""));
  if (merge) PELVANE_TRY_VOID(check_merge_inside_table(xml, table_index, row_max, col_max));

  SlideStream stream(xml);
  TableWalker walker(table_index, {.self_closing_cells = true});
  std::uint64_t count = 0;
  bool in_merged_cell = false;
  bool at_anchor = false;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(count);
    const TableStep place = walker.step(event);
    const bool cell = place.part == TablePart::CellStart || place.part == TablePart::CellEmpty;
    if (cell && row_min <= place.row && place.row <= row_max && col_min <= place.column &&
        place.column <= col_max) {
      const auto attributes = table_cell_merge_attributes(kind, place.row, place.column, row_min,
                                                          row_max, col_min, col_max);
      std::array<OptionalAttributeUpdate, 4> updates;
      for (std::size_t i = 0; i < attributes.size(); ++i)
        updates[i] = {attributes[i].name, attributes[i].value};
      stream.writer.write_tag_as(event, rewrite_event_optional_attributes(event, updates));
      ++count;
      in_merged_cell = place.part == TablePart::CellStart;
      at_anchor = place.row == row_min && place.column == col_min;
      continue;
    }
    if (place.part == TablePart::CellEnd) in_merged_cell = false;
    stream.writer.write_event(event);
    if (merge && in_merged_cell && event.is_start() && event.local_name() == "txBody") {
      count += PELVANE_TRY(
          rewrite_text_body_content(stream.reader, stream.writer, at_anchor ? anchor : empty));
    }
  }
}

}  // namespace pelvane
