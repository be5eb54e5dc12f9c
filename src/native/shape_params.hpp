// Parameter pieces shared by the functions that add a shape to a slide. A function's list is
// joined from them in signature order: join_params(kInputOutputSlide, kGroup, kBox, kText).
#pragma once

#include "native/binder.hpp"

namespace pelvane::native {

constexpr Param kInputOutputSlide[] = {
    {"input", Kind::Str}, {"output", Kind::Str}, {"slide_index", Kind::Index}};
// The group address, one level per piece.
constexpr Param kGroup[] = {{"group_index", Kind::Index}};
constexpr Param kNestedGroup[] = {{"nested_group_child_index", Kind::Index}};
constexpr Param kDeeperGroup[] = {{"deeper_group_child_index", Kind::Index}};
constexpr Param kPreset[] = {{"preset_geometry", Kind::Str}};
// Offset of the top-left corner, then extent, in EMU.
constexpr Param kBox[] = {
    {"x_emu", Kind::U64}, {"y_emu", Kind::U64}, {"cx_emu", Kind::U64}, {"cy_emu", Kind::U64}};
constexpr Param kText[] = {{"text", Kind::Str}};

}  // namespace pelvane::native
