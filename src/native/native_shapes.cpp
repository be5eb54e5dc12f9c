// Shape functions, in two tables: placeholders, auto shapes and connectors on a slide
// (kShapesFunctions); auto shapes and connectors inside groups, groups, and freeforms
// (kGroupsAndFreeformsFunctions, registered after the text boxes).
//
// Adding a function is one engine_row in its table, in registration order; fixed absent
// arguments are named by their engine positions (Absent<8, 9>), and a JSON parameter is
// json_param<reader>("name") (see binder.hpp). Keep python/pelvane/pelvane_native.pyi in step.
#include <array>

#include "core/shapes/auto_shape_operations.hpp"
#include "core/shapes/connector_operations.hpp"
#include "core/shapes/freeform_operations.hpp"
#include "core/shapes/group_operations.hpp"
#include "core/slides/placeholder_operations.hpp"
#include "native/binder.hpp"
#include "native/function_tables.hpp"
#include "native/params.hpp"
#include "native/results.hpp"

namespace pelvane::native {
namespace {

// Rows of an operation at one kind of insertion target name the kind: at_target<&operation,
// Group> takes the group index after the slide index.
using enum InsertionTarget::Kind;

constexpr auto kPlaceholderShapeParams = join_params(kInputOutputSlide, kPlaceholderAttributes);
constexpr auto kPlaceholderShapesParams = join_params(kInputOutputSlide, kPlaceholderList);
constexpr auto kLayoutPlaceholdersParams = join_params(kInputOutputSlide, kLayout);
constexpr auto kAutoShapeParams = join_params(kInputOutputSlide, kPreset, kBox);
constexpr auto kAutoShapeWithTextParams = join_params(kInputOutputSlide, kPreset, kBox, kText);
constexpr auto kAutoShapeWithOptionsParams =
    join_params(kInputOutputSlide, kPreset, kBox, kOptionalTextAndGuides);

constexpr auto kConnectorParams = join_params(kInputOutputSlide, kConnector);
constexpr auto kConnectedConnectorParams = join_params(kInputOutputSlide, kConnector, kConnections);
constexpr auto kConnectedShapesParams = join_params(kInputOutputSlide, kConnectedShapes);

constexpr auto kGroupAutoShapeParams = join_params(kInputOutputSlide, kGroup, kPreset, kBox, kText);
constexpr auto kNestedGroupAutoShapeParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kPreset, kBox, kText);
constexpr auto kDeeperNestedGroupAutoShapeParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kDeeperGroup, kPreset, kBox, kText);

constexpr auto kGroupConnectorParams = join_params(kInputOutputSlide, kGroup, kConnector);
constexpr auto kConnectedGroupConnectorParams =
    join_params(kInputOutputSlide, kGroup, kConnector, kConnections);
constexpr auto kConnectedGroupShapesParams =
    join_params(kInputOutputSlide, kGroup, kConnectedShapes);
constexpr auto kNestedGroupConnectorParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kConnector);
constexpr auto kDeeperNestedGroupConnectorParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kDeeperGroup, kConnector);

constexpr auto kGroupParams = join_params(kInputOutputSlide, kGroup);
constexpr auto kNestedGroupParams = join_params(kInputOutputSlide, kGroup, kNestedGroup);
constexpr auto kDeeperNestedGroupParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kDeeperGroup);
constexpr auto kGatherParams = join_params(kInputOutputSlide, kGroup, kChildIndices);
constexpr auto kNestedGatherParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kChildIndices);
constexpr auto kDeeperNestedGatherParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kDeeperGroup, kChildIndices);

constexpr auto kFreeformParams = join_params(kInputOutputSlide, kFreeform);
constexpr auto kFreeformWithTextParams = join_params(kInputOutputSlide, kFreeform, kText);
constexpr auto kGroupFreeformParams = join_params(kInputOutputSlide, kGroup, kFreeform, kText);
constexpr auto kNestedGroupFreeformParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kFreeform, kText);
constexpr auto kDeeperNestedGroupFreeformParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kDeeperGroup, kFreeform, kText);

constexpr auto kShapesFunctions = std::to_array<FunctionDecl>({
    engine_row<&add_slide_placeholder_shape, kPlaceholderShapeParams>(
        "add_slide_placeholder_shape_json"),
    engine_row<&add_slide_placeholder_shapes, kPlaceholderShapesParams>(
        "add_slide_placeholder_shapes_json"),
    engine_row<&add_slide_layout_placeholders, kLayoutPlaceholdersParams>(
        "add_slide_layout_placeholders_json"),
    engine_row<at_target<&add_slide_auto_shape_with_target, Slide>, kAutoShapeParams, Absent<8, 9>>(
        "add_slide_auto_shape_json"),
    engine_row<at_target<&add_slide_auto_shape_with_target, Slide>,
               kAutoShapeWithTextParams, Absent<9>>(
        "add_slide_auto_shape_with_text_json"),
    engine_row<at_target<&add_slide_auto_shape_with_target, Slide>, kAutoShapeWithOptionsParams>(
        "add_slide_auto_shape_with_options_json"),
    engine_row<at_target<&add_slide_connector_with_target, Slide>,
               kConnectorParams, Absent<8, 9, 10, 11>>(
        "add_slide_connector_json"),
    engine_row<at_target<&add_slide_connector_with_target, Slide>, kConnectedConnectorParams>(
        "add_slide_connected_connector_json"),
    engine_row<at_target<&add_slide_connected_connector_with_auto_shapes_with_target, Slide>,
               kConnectedShapesParams>(
        "add_slide_connected_connector_with_auto_shapes_json"),
});

