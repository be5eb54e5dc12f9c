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

// A connector's preset and its two end points, in EMU.
constexpr Param kConnector[] = {{"preset_geometry", Kind::Str},
                                {"begin_x_emu", Kind::U64},
                                {"begin_y_emu", Kind::U64},
                                {"end_x_emu", Kind::U64},
                                {"end_y_emu", Kind::U64}};
// Where each end is glued: a shape id and its connection site, each or both None.
constexpr Param kConnections[] = {{"begin_shape_id", Kind::U64, Presence::NoneOk},
                                  {"begin_cxn_pt_idx", Kind::U64, Presence::NoneOk},
                                  {"end_shape_id", Kind::U64, Presence::NoneOk},
                                  {"end_cxn_pt_idx", Kind::U64, Presence::NoneOk}};
// Two new auto shapes and the connector glued to both.
constexpr Param kConnectedShapes[] = {{"begin_preset_geometry", Kind::Str},
                                      {"begin_x_emu", Kind::U64},
                                      {"begin_y_emu", Kind::U64},
                                      {"begin_cx_emu", Kind::U64},
                                      {"begin_cy_emu", Kind::U64},
                                      {"end_preset_geometry", Kind::Str},
                                      {"end_x_emu", Kind::U64},
                                      {"end_y_emu", Kind::U64},
                                      {"end_cx_emu", Kind::U64},
                                      {"end_cy_emu", Kind::U64},
                                      {"connector_preset_geometry", Kind::Str},
                                      {"connector_begin_x_emu", Kind::U64},
                                      {"connector_begin_y_emu", Kind::U64},
                                      {"connector_end_x_emu", Kind::U64},
                                      {"connector_end_y_emu", Kind::U64},
                                      {"begin_cxn_pt_idx", Kind::U64},
                                      {"end_cxn_pt_idx", Kind::U64}};

}  // namespace pelvane::native
