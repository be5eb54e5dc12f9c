// Pieces of markup that several shape fragments write alike.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>

namespace pelvane {

// The frame of a new shape: offset of its top-left corner, then extent, in EMU.
template <std::integral Number>
struct ShapeFrame {
  Number x = 0;
  Number y = 0;
  Number cx = 0;
  Number cy = 0;
};
using EmuBox = ShapeFrame<std::uint64_t>;
// A frame whose numbers are written with their sign (a negative size as given).
using SignedEmuBox = ShapeFrame<std::int64_t>;

// Appends a shape's own transform: `<a:xfrm><a:off x y/><a:ext cx cy/></a:xfrm>`, the numbers in
// decimal (signed ones with their sign).
template <std::integral Number>
void append_xfrm(std::string& xml, const ShapeFrame<Number>& frame) {
  xml += "<a:xfrm><a:off x=\"";
  xml += std::to_string(frame.x);
  xml += "\" y=\"";
  xml += std::to_string(frame.y);
  xml += "\"/><a:ext cx=\"";
  xml += std::to_string(frame.cx);
  xml += "\" cy=\"";
  xml += std::to_string(frame.cy);
  xml += "\"/></a:xfrm>";
}

}  // namespace pelvane
