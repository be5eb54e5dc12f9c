// The text of table cells: one cell, or many in one pass.
#include <utility>
#include <vector>

#include "core/tables/table_rewrite.hpp"
#include "core/tables/table_walk.hpp"

namespace pelvane {

Result<RewriteOutput> replace_table_cell_texts_in_slide(std::string_view xml,
                                                        const CellTextMap& cells) {
  // Every text is checked before anything is written; one walker per table addressed.
  std::vector<std::pair<std::uint64_t, TableWalker>> tables;
  for (const auto& [cell, text] : cells) {
    PELVANE_TRY(CheckedText::check(text));
    const std::uint64_t table = std::get<0>(cell);
    if (tables.empty() || tables.back().first != table) tables.emplace_back(table, table);
  }
  SlideStream stream(xml);
  const std::string* target = nullptr;  // the text of the cell being read, if it has one
  bool in_text = false;                 // inside a text element
  bool written = false;                 // the cell has received its text
  std::uint64_t count = 0;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(count);
    for (auto& [table, walker] : tables) {
      const TableStep place = walker.step(event);
      if (place.part == TablePart::CellStart) {
        const auto found = cells.find({table, place.row, place.column});
        target = found == cells.end() ? nullptr : &found->second;
        written = false;
      } else if (place.part == TablePart::CellEnd) {
        target = nullptr;
        written = false;
      }
    }
    if (event.is_start() && event.local_name() == "t") {
      in_text = true;
    } else if (event.is_end() && event.local_name() == "t") {
      // A text element without character content still receives the text.
      if (in_text && target && !written) {
        stream.writer.write_text(*target);
        written = true;
        ++count;
      }
      in_text = false;
    } else if (in_text && target && is_character_content(event)) {
      // The first piece of old content becomes the whole text; every later one goes.
      if (!written) {
        stream.writer.write_text(*target);
        written = true;
        ++count;
      }
      continue;
    }
    stream.writer.write_event(event);
  }
}

Result<RewriteOutput> replace_table_cell_text_in_slide(std::string_view xml,
                                                       std::uint64_t table_index,
                                                       std::uint64_t row_index,
                                                       std::uint64_t col_index,
                                                       std::string_view replacement) {
  return replace_table_cell_texts_in_slide(
      xml, CellTextMap{{{table_index, row_index, col_index}, std::string(replacement)}});
}

}  // namespace pelvane
