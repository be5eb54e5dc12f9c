// Pieces of markup that several shape fragments write alike.
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>

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

// Appends ` {name}="{value}"`, the number in decimal (a signed one with its sign).
template <std::integral Number>
void append_number_attribute(std::string& xml, std::string_view name, Number value) {
  xml += ' ';
  xml += name;
  xml += "=\"";
  xml += std::to_string(value);
  xml += '"';
}

// Appends a new shape's `<p:cNvPr id="{id}" name="{stem} {n}"/>`: its default name numbers it
// by the id before its own (0 for id 0). The stem is written as given.
inline void append_new_shape_cnvpr(std::string& xml, std::uint64_t shape_id,
                                   std::string_view name_stem) {
  xml += "<p:cNvPr";
  append_number_attribute(xml, "id", shape_id);
  xml += " name=\"";
  xml += name_stem;
  xml += ' ';
  xml += std::to_string(shape_id == 0 ? 0 : shape_id - 1);
  xml += "\"/>";
}

// Appends the offset and extent of a frame (anything with `x`, `y`, `cx`, `cy`):
// `<a:{offset} x y/><a:{extent} cx cy/>`, the numbers in decimal (signed ones with their sign).
template <class Frame>
void append_offset_extent(std::string& xml, const Frame& frame, std::string_view offset = "off",
                          std::string_view extent = "ext") {
  xml += "<a:";
  xml += offset;
  append_number_attribute(xml, "x", frame.x);
  append_number_attribute(xml, "y", frame.y);
  xml += "/><a:";
  xml += extent;
  append_number_attribute(xml, "cx", frame.cx);
  append_number_attribute(xml, "cy", frame.cy);
  xml += "/>";
}

// Appends a shape's own transform: `<a:xfrm><a:off x y/><a:ext cx cy/></a:xfrm>`.
template <std::integral Number>
void append_xfrm(std::string& xml, const ShapeFrame<Number>& frame) {
  xml += "<a:xfrm>";
  append_offset_extent(xml, frame);
  xml += "</a:xfrm>";
}

// Appends the start of a new `p:sp` up to its geometry: its non-visual properties (the cNvPr of
// `append_new_shape_cnvpr`, then `cnvsppr`, its own `p:cNvSpPr` element) and the transform
// opening its shape properties.
template <std::integral Number>
void append_shape_start(std::string& xml, std::uint64_t shape_id, std::string_view name_stem,
                        std::string_view cnvsppr, const ShapeFrame<Number>& frame) {
  xml += "<p:sp><p:nvSpPr>";
  append_new_shape_cnvpr(xml, shape_id, name_stem);
  xml += cnvsppr;
  xml += "<p:nvPr/></p:nvSpPr><p:spPr>";
  append_xfrm(xml, frame);
}

}  // namespace pelvane
