// The text of one table cell.
#include "core/tables/table_rewrite.hpp"
#include "core/tables/table_walk.hpp"

namespace pelvane {

Result<RewriteOutput> replace_table_cell_text_in_slide(std::string_view xml,
                                                       std::uint64_t table_index,
                                                       std::uint64_t row_index,
                                                       std::uint64_t col_index,
                                                       std::string_view replacement) {
  const CheckedText text = PELVANE_TRY(CheckedText::check(replacement));
  SlideStream stream(xml);
  TableWalker walker(table_index);
  std::uint64_t count = 0;
  bool in_cell = false;  // inside the addressed cell
  bool in_text = false;  // inside a text element
  bool written = false;  // the cell has received the text
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(count);
    const TableStep place = walker.step(event);
    if (place.part == TablePart::CellStart) {
      in_cell = place.row == row_index && place.column == col_index;
      written = false;
    } else if (place.part == TablePart::CellEnd) {
      in_cell = written = false;
    }
    if (event.is_start() && event.local_name() == "t") {
      in_text = true;
    } else if (event.is_end() && event.local_name() == "t") {
      // A text element without character content still receives the text.
      if (in_text && in_cell && !written) {
        stream.writer.write_text(text.view());
        written = true;
        ++count;
      }
      in_text = false;
    } else if (in_text && in_cell && is_character_content(event)) {
      // The first piece of old content becomes the whole text; every later one goes.
      if (!written) {
        stream.writer.write_text(text.view());
        written = true;
        ++count;
      }
      continue;
    }
    stream.writer.write_event(event);
  }
}

}  // namespace pelvane
