// Table summaries: the DrawingML tables found in a piece of XML, by searching its text.
#pragma once

#include <string_view>
#include <vector>

#include "core/model/models.hpp"

namespace pelvane {

// Every `a:tbl` element of the XML text (a slide part or one shape's text, valid UTF-8: invalid
// bytes already U+FFFD), in document order, wherever it sits: in a graphic frame, a group or an
// `mc:AlternateContent` branch. A table nested in another table's cell belongs to that cell's
// text. Never fails: an element without its end tag ends the listing at that level.
std::vector<TableSummary> extract_tables_in_text(std::string_view text);

}  // namespace pelvane
