#include "core/inspect/summary_table_extract.hpp"

#include <algorithm>
#include <optional>
#include <string>

#include "core/base/byte_search.hpp"
#include "core/inspect/text_runs.hpp"
#include "core/xml/xml_splice.hpp"

namespace pelvane {
namespace {

// The elements `tag` directly found in `text`, in order: each from its "<" to just after its end
// tag, the next search starting after that end. An element without an end tag ends the list.
template <class OnElement>
void for_each_element(std::string_view text, std::string_view tag, OnElement&& on_element) {
  std::size_t position = 0;
  for (;;) {
    const auto start = find_tag_start(text, position, tag);
    if (!start) return;
    const auto end = find_element_end(text, *start, tag);
    if (!end) return;
    on_element(text.substr(*start, *end - *start));
    position = *end;
  }
}

std::string cell_text(std::string_view cell) {
  std::string text;
  bool first = true;
  for (const std::string& paragraph : extract_paragraph_texts(cell)) {
    if (!first) text += '\n';
    first = false;
    text += paragraph;
  }
  return text;
}

}  // namespace

std::vector<TableSummary> extract_tables_in_text(std::string_view text) {
  std::vector<TableSummary> tables;
  // Most shapes hold no table: one fast search rules that out before the tag-by-tag one.
  if (find_pattern(text, "<a:tbl") == std::string_view::npos) return tables;
  for_each_element(text, "a:tbl", [&](std::string_view table_text) {
    TableSummary table;
    for_each_element(table_text, "a:tr", [&](std::string_view row_text) {
      auto& row = table.rows.emplace_back();
      for_each_element(row_text, "a:tc",
                       [&](std::string_view cell) { row.push_back(cell_text(cell)); });
      table.col_count = std::max<std::uint64_t>(table.col_count, row.size());
    });
    table.row_count = table.rows.size();
    tables.push_back(std::move(table));
  });
  return tables;
}

}  // namespace pelvane
