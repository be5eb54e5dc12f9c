// Shape functions: placeholders, auto shapes and connectors on a slide.
//
// Adding a function is one row in kShapesFunctions, in registration order. While the table is
// empty it is a std::array of size 0; with the first row write it as
//
//   constexpr auto kShapesFunctions = std::to_array<FunctionDecl>({
//       {"add_slide_placeholder_shapes_json", kPlaceholderShapesParams, [](Args& a) {
//            return json_result(add_slide_placeholder_shapes(
//                a.str(0), a.str(1), a.index(2), a.json<std::vector<PlaceholderShapeSpec>>(3))); }},
//   });
//
// where kPlaceholderShapesParams ends with json_param<parse_placeholder_specs>("placeholders_json").
//
// Parameters are {name, Kind} with Presence::NoneOk for "X or None"; a JSON parameter is
// json_param<reader>("name") and its parsed value is a.json<T>(i) (see binder.hpp). Only
// functions whose engine operation exists are listed; keep python/pelvane/pelvane_native.pyi
// in step.
#include <array>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/json_in.hpp"
#include "core/package_mutation_shapes.hpp"
#include "native/binder.hpp"
#include "native/groups.hpp"
#include "native/results.hpp"

namespace pelvane::native {
namespace {

std::expected<std::vector<AdjustmentGuide>, std::string> read_adjustment_guides(
    std::string_view text) {
  auto guides = parse_adjustment_guides(text);
  if (!guides) return std::unexpected(guides.error().text());
  return std::move(*guides);
}

constexpr Param kAutoShapeParams[] = {
    {"input", Kind::Str},  {"output", Kind::Str}, {"slide_index", Kind::Index},
    {"preset_geometry", Kind::Str}, {"x_emu", Kind::U64}, {"y_emu", Kind::U64},
    {"cx_emu", Kind::U64}, {"cy_emu", Kind::U64},
};
constexpr Param kAutoShapeWithTextParams[] = {
    {"input", Kind::Str},  {"output", Kind::Str}, {"slide_index", Kind::Index},
    {"preset_geometry", Kind::Str}, {"x_emu", Kind::U64}, {"y_emu", Kind::U64},
    {"cx_emu", Kind::U64}, {"cy_emu", Kind::U64}, {"text", Kind::Str},
};
constexpr Param kAutoShapeWithOptionsParams[] = {
    {"input", Kind::Str},
    {"output", Kind::Str},
    {"slide_index", Kind::Index},
    {"preset_geometry", Kind::Str},
    {"x_emu", Kind::U64},
    {"y_emu", Kind::U64},
    {"cx_emu", Kind::U64},
    {"cy_emu", Kind::U64},
    {"text", Kind::Str, Presence::NoneOk},
    json_param<read_adjustment_guides>("adjustment_guides_json"),
};

constexpr auto kShapesFunctions = std::to_array<FunctionDecl>({
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
});

}  // namespace

int register_native_shapes(PyObject* module) {
  return register_functions<kShapesFunctions>(module);
}

}  // namespace pelvane::native
