// Shape functions: placeholders, auto shapes and connectors on a slide.
//
// Adding a function is one row in kShapesFunctions, in registration order. A function that
// passes its arguments straight to its engine operation is an engine_row; one that adds fixed
// arguments is a row with its own call. A JSON parameter is json_param<reader>("name") and its
// parsed value is a.json<T>(i) (see binder.hpp). Keep python/pelvane/pelvane_native.pyi in step.
#include <array>
#include <optional>
#include <vector>

#include "core/json/json_in.hpp"
#include "core/shapes/package_mutation_connectors.hpp"
#include "core/shapes/package_mutation_shapes.hpp"
#include "core/slides/package_mutation_slides.hpp"
#include "native/binder.hpp"
#include "native/groups.hpp"
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
    {"add_slide_placeholder_shape_json", kPlaceholderShapeParams,
     [](Args& a) {
       return json_result(add_slide_placeholder_shape(a.str(0), a.str(1), a.index(2), a.str(3),
                                                      a.str(4), a.optional_str(5),
                                                      a.optional_str(6)));
     }},
    engine_row<&add_slide_placeholder_shapes, kPlaceholderShapesParams>(
        "add_slide_placeholder_shapes_json"),
    engine_row<&add_slide_layout_placeholders, kLayoutPlaceholdersParams>(
        "add_slide_layout_placeholders_json"),
    {"add_slide_auto_shape_json", kAutoShapeParams,
     [](Args& a) {
       return json_result(add_slide_auto_shape_impl(a.str(0), a.str(1), a.index(2), a.str(3),
                                                    a.u64(4), a.u64(5), a.u64(6), a.u64(7),
                                                    std::nullopt, {}));
     }},
    {"add_slide_auto_shape_with_text_json", kAutoShapeWithTextParams,
     [](Args& a) {
       return json_result(add_slide_auto_shape_impl(a.str(0), a.str(1), a.index(2), a.str(3),
                                                    a.u64(4), a.u64(5), a.u64(6), a.u64(7),
                                                    a.str(8), {}));
     }},
    {"add_slide_auto_shape_with_options_json", kAutoShapeWithOptionsParams,
     [](Args& a) {
       return json_result(add_slide_auto_shape_impl(
           a.str(0), a.str(1), a.index(2), a.str(3), a.u64(4), a.u64(5), a.u64(6), a.u64(7),
           a.optional_str(8), a.json<std::vector<AdjustmentGuide>>(9)));
     }},
    engine_row<&add_slide_connector, kConnectorParams>("add_slide_connector_json"),
    engine_row<&add_slide_connected_connector, kConnectedConnectorParams>(
        "add_slide_connected_connector_json"),
    engine_row<&add_slide_connected_connector_with_auto_shapes, kConnectedShapesParams>(
        "add_slide_connected_connector_with_auto_shapes_json"),
});

}  // namespace

int register_native_shapes(PyObject* module) {
  return register_functions<kShapesFunctions>(module);
}

}  // namespace pelvane::native
