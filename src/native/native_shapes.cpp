// Shape functions: placeholders, auto shapes and connectors on a slide.
//
// Adding a function is one engine_row in kShapesFunctions, in registration order; fixed absent
// arguments are named by their engine positions (Absent<8, 9>), and a JSON parameter is
// json_param<reader>("name") (see binder.hpp). Keep python/pelvane/pelvane_native.pyi in step.
#include <array>

#include "core/json/json_in.hpp"
#include "core/shapes/connector_operations.hpp"
#include "core/shapes/auto_shape_operations.hpp"
#include "core/slides/placeholder_operations.hpp"
#include "native/binder.hpp"
#include "native/function_tables.hpp"
#include "native/results.hpp"
#include "native/shape_params.hpp"

namespace pelvane::native {
namespace {

constexpr Param kOptionalTextAndGuides[] = {
    {"text", Kind::Str, Presence::NoneOk},
    json_param<parse_adjustment_guides>("adjustment_guides_json"),
};

constexpr Param kPlaceholderAttributes[] = {
    {"placeholder_type", Kind::Str},
    {"placeholder_orient", Kind::Str},
    {"placeholder_size", Kind::Str, Presence::NoneOk},
    {"placeholder_idx", Kind::Str, Presence::NoneOk},
};
constexpr Param kPlaceholderList[] = {json_param<parse_placeholder_specs>("placeholders_json")};
constexpr Param kLayout[] = {{"layout_index", Kind::Index}};

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

constexpr auto kShapesFunctions = std::to_array<FunctionDecl>({
    engine_row<&add_slide_placeholder_shape, kPlaceholderShapeParams>(
        "add_slide_placeholder_shape_json"),
    engine_row<&add_slide_placeholder_shapes, kPlaceholderShapesParams>(
        "add_slide_placeholder_shapes_json"),
    engine_row<&add_slide_layout_placeholders, kLayoutPlaceholdersParams>(
        "add_slide_layout_placeholders_json"),
    engine_row<&add_slide_auto_shape_impl, kAutoShapeParams, Absent<8, 9>>(
        "add_slide_auto_shape_json"),
    engine_row<&add_slide_auto_shape_impl, kAutoShapeWithTextParams, Absent<9>>(
        "add_slide_auto_shape_with_text_json"),
    engine_row<&add_slide_auto_shape_impl, kAutoShapeWithOptionsParams>(
        "add_slide_auto_shape_with_options_json"),
    engine_row<&add_slide_connector, kConnectorParams>("add_slide_connector_json"),
    engine_row<&add_slide_connected_connector, kConnectedConnectorParams>(
        "add_slide_connected_connector_json"),
    engine_row<&add_slide_connected_connector_with_auto_shapes, kConnectedShapesParams>(
        "add_slide_connected_connector_with_auto_shapes_json"),
});

}  // namespace

int register_native_shapes(PyObject* module) { return register_table<kShapesFunctions>(module); }

}  // namespace pelvane::native
