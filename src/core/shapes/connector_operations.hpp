// Connector operations: a connector on the slide or inside a group at each depth, in a new
// group, or drawn together with the two new auto shapes it joins. Each checks its presets
// before anything touches the disk, then runs the common frame of shape_insertion.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/models.hpp"
#include "core/pml/shape_tree.hpp"

namespace pelvane {

// A connector at the target; each end glued when its shape id is given (to site 0 when its
// site index is not), free otherwise. In a new group (the largest id plus one) the connector
// takes the id after the group's.
Result<ConnectorAddSummary> add_slide_connector_with_target(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    const InsertionTarget& target, std::string_view preset_geometry, std::uint64_t begin_x_emu,
    std::uint64_t begin_y_emu, std::uint64_t end_x_emu, std::uint64_t end_y_emu,
    std::optional<std::uint64_t> begin_shape_id, std::optional<std::uint64_t> begin_cxn_pt_idx,
    std::optional<std::uint64_t> end_shape_id, std::optional<std::uint64_t> end_cxn_pt_idx);

// Two new auto shapes (the largest id plus one and plus two) and a connector (plus three) glued
// to both, as the last children of the target. The presets are checked in order: begin shape,
// end shape, connector. Reports the connector.
Result<ConnectorAddSummary> add_slide_connected_connector_with_auto_shapes_with_target(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    const InsertionTarget& target, std::string_view begin_preset_geometry,
    std::uint64_t begin_x_emu, std::uint64_t begin_y_emu, std::uint64_t begin_cx_emu,
    std::uint64_t begin_cy_emu, std::string_view end_preset_geometry, std::uint64_t end_x_emu,
    std::uint64_t end_y_emu, std::uint64_t end_cx_emu, std::uint64_t end_cy_emu,
    std::string_view connector_preset_geometry, std::uint64_t connector_begin_x_emu,
    std::uint64_t connector_begin_y_emu, std::uint64_t connector_end_x_emu,
    std::uint64_t connector_end_y_emu, std::uint64_t begin_cxn_pt_idx,
    std::uint64_t end_cxn_pt_idx);

}  // namespace pelvane
