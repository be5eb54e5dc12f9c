// Connector operations: a connector on the slide or inside a group at each depth, in a new
// group, or drawn together with the two new auto shapes it joins. Each checks its presets
// before anything touches the disk, then runs the common frame of shape_insertion.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/models.hpp"

namespace pelvane {

// A free connector on the slide's shape tree.
Result<ConnectorAddSummary> add_slide_connector(std::string_view input, std::string_view output,
                                                std::uint64_t slide_index,
                                                std::string_view preset_geometry,
                                                std::uint64_t begin_x_emu,
                                                std::uint64_t begin_y_emu, std::uint64_t end_x_emu,
                                                std::uint64_t end_y_emu);

// On the slide's shape tree; each end glued when its shape id is given (to site 0 when its site
// index is not).
Result<ConnectorAddSummary> add_slide_connected_connector(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::string_view preset_geometry, std::uint64_t begin_x_emu, std::uint64_t begin_y_emu,
    std::uint64_t end_x_emu, std::uint64_t end_y_emu, std::optional<std::uint64_t> begin_shape_id,
    std::optional<std::uint64_t> begin_cxn_pt_idx, std::optional<std::uint64_t> end_shape_id,
    std::optional<std::uint64_t> end_cxn_pt_idx);

// Inside the `group_index`-th top-level group, free or glued as above.
Result<ConnectorAddSummary> add_slide_group_connector_impl(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::string_view preset_geometry, std::uint64_t begin_x_emu,
    std::uint64_t begin_y_emu, std::uint64_t end_x_emu, std::uint64_t end_y_emu,
    std::optional<std::uint64_t> begin_shape_id, std::optional<std::uint64_t> begin_cxn_pt_idx,
    std::optional<std::uint64_t> end_shape_id, std::optional<std::uint64_t> end_cxn_pt_idx);

Result<ConnectorAddSummary> add_slide_nested_group_connector(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::string_view preset_geometry, std::uint64_t begin_x_emu, std::uint64_t begin_y_emu,
    std::uint64_t end_x_emu, std::uint64_t end_y_emu);

Result<ConnectorAddSummary> add_slide_deeper_nested_group_connector(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t deeper_group_child_index, std::string_view preset_geometry,
    std::uint64_t begin_x_emu, std::uint64_t begin_y_emu, std::uint64_t end_x_emu,
    std::uint64_t end_y_emu);

// In a new group (the largest id plus one) placed as the last child of the `group_index`-th
// top-level group; reports the connector (plus two).
Result<ConnectorAddSummary> add_slide_nested_group_connector_in_new_group(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::string_view preset_geometry, std::uint64_t begin_x_emu,
    std::uint64_t begin_y_emu, std::uint64_t end_x_emu, std::uint64_t end_y_emu);

// Two new auto shapes (the largest id plus one and plus two) and a connector (plus three) glued
// to both, on the slide's shape tree. The presets are checked in order: begin shape, end shape,
// connector. Reports the connector.
Result<ConnectorAddSummary> add_slide_connected_connector_with_auto_shapes(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::string_view begin_preset_geometry, std::uint64_t begin_x_emu, std::uint64_t begin_y_emu,
    std::uint64_t begin_cx_emu, std::uint64_t begin_cy_emu, std::string_view end_preset_geometry,
    std::uint64_t end_x_emu, std::uint64_t end_y_emu, std::uint64_t end_cx_emu,
    std::uint64_t end_cy_emu, std::string_view connector_preset_geometry,
    std::uint64_t connector_begin_x_emu, std::uint64_t connector_begin_y_emu,
    std::uint64_t connector_end_x_emu, std::uint64_t connector_end_y_emu,
    std::uint64_t begin_cxn_pt_idx, std::uint64_t end_cxn_pt_idx);

// The same three shapes as the last children of the `group_index`-th top-level group.
Result<ConnectorAddSummary> add_slide_connected_group_connector_with_auto_shapes(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::string_view begin_preset_geometry, std::uint64_t begin_x_emu,
    std::uint64_t begin_y_emu, std::uint64_t begin_cx_emu, std::uint64_t begin_cy_emu,
    std::string_view end_preset_geometry, std::uint64_t end_x_emu, std::uint64_t end_y_emu,
    std::uint64_t end_cx_emu, std::uint64_t end_cy_emu, std::string_view connector_preset_geometry,
    std::uint64_t connector_begin_x_emu, std::uint64_t connector_begin_y_emu,
    std::uint64_t connector_end_x_emu, std::uint64_t connector_end_y_emu,
    std::uint64_t begin_cxn_pt_idx, std::uint64_t end_cxn_pt_idx);

}  // namespace pelvane