constexpr auto kGroupsAndFreeformsFunctions = std::to_array<FunctionDecl>({
    engine_row<at_target<&add_slide_auto_shape_with_target, Group>,
               kGroupAutoShapeParams, Absent<10>>(
        "add_slide_group_auto_shape_with_text_json"),
    engine_row<at_target<&add_slide_auto_shape_with_target, NestedGroup>,
               kNestedGroupAutoShapeParams, Absent<11>>(
        "add_slide_nested_group_auto_shape_with_text_json"),
    engine_row<at_target<&add_slide_auto_shape_with_target, DeeperNestedGroup>,
               kDeeperNestedGroupAutoShapeParams, Absent<12>>(
        "add_slide_deeper_nested_group_auto_shape_with_text_json"),
    engine_row<at_target<&add_slide_auto_shape_with_target, NewGroupInGroup>,
               kGroupAutoShapeParams, Absent<10>>(
        "add_slide_nested_group_auto_shape_in_new_group_with_text_json"),
    engine_row<at_target<&add_slide_connector_with_target, Group>,
               kGroupConnectorParams, Absent<9, 10, 11, 12>>(
        "add_slide_group_connector_json"),
    engine_row<at_target<&add_slide_connector_with_target, Group>, kConnectedGroupConnectorParams>(
        "add_slide_connected_group_connector_json"),
    engine_row<at_target<&add_slide_connected_connector_with_auto_shapes_with_target, Group>,
               kConnectedGroupShapesParams>(
        "add_slide_connected_group_connector_with_auto_shapes_json"),
    engine_row<at_target<&add_slide_connector_with_target, NestedGroup>,
               kNestedGroupConnectorParams, Absent<10, 11, 12, 13>>(
        "add_slide_nested_group_connector_json"),
    engine_row<at_target<&add_slide_connector_with_target, DeeperNestedGroup>,
               kDeeperNestedGroupConnectorParams, Absent<11, 12, 13, 14>>(
        "add_slide_deeper_nested_group_connector_json"),
    engine_row<at_target<&add_slide_connector_with_target, NewGroupInGroup>,
               kGroupConnectorParams, Absent<9, 10, 11, 12>>(
        "add_slide_nested_group_connector_in_new_group_json"),
    engine_row<at_target<&add_slide_group_shape_with_target, Slide>, kInputOutputSlide>(
        "add_slide_group_shape_json"),
    engine_row<at_target<&add_slide_group_shape_with_target, Group>, kGroupParams>(
        "add_slide_nested_group_shape_json"),
    engine_row<at_target<&add_slide_group_shape_with_target, NestedGroup>, kNestedGroupParams>(
        "add_slide_group_shape_to_nested_group_json"),
    engine_row<at_target<&add_slide_group_shape_with_target, DeeperNestedGroup>,
               kDeeperNestedGroupParams>(
        "add_slide_group_shape_to_deeper_nested_group_json"),
    engine_row<at_target<&group_slide_existing_children_with_target, Group>, kGatherParams>(
        "group_slide_existing_group_children_json"),
    engine_row<at_target<&group_slide_existing_children_with_target, NestedGroup>,
               kNestedGatherParams>(
        "group_slide_existing_nested_group_children_json"),
    engine_row<at_target<&group_slide_existing_children_with_target, DeeperNestedGroup>,
               kDeeperNestedGatherParams>(
        "group_slide_existing_deeper_nested_group_children_json"),
    engine_row<at_target<&add_slide_freeform_shape_with_target, Slide>,
               kFreeformParams, Absent<10>>(
        "add_slide_freeform_shape_json"),
    engine_row<at_target<&add_slide_freeform_shape_with_target, Slide>, kFreeformWithTextParams>(
        "add_slide_freeform_shape_with_text_json"),
    engine_row<at_target<&add_slide_freeform_shape_with_target, Group>, kGroupFreeformParams>(
        "add_slide_group_freeform_shape_with_text_json"),
    engine_row<at_target<&add_slide_freeform_shape_with_target, NestedGroup>,
               kNestedGroupFreeformParams>(
        "add_slide_nested_group_freeform_shape_with_text_json"),
    engine_row<at_target<&add_slide_freeform_shape_with_target, DeeperNestedGroup>,
               kDeeperNestedGroupFreeformParams>(
        "add_slide_deeper_nested_group_freeform_shape_with_text_json"),
    engine_row<at_target<&add_slide_freeform_shape_with_target, NewGroupInGroup>,
               kGroupFreeformParams>(
        "add_slide_nested_group_freeform_shape_in_new_group_with_text_json"),
});

}  // namespace

int register_native_shapes(PyObject* module) { return register_table<kShapesFunctions>(module); }

int register_native_groups_and_freeforms(PyObject* module) {
  return register_table<kGroupsAndFreeformsFunctions>(module);
}

}  // namespace pelvane::native
