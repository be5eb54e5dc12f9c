// Text boxes: a rectangle without fill or style whose frame does not wrap and grows to fit its
// text.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/error.hpp"

namespace pelvane {

struct TextBoxArgs {
  std::uint64_t x_emu = 0;
  std::uint64_t y_emu = 0;
  std::uint64_t cx_emu = 0;
  std::uint64_t cy_emu = 0;
  // Absent: one empty paragraph "<a:p/>". Present (even empty): one paragraph per line.
  std::optional<std::string_view> text;
};

// The `p:sp` fragment of one text box named "TextBox {id - 1}". Fails only when the text
// holds a character XML cannot carry.
Result<std::string> text_box_shape_xml(std::uint64_t shape_id, const TextBoxArgs& args);

}  // namespace pelvane
