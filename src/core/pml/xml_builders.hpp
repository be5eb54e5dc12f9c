// Pieces of markup that several shape fragments write alike.
#pragma once

#include <concepts>
#include <string>

namespace pelvane {

// Appends a shape's own transform: `<a:xfrm><a:off x y/><a:ext cx cy/></a:xfrm>`, the numbers in
// decimal (signed ones with their sign).
template <std::integral Number>
void append_xfrm(std::string& xml, Number x, Number y, Number cx, Number cy) {
  xml += "<a:xfrm><a:off x=\"";
  xml += std::to_string(x);
  xml += "\" y=\"";
  xml += std::to_string(y);
  xml += "\"/><a:ext cx=\"";
  xml += std::to_string(cx);
  xml += "\" cy=\"";
  xml += std::to_string(cy);
  xml += "\"/></a:xfrm>";
}

}  // namespace pelvane
