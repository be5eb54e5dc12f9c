// Pieces of markup that several shape fragments write alike.
#pragma once

#include <cstdint>
#include <string>

namespace pelvane {

// Appends a shape's own transform: `<a:xfrm><a:off x y/><a:ext cx cy/></a:xfrm>`.
inline void append_xfrm(std::string& xml, std::uint64_t x, std::uint64_t y, std::uint64_t cx,
                        std::uint64_t cy) {
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
