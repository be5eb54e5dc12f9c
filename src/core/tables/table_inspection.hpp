// One table of a slide read into its grid widths, row heights and per-cell merge attributes,
// addressed as every table pass addresses it (table_walk.hpp). The row, column and merge edits
// check their arguments against it before they rewrite the slide.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {

// The merge attributes of one cell's tag. Names are compared exactly as written ("a:gridSpan"
// is not `gridSpan`); values are taken as written, without unescaping; a value that is not
// UTF-8, and an attribute the reader cannot parse, are ignored.
struct CellMergeFlags {
  std::uint64_t grid_span = 1;  // `gridSpan`: an optional "+" and digits; anything else 1; "0" 0
  std::uint64_t row_span = 1;   // `rowSpan`, read alike
  bool h_merge = false;         // `hMerge` is exactly "1" or "true"
  bool v_merge = false;         // `vMerge`, read alike

  friend bool operator==(const CellMergeFlags&, const CellMergeFlags&) = default;
};

struct TableInspection {
  std::vector<std::uint64_t> column_widths;  // `w` of each grid column, 0 when unreadable
  std::vector<std::uint64_t> row_heights;    // `h` of each row start tag, 0 when unreadable
  // The cells (start and self-closing tags) of each row that ended inside the table.
  std::vector<std::vector<CellMergeFlags>> rows;

  std::uint64_t column_count() const { return column_widths.size(); }
  std::uint64_t row_count() const { return row_heights.size(); }
};

CellMergeFlags extract_cell_merge_flags(const XmlEvent& cell_tag);

// The value of the first attribute whose whole name is `name` (one letter: "w", "h") and whose
// value is UTF-8, read as an optional "+" and digits; none when there is no such attribute or
// its value does not read.
std::optional<std::uint64_t> extract_u64_attr(const XmlEvent& tag, std::string_view name);

// The `table_index`-th table of the slide. The slide is read up to that table's end tag (to the
// end when it never comes, giving what was gathered). No such table: InvalidInput
// "table index {0} was not found". Malformed XML: the reader's error (Xml).
Result<TableInspection> inspect_slide_table(std::string_view xml, std::uint64_t table_index);

// The same with a missing table given as none, for the passes to which it is no error.
Result<std::optional<TableInspection>> find_slide_table(std::string_view xml,
                                                        std::uint64_t table_index);

}  // namespace pelvane
