// The schema order of the children of the SpreadsheetML elements that cell updates add children
// to: the shared-string table and a worksheet row (xml/xml_child_order.hpp places a new child by
// it).
#pragma once

#include "core/xml/xml_child_order.hpp"

namespace pelvane {

// SpreadsheetML sst: si*, extLst?
inline constexpr ChildRank kSharedStringsChildren[] = {{"si", 0}, {"extLst", 1}};

// SpreadsheetML row: c*, extLst?
inline constexpr ChildRank kSheetRowChildren[] = {{"c", 0}, {"extLst", 1}};

}  // namespace pelvane
