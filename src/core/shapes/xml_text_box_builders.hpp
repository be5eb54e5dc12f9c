// Text boxes: a rectangle without fill or style whose frame does not wrap and grows to fit its
// text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/pml/xml_builders.hpp"

namespace pelvane {

struct TextBoxArgs {
  EmuBox box;
  // Absent: one empty paragraph "<a:p/>". Present (even empty): one paragraph per line.
  std::optional<std::string_view> text;
};

// The `p:sp` fragment of one text box named "TextBox {id - 1}". Fails only when the text
// holds a character XML cannot carry.
Result<std::string> text_box_shape_xml(std::uint64_t shape_id, const TextBoxArgs& args);

}  // namespace pelvane
