// Shape functions, in two tables: placeholders, auto shapes and connectors on a slide
// (kShapesFunctions); auto shapes and connectors inside groups, groups, and freeforms
// (kGroupsAndFreeformsFunctions, registered after the text boxes).
//
// Adding a function: the README, "Adding a function, an edit kind, a ZIP feature".
#include <array>

#include "core/shapes/shape_operations_by_target.hpp"
#include "core/slides/placeholder_operations.hpp"
#include "native/binder.hpp"
#include "native/function_tables.hpp"
#include "native/params.hpp"
#include "native/results.hpp"

namespace pelvane::native {
namespace {

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
    engine_row<add_slide_auto_shape_impl, kAutoShapeParams, Absent<8, 9>>(
        "add_slide_auto_shape_json"),
    engine_row<add_slide_auto_shape_impl, kAutoShapeWithTextParams, Absent<9>>(
        "add_slide_auto_shape_with_text_json"),
    engine_row<add_slide_auto_shape_impl, kAutoShapeWithOptionsParams>(
        "add_slide_auto_shape_with_options_json"),
    engine_row<add_slide_connector, kConnectorParams, Absent<8, 9, 10, 11>>(
        "add_slide_connector_json"),
    engine_row<add_slide_connected_connector, kConnectedConnectorParams>(
        "add_slide_connected_connector_json"),
    engine_row<add_slide_connected_connector_with_auto_shapes, kConnectedShapesParams>(
        "add_slide_connected_connector_with_auto_shapes_json"),
});

constexpr auto kGroupsAndFreeformsFunctions = std::to_array<FunctionDecl>({
    engine_row<add_slide_group_auto_shape_with_text, kGroupAutoShapeParams, Absent<10>>(
        "add_slide_group_auto_shape_with_text_json"),
    engine_row<add_slide_nested_group_auto_shape_with_text, kNestedGroupAutoShapeParams,
               Absent<11>>("add_slide_nested_group_auto_shape_with_text_json"),
    engine_row<add_slide_deeper_nested_group_auto_shape_with_text,
               kDeeperNestedGroupAutoShapeParams, Absent<12>>(
        "add_slide_deeper_nested_group_auto_shape_with_text_json"),
    engine_row<add_slide_nested_group_auto_shape_in_new_group_with_text, kGroupAutoShapeParams,
               Absent<10>>("add_slide_nested_group_auto_shape_in_new_group_with_text_json"),
    engine_row<add_slide_group_connector_impl, kGroupConnectorParams, Absent<9, 10, 11, 12>>(
        "add_slide_group_connector_json"),
    engine_row<add_slide_group_connector_impl, kConnectedGroupConnectorParams>(
        "add_slide_connected_group_connector_json"),
    engine_row<add_slide_connected_group_connector_with_auto_shapes, kConnectedGroupShapesParams>(
        "add_slide_connected_group_connector_with_auto_shapes_json"),
    engine_row<add_slide_nested_group_connector, kNestedGroupConnectorParams,
               Absent<10, 11, 12, 13>>("add_slide_nested_group_connector_json"),
    engine_row<add_slide_deeper_nested_group_connector, kDeeperNestedGroupConnectorParams,
               Absent<11, 12, 13, 14>>("add_slide_deeper_nested_group_connector_json"),
    engine_row<add_slide_nested_group_connector_in_new_group, kGroupConnectorParams,
               Absent<9, 10, 11, 12>>("add_slide_nested_group_connector_in_new_group_json"),
    engine_row<add_slide_group_shape, kInputOutputSlide>("add_slide_group_shape_json"),
    engine_row<add_slide_nested_group_shape, kGroupParams>("add_slide_nested_group_shape_json"),
    engine_row<add_slide_group_shape_to_nested_group, kNestedGroupParams>(
        "add_slide_group_shape_to_nested_group_json"),
    engine_row<add_slide_group_shape_to_deeper_nested_group, kDeeperNestedGroupParams>(
        "add_slide_group_shape_to_deeper_nested_group_json"),
    engine_row<group_slide_existing_group_children, kGatherParams>(
        "group_slide_existing_group_children_json"),
    engine_row<group_slide_existing_nested_group_children, kNestedGatherParams>(
        "group_slide_existing_nested_group_children_json"),
    engine_row<group_slide_existing_deeper_nested_group_children, kDeeperNestedGatherParams>(
        "group_slide_existing_deeper_nested_group_children_json"),
    engine_row<add_slide_freeform_shape_impl, kFreeformParams, Absent<10>>(
        "add_slide_freeform_shape_json"),
    engine_row<add_slide_freeform_shape_impl, kFreeformWithTextParams>(
        "add_slide_freeform_shape_with_text_json"),
    engine_row<add_slide_group_freeform_shape_with_text, kGroupFreeformParams>(
        "add_slide_group_freeform_shape_with_text_json"),
    engine_row<add_slide_nested_group_freeform_shape_with_text, kNestedGroupFreeformParams>(
        "add_slide_nested_group_freeform_shape_with_text_json"),
    engine_row<add_slide_deeper_nested_group_freeform_shape_with_text,
               kDeeperNestedGroupFreeformParams>(
        "add_slide_deeper_nested_group_freeform_shape_with_text_json"),
    engine_row<add_slide_nested_group_freeform_shape_in_new_group_with_text, kGroupFreeformParams>(
        "add_slide_nested_group_freeform_shape_in_new_group_with_text_json"),
});

}  // namespace

int register_native_shapes(PyObject* module) { return register_table<kShapesFunctions>(module); }

int register_native_groups_and_freeforms(PyObject* module) {
  return register_table<kGroupsAndFreeformsFunctions>(module);
}

}  // namespace pelvane::native
