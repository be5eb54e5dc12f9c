#include "core/tables/table_inspection.hpp"

#include <string>

#include "core/base/decimal.hpp"
#include "core/base/utf8.hpp"
#include "core/tables/table_walk.hpp"

namespace pelvane {

namespace {

// A span as the merge attributes write it: anything that does not read is a span of 1.
std::uint64_t span_value(std::string_view value) { return parse_u64(value).value_or(1); }

bool merge_value(std::string_view value) { return value == "1" || value == "true"; }

}  // namespace

CellMergeFlags extract_cell_merge_flags(const XmlEvent& cell_tag) {
  CellMergeFlags flags;
  for (const XmlAttribute& attribute : cell_tag.attributes()) {
    if (attribute.malformed || !is_valid_utf8(attribute.value)) continue;
    if (attribute.name == "gridSpan")
      flags.grid_span = span_value(attribute.value);
    else if (attribute.name == "rowSpan")
      flags.row_span = span_value(attribute.value);
    else if (attribute.name == "hMerge")
      flags.h_merge = merge_value(attribute.value);
    else if (attribute.name == "vMerge")
      flags.v_merge = merge_value(attribute.value);
  }
  return flags;
}

std::optional<std::uint64_t> extract_u64_attr(const XmlEvent& tag, std::string_view name) {
  const auto raw = tag.attributes().find(name);
  if (!raw || !is_valid_utf8(*raw)) return std::nullopt;
  return parse_u64(*raw);
}

Result<std::optional<TableInspection>> find_slide_table(std::string_view xml,
                                                        std::uint64_t table_index) {
  XmlReader reader(xml);
  TableWalker walker(table_index, {.self_closing_cells = true});
  TableInspection table;
  std::vector<CellMergeFlags> row;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    if (event.is_eof()) break;
    const TableStep place = walker.step(event);
    switch (place.part) {
      case TablePart::GridColumn:
        table.column_widths.push_back(extract_u64_attr(event, "w").value_or(0));
        break;
      case TablePart::RowStart:
        row.clear();
        table.row_heights.push_back(extract_u64_attr(event, "h").value_or(0));
        break;
      case TablePart::CellStart:
      case TablePart::CellEmpty: row.push_back(extract_cell_merge_flags(event)); break;
      case TablePart::RowEnd:
        table.rows.push_back(std::move(row));
        row = {};
        break;
      case TablePart::TableEnd: return table;
      default: break;
    }
  }
  if (!walker.found()) return std::nullopt;
  return table;
}

Result<TableInspection> inspect_slide_table(std::string_view xml, std::uint64_t table_index) {
  auto table = PELVANE_TRY(find_slide_table(xml, table_index));
  if (!table) {
    return fail(PelvaneError::invalid_input("table index " + std::to_string(table_index) +
                                            " was not found"));
  }
  return std::move(*table);
}

}  // namespace pelvane
