// The schema order of the children of the DrawingML elements that slide edits add children to:
// paragraphs, their properties, character properties, text bodies and table rows
// (xml/xml_child_order.hpp places a new child by it).
#pragma once

#include "core/xml/xml_child_order.hpp"

namespace pelvane {

// a:p: pPr?, (r | br | fld)*, endParaRPr?
inline constexpr ChildRank kParagraphChildren[] = {
    {"pPr", 0}, {"r", 1}, {"br", 1}, {"fld", 1}, {"endParaRPr", 2},
};

// a:rPr, a:defRPr and a:endParaRPr (one schema type): ln?, fill?, effect?, highlight?, uLn?,
// uFill?, latin?, ea?, cs?, sym?, hlinkClick?, hlinkMouseOver?, rtl?, extLst?
inline constexpr ChildRank kCharacterPropertiesChildren[] = {
    {"ln", 0},       {"noFill", 1},  {"solidFill", 1}, {"gradFill", 1},    {"blipFill", 1},
    {"pattFill", 1}, {"grpFill", 1}, {"effectLst", 2}, {"effectDag", 2},   {"highlight", 3},
    {"uLnTx", 4},    {"uLn", 4},     {"uFillTx", 5},   {"uFill", 5},       {"latin", 6},
    {"ea", 7},       {"cs", 8},      {"sym", 9},       {"hlinkClick", 10}, {"hlinkMouseOver", 11},
    {"rtl", 12},     {"extLst", 13},
};

// a:pPr: lnSpc?, spcBef?, spcAft?, bullet colour, size, font and kind, tabLst?, defRPr?, extLst?
inline constexpr ChildRank kParagraphPropertiesChildren[] = {
    {"lnSpc", 0},  {"spcBef", 1},    {"spcAft", 2},  {"buClrTx", 3},  {"buClr", 3},
    {"buSzTx", 4}, {"buSzPct", 4},   {"buSzPts", 4}, {"buFontTx", 5}, {"buFont", 5},
    {"buNone", 6}, {"buAutoNum", 6}, {"buChar", 6},  {"buBlip", 6},   {"tabLst", 7},
    {"defRPr", 8}, {"extLst", 9},
};

// a:bodyPr: prstTxWarp?, autofit?, scene3d?, (sp3d | flatTx)?, extLst?
inline constexpr ChildRank kBodyPropertiesChildren[] = {
    {"prstTxWarp", 0}, {"noAutofit", 1}, {"normAutofit", 1}, {"spAutoFit", 1},
    {"scene3d", 2},    {"sp3d", 3},      {"flatTx", 3},      {"extLst", 4},
};

// a:tr: tc*, extLst?
inline constexpr ChildRank kTableRowChildren[] = {{"tc", 0}, {"extLst", 1}};

}  // namespace pelvane
