#include "core/tables/xml_table_builders.hpp"

#include <unordered_map>

#include "core/base/keyed_hash.hpp"
#include "core/pml/paragraph_writers.hpp"
#include "core/pml/shape_tree.hpp"
#include "core/xml/xml_splice.hpp"

namespace pelvane {

namespace {

constexpr std::string_view kTableUri = "http://schemas.openxmlformats.org/drawingml/2006/table";
constexpr std::string_view kTableStyleId = "{5C22544A-7EE6-4342-B048-85BDC9FD1C3A}";
// The markup of one empty cell, and of everything else of a frame but its numbers and cells.
constexpr std::size_t kEmptyCellSize =
    kTableCellOpen.size() + kEmptyTableParagraph.size() + kTableCellClose.size();
constexpr std::size_t kFrameSize = 600;
constexpr std::size_t kGridColumnSize = 40;  // <a:gridCol w="..."/>
constexpr std::size_t kRowTagsSize = 40;     // <a:tr h="...">, </a:tr>

void append_attribute(std::string& xml, std::string_view name, std::uint64_t value) {
  xml += ' ';
  xml += name;
  xml += "=\"";
  xml += std::to_string(value);
  xml += '"';
}

}  // namespace

void append_grid_column(std::string& xml, std::uint64_t width) {
  xml += "<a:gridCol";
  append_attribute(xml, "w", width);
  xml += "/>";
}

void append_row_start(std::string& xml, std::uint64_t height) {
  xml += "<a:tr";
  append_attribute(xml, "h", height);
  xml += '>';
}

Result<std::string> table_shape_xml(std::uint64_t shape_id, std::uint64_t rows, std::uint64_t cols,
                                    std::uint64_t x_emu, std::uint64_t y_emu, std::uint64_t cx_emu,
                                    std::uint64_t cy_emu,
                                    std::span<const TableCellText> cell_texts) {
  // The first triple naming a cell fills it; later ones for the same cell are passed over.
  std::unordered_map<std::uint64_t, std::string, KeyedHash> paragraphs;
  std::size_t text_size = 0;
  for (const TableCellText& cell : cell_texts) {
    if (cell.row >= rows || cell.col >= cols) continue;
    const std::uint64_t key = cell.row * cols + cell.col;
    if (paragraphs.contains(key)) continue;
    std::string cell_paragraphs = PELVANE_TRY(replacement_paragraphs_xml(cell.text));
    text_size += cell_paragraphs.size();
    paragraphs.emplace(key, std::move(cell_paragraphs));
  }

  std::string xml;
  xml.reserve(kFrameSize + cols * kGridColumnSize + rows * kRowTagsSize +
              rows * cols * kEmptyCellSize + text_size);
  xml += "<p:graphicFrame><p:nvGraphicFramePr><p:cNvPr";
  append_attribute(xml, "id", shape_id);
  xml += " name=\"Table ";
  xml += std::to_string(shape_id);
  xml +=
      "\"/><p:cNvGraphicFramePr><a:graphicFrameLocks noGrp=\"1\"/></p:cNvGraphicFramePr>"
      "<p:nvPr/></p:nvGraphicFramePr><p:xfrm><a:off";
  append_attribute(xml, "x", x_emu);
  append_attribute(xml, "y", y_emu);
  xml += "/><a:ext";
  append_attribute(xml, "cx", cx_emu);
  append_attribute(xml, "cy", cy_emu);
  xml += "/></p:xfrm><a:graphic><a:graphicData uri=\"";
  xml += kTableUri;
  xml += "\"><a:tbl><a:tblPr firstRow=\"1\" bandRow=\"1\"><a:tableStyleId>";
  xml += kTableStyleId;
  xml += "</a:tableStyleId></a:tblPr><a:tblGrid>";
  const std::uint64_t width = cx_emu / cols;
  for (std::uint64_t col = 0; col < cols; ++col) append_grid_column(xml, width);
  xml += "</a:tblGrid>";
  const std::uint64_t height = cy_emu / rows;
  for (std::uint64_t row = 0; row < rows; ++row) {
    append_row_start(xml, height);
    for (std::uint64_t col = 0; col < cols; ++col) {
      xml += kTableCellOpen;
      const auto text = paragraphs.find(row * cols + col);
      xml += text == paragraphs.end() ? kEmptyTableParagraph : std::string_view(text->second);
      xml += kTableCellClose;
    }
    xml += "</a:tr>";
  }
  xml += "</a:tbl></a:graphicData></a:graphic></p:graphicFrame>";
  return xml;
}

std::uint64_t summarized_table_count(std::string_view slide_xml) {
  constexpr std::string_view kTable = "a:tbl";
  std::uint64_t count = 0;
  std::size_t position = 0;
  while (const auto start = find_tag_start(slide_xml, position, kTable)) {
    const auto end = find_element_end(slide_xml, *start, kTable);
    if (!end) break;
    ++count;
    position = *end;
  }
  return count;
}

}  // namespace pelvane
