// Placeholder shapes: building a new one from its four "p:ph" attributes, and reading the
// placeholders of a slide layout, either as specifications or as emptied copies.
//
// Layout shapes are found as the blocks from each "<p:sp>" (written without attributes) to the
// next "</p:sp>"; the date, footer and slide-number placeholders are never taken.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"
#include "core/model/input_models.hpp"

namespace pelvane {

// The base of a placeholder's name, from its type (absent: "obj"): "Title", "Subtitle",
// "Text Placeholder", ... "Content Placeholder" for any type without a word of its own;
// "Vertical {base}" when the orientation is exactly "vert".
std::string placeholder_base_name(std::optional<std::string_view> type,
                                  std::optional<std::string_view> orient);

// The placeholder shape with `shape_id` and `name` (escaped here): an empty text body, no shape
// properties, and a "p:ph" carrying type, orient, sz and idx in this order, each only when
// present, not empty and not its default ("obj", "horz", "full", "0"), escaped. A value holding
// a character XML cannot carry is refused by `check_xml_text`.
Result<std::string> placeholder_shape_xml(std::uint64_t shape_id, std::string_view name,
                                          const PlaceholderShapeSpec& spec);

// The name of a placeholder that `slide_xml` receives with `shape_id`: the base name and a
// number, starting from the id minus one (0 for id 0), raised past every "name" of a
// "<p:cNvPr" tag already in the slide (compared as written).
std::string placeholder_shape_name(std::string_view slide_xml, std::uint64_t shape_id,
                                   const PlaceholderShapeSpec& spec);

// The specifications of the layout's placeholders, in document order: the four attributes of
// each block's first "<p:ph" tag, raw as written.
std::vector<PlaceholderShapeSpec> placeholder_specs_from_layout_xml(std::string_view layout_xml);

// The layout's placeholder blocks, emptied for a new slide: the first "p:spPr" becomes
// "<p:spPr/>" and the first "p:txBody" an empty body of one paragraph; ids, names, locks and
// the "p:ph" tag stay as written. Blocks that mention type="dt", type="ftr" or type="sldNum"
// anywhere are left out.
std::vector<std::string> extract_placeholder_shape_blocks(std::string_view layout_xml);

}  // namespace pelvane
