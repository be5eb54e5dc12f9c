// The pieces the module's parameter lists are joined from, one meaning per name. A function's
// list is joined from them in signature order: join_params(kInputOutputSlide, kGroup, kBox,
// kText). A list used by one row only may be written out beside that row.
#pragma once

#include "core/json/json_in.hpp"
#include "native/binder.hpp"

namespace pelvane::native {

// ---- Packages and slides ----

constexpr Param kInputOutput[] = {{"input", Kind::Str}, {"output", Kind::Str}};
constexpr Param kInputOutputSlide[] = {
    {"input", Kind::Str}, {"output", Kind::Str}, {"slide_index", Kind::Index}};
constexpr Param kLayout[] = {{"layout_index", Kind::Index}};

// ---- Where a new shape goes: the group address, one level per piece ----

constexpr Param kGroup[] = {{"group_index", Kind::Index}};
constexpr Param kNestedGroup[] = {{"nested_group_child_index", Kind::Index}};
constexpr Param kDeeperGroup[] = {{"deeper_group_child_index", Kind::Index}};
constexpr Param kChildIndices[] = {{"child_indices", Kind::IndexList}};

// ---- Shapes ----

constexpr Param kPreset[] = {{"preset_geometry", Kind::Str}};
// Offset of the top-left corner, then extent, in EMU.
constexpr Param kBox[] = {
    {"x_emu", Kind::U64}, {"y_emu", Kind::U64}, {"cx_emu", Kind::U64}, {"cy_emu", Kind::U64}};
constexpr Param kText[] = {{"text", Kind::Str}};
constexpr Param kOptionalTextAndGuides[] = {
    {"text", Kind::Str, Presence::NoneOk},
    json_param<parse_adjustment_guides>("adjustment_guides_json"),
};
// A freeform's frame and path frame (signed), then its path steps.
constexpr Param kFreeform[] = {{"x_emu", Kind::I64},
                               {"y_emu", Kind::I64},
                               {"cx_emu", Kind::I64},
                               {"cy_emu", Kind::I64},
                               {"path_w", Kind::I64},
                               {"path_h", Kind::I64},
                               json_param<parse_freeform_operations>("operations_json")};

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

// ---- Placeholders ----

constexpr Param kPlaceholderAttributes[] = {
    {"placeholder_type", Kind::Str},
    {"placeholder_orient", Kind::Str},
    {"placeholder_size", Kind::Str, Presence::NoneOk},
    {"placeholder_idx", Kind::Str, Presence::NoneOk},
};
constexpr Param kPlaceholderList[] = {json_param<parse_placeholder_specs>("placeholders_json")};

// ---- Media ----

// The image relationship to point elsewhere, and the new image.
constexpr Param kImageReplacement[] = {{"relationship_id", Kind::Str}, {"image_path", Kind::Str}};
constexpr Param kImage[] = {{"image_path", Kind::Str}};
constexpr Param kMovie[] = {{"movie_path", Kind::Str}, {"poster_frame_path", Kind::Str}};
constexpr Param kMimeType[] = {{"mime_type", Kind::Str}};
constexpr Param kObject[] = {{"object_path", Kind::Str}, {"prog_id", Kind::Str}};
constexpr Param kIcon[] = {{"icon_path", Kind::Str, Presence::NoneOk},
                           {"icon_cx_emu", Kind::U64},
                           {"icon_cy_emu", Kind::U64}};

// ---- Text ----

constexpr Param kSearch[] = {{"search", Kind::Str}};
// The new text of what is addressed.
constexpr Param kReplacement[] = {{"replacement", Kind::Str}};
constexpr Param kRunIndex[] = {{"run_index", Kind::Index}};
constexpr Param kShapeIndex[] = {{"shape_index", Kind::Index}};
constexpr Param kParagraphIndex[] = {{"paragraph_index", Kind::Index}};

// ---- Tables ----

constexpr Param kCellAddress[] = {
    {"table_index", Kind::Index}, {"row_index", Kind::Index}, {"col_index", Kind::Index}};
// A new table's size; its frame is a kBox.
constexpr Param kTableSize[] = {{"rows", Kind::Index}, {"cols", Kind::Index}};
constexpr Param kCellTexts[] = {json_param<parse_cell_texts>("cell_texts_json")};

}  // namespace pelvane::native
