// The shape operations by the names the module binds: each is its kind's operation at an
// insertion target (text_box_operations.hpp, auto_shape_operations.hpp, ...) fixed to one kind of
// target, taking the target's group indexes right after the slide index.
#pragma once

#include "core/pml/shape_tree.hpp"
#include "core/shapes/auto_shape_operations.hpp"
#include "core/shapes/connector_operations.hpp"
#include "core/shapes/freeform_operations.hpp"
#include "core/shapes/group_operations.hpp"
#include "core/shapes/text_box_operations.hpp"

namespace pelvane {

// Text boxes.
inline constexpr auto add_slide_text_box_impl =
    at_target<&add_slide_text_box_with_target, TargetKind::Slide>;
inline constexpr auto add_slide_group_text_box_with_text =
    at_target<&add_slide_text_box_with_target, TargetKind::Group>;
inline constexpr auto add_slide_nested_group_text_box_with_text =
    at_target<&add_slide_text_box_with_target, TargetKind::NestedGroup>;
inline constexpr auto add_slide_deeper_nested_group_text_box_with_text =
    at_target<&add_slide_text_box_with_target, TargetKind::DeeperNestedGroup>;
inline constexpr auto add_slide_nested_group_text_box_in_new_group_with_text =
    at_target<&add_slide_text_box_with_target, TargetKind::NewGroupInGroup>;

// Auto shapes.
inline constexpr auto add_slide_auto_shape_impl =
    at_target<&add_slide_auto_shape_with_target, TargetKind::Slide>;
inline constexpr auto add_slide_group_auto_shape_with_text =
    at_target<&add_slide_auto_shape_with_target, TargetKind::Group>;
inline constexpr auto add_slide_nested_group_auto_shape_with_text =
    at_target<&add_slide_auto_shape_with_target, TargetKind::NestedGroup>;
inline constexpr auto add_slide_deeper_nested_group_auto_shape_with_text =
    at_target<&add_slide_auto_shape_with_target, TargetKind::DeeperNestedGroup>;
inline constexpr auto add_slide_nested_group_auto_shape_in_new_group_with_text =
    at_target<&add_slide_auto_shape_with_target, TargetKind::NewGroupInGroup>;

// Freeforms.
inline constexpr auto add_slide_freeform_shape_impl =
    at_target<&add_slide_freeform_shape_with_target, TargetKind::Slide>;
inline constexpr auto add_slide_group_freeform_shape_with_text =
    at_target<&add_slide_freeform_shape_with_target, TargetKind::Group>;
inline constexpr auto add_slide_nested_group_freeform_shape_with_text =
    at_target<&add_slide_freeform_shape_with_target, TargetKind::NestedGroup>;
inline constexpr auto add_slide_deeper_nested_group_freeform_shape_with_text =
    at_target<&add_slide_freeform_shape_with_target, TargetKind::DeeperNestedGroup>;
inline constexpr auto add_slide_nested_group_freeform_shape_in_new_group_with_text =
    at_target<&add_slide_freeform_shape_with_target, TargetKind::NewGroupInGroup>;

// Connectors.
inline constexpr auto add_slide_connector =
    at_target<&add_slide_connector_with_target, TargetKind::Slide>;
inline constexpr auto add_slide_connected_connector =
    at_target<&add_slide_connector_with_target, TargetKind::Slide>;
inline constexpr auto add_slide_connected_connector_with_auto_shapes =
    at_target<&add_slide_connected_connector_with_auto_shapes_with_target, TargetKind::Slide>;
inline constexpr auto add_slide_group_connector_impl =
    at_target<&add_slide_connector_with_target, TargetKind::Group>;
inline constexpr auto add_slide_connected_group_connector_with_auto_shapes =
    at_target<&add_slide_connected_connector_with_auto_shapes_with_target, TargetKind::Group>;
inline constexpr auto add_slide_nested_group_connector =
    at_target<&add_slide_connector_with_target, TargetKind::NestedGroup>;
inline constexpr auto add_slide_deeper_nested_group_connector =
    at_target<&add_slide_connector_with_target, TargetKind::DeeperNestedGroup>;
inline constexpr auto add_slide_nested_group_connector_in_new_group =
    at_target<&add_slide_connector_with_target, TargetKind::NewGroupInGroup>;

// Groups and gathered children.
inline constexpr auto add_slide_group_shape =
    at_target<&add_slide_group_shape_with_target, TargetKind::Slide>;
inline constexpr auto add_slide_nested_group_shape =
    at_target<&add_slide_group_shape_with_target, TargetKind::Group>;
inline constexpr auto add_slide_group_shape_to_nested_group =
    at_target<&add_slide_group_shape_with_target, TargetKind::NestedGroup>;
inline constexpr auto add_slide_group_shape_to_deeper_nested_group =
    at_target<&add_slide_group_shape_with_target, TargetKind::DeeperNestedGroup>;
inline constexpr auto group_slide_existing_group_children =
    at_target<&group_slide_existing_children_with_target, TargetKind::Group>;
inline constexpr auto group_slide_existing_nested_group_children =
    at_target<&group_slide_existing_children_with_target, TargetKind::NestedGroup>;
inline constexpr auto group_slide_existing_deeper_nested_group_children =
    at_target<&group_slide_existing_children_with_target, TargetKind::DeeperNestedGroup>;

}  // namespace pelvane
