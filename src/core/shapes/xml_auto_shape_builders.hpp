// Auto shapes: the table of accepted preset geometries and the shape fragment with its optional
// text and adjustment guides.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/input_models.hpp"
#include "core/pml/xml_builders.hpp"

namespace pelvane {

// The display name that starts a new auto shape's `name` ("Rectangle", "Oval", "Auto Shape",
// ...), or `InvalidInput` "unsupported auto shape preset geometry: {0}". The preset is compared
// byte for byte; line and connector presets are refused.
Result<std::string_view> auto_shape_display_name(std::string_view preset_geometry);

// The `a:gd` elements of the guides, in list order; empty for no guides. Names are escaped for
// the attribute, so any name yields well-formed XML.
std::string adjustment_guides_xml(std::span<const AdjustmentGuide> guides);

// What an auto shape is made of, apart from its id.
struct AutoShapeArgs {
  std::string_view preset_geometry;
  EmuBox box;
  // Absent: one centred empty paragraph. Present (even empty): one paragraph per line.
  std::optional<std::string_view> text;
  std::span<const AdjustmentGuide> adjustment_guides;
};

// The text body of a shape styled like an auto shape: absent text is one centred empty
// paragraph, present text (even empty) one paragraph per line. Fails when the text holds a
// character XML cannot carry.
Result<std::string> styled_shape_paragraphs(std::optional<std::string_view> text);

// Appends what follows a styled shape's geometry: the end of its shape properties, the accent
// style, the centred text body holding `paragraphs`, and the end of the shape.
void append_styled_shape_end(std::string& xml, std::string_view paragraphs);

// The `p:sp` fragment of one auto shape named "{display_name} {id - 1}". Fails when the preset
// is not in the table or the text or a guide name holds a character XML cannot carry.
Result<std::string> auto_shape_xml(std::uint64_t shape_id, std::string_view display_name,
                                   const AutoShapeArgs& args);

}  // namespace pelvane
