// Text-box functions: text boxes on a slide, inside groups and in new groups.
//
// Adding a function is one row in kTextBoxesFunctions, in registration order. While the table is
// empty it is a std::array of size 0; with the first row write it as
//
//   constexpr auto kTextBoxesFunctions = std::to_array<FunctionDecl>({
//       {"add_slide_text_box_with_text_json", kTextBoxWithTextParams, [](Args& a) {
//            return json_result(add_slide_text_box_impl(a.str(0), a.str(1), a.index(2), a.u64(3),
//                                                       a.u64(4), a.u64(5), a.u64(6),
//                                                       std::optional(a.str(7)))); }},
//   });
//
// Parameters are {name, Kind} with Presence::NoneOk for "X or None"; a JSON parameter is
// json_param<reader>("name") and its parsed value is a.json<T>(i) (see binder.hpp). Only
// functions whose engine operation exists are listed; keep python/pelvane/pelvane_native.pyi
// in step.
#include <array>
#include <optional>

#include "core/package_mutation_shapes.hpp"
#include "native/binder.hpp"
#include "native/groups.hpp"
#include "native/results.hpp"

namespace pelvane::native {
namespace {

constexpr Param kTextBoxParams[] = {
    {"input", Kind::Str}, {"output", Kind::Str}, {"slide_index", Kind::Index},
    {"x_emu", Kind::U64}, {"y_emu", Kind::U64},  {"cx_emu", Kind::U64},
    {"cy_emu", Kind::U64},
};
constexpr Param kTextBoxWithTextParams[] = {
    {"input", Kind::Str}, {"output", Kind::Str}, {"slide_index", Kind::Index},
    {"x_emu", Kind::U64}, {"y_emu", Kind::U64},  {"cx_emu", Kind::U64},
    {"cy_emu", Kind::U64}, {"text", Kind::Str},
};
constexpr Param kGroupTextBoxParams[] = {
    {"input", Kind::Str},  {"output", Kind::Str}, {"slide_index", Kind::Index},
    {"group_index", Kind::Index}, {"x_emu", Kind::U64}, {"y_emu", Kind::U64},
    {"cx_emu", Kind::U64}, {"cy_emu", Kind::U64}, {"text", Kind::Str},
};
constexpr Param kNestedGroupTextBoxParams[] = {
    {"input", Kind::Str},
    {"output", Kind::Str},
    {"slide_index", Kind::Index},
    {"group_index", Kind::Index},
    {"nested_group_child_index", Kind::Index},
    {"x_emu", Kind::U64},
    {"y_emu", Kind::U64},
    {"cx_emu", Kind::U64},
    {"cy_emu", Kind::U64},
    {"text", Kind::Str},
};
constexpr Param kDeeperNestedGroupTextBoxParams[] = {
    {"input", Kind::Str},
    {"output", Kind::Str},
    {"slide_index", Kind::Index},
    {"group_index", Kind::Index},
    {"nested_group_child_index", Kind::Index},
    {"deeper_group_child_index", Kind::Index},
    {"x_emu", Kind::U64},
    {"y_emu", Kind::U64},
    {"cx_emu", Kind::U64},
    {"cy_emu", Kind::U64},
    {"text", Kind::Str},
};

constexpr auto kTextBoxesFunctions = std::to_array<FunctionDecl>({
    {"add_slide_text_box_json", kTextBoxParams,
     [](Args& a) {
       return json_result(add_slide_text_box_impl(a.str(0), a.str(1), a.index(2), a.u64(3),
                                                  a.u64(4), a.u64(5), a.u64(6), std::nullopt));
     }},
    {"add_slide_text_box_with_text_json", kTextBoxWithTextParams,
     [](Args& a) {
       return json_result(add_slide_text_box_impl(a.str(0), a.str(1), a.index(2), a.u64(3),
                                                  a.u64(4), a.u64(5), a.u64(6),
                                                  std::optional(a.str(7))));
     }},
    {"add_slide_group_text_box_with_text_json", kGroupTextBoxParams,
     [](Args& a) {
       return json_result(add_slide_group_text_box_with_text(a.str(0), a.str(1), a.index(2),
                                                             a.index(3), a.u64(4), a.u64(5),
                                                             a.u64(6), a.u64(7), a.str(8)));
     }},
    {"add_slide_nested_group_text_box_with_text_json", kNestedGroupTextBoxParams,
     [](Args& a) {
       return json_result(add_slide_nested_group_text_box_with_text(
           a.str(0), a.str(1), a.index(2), a.index(3), a.index(4), a.u64(5), a.u64(6), a.u64(7),
           a.u64(8), a.str(9)));
     }},
    {"add_slide_deeper_nested_group_text_box_with_text_json", kDeeperNestedGroupTextBoxParams,
     [](Args& a) {
       return json_result(add_slide_deeper_nested_group_text_box_with_text(
           a.str(0), a.str(1), a.index(2), a.index(3), a.index(4), a.index(5), a.u64(6),
           a.u64(7), a.u64(8), a.u64(9), a.str(10)));
     }},
    {"add_slide_nested_group_text_box_in_new_group_with_text_json", kGroupTextBoxParams,
     [](Args& a) {
       return json_result(add_slide_nested_group_text_box_in_new_group_with_text(
           a.str(0), a.str(1), a.index(2), a.index(3), a.u64(4), a.u64(5), a.u64(6), a.u64(7),
           a.str(8)));
     }},
});

}  // namespace

int register_native_text_boxes(PyObject* module) {
  return register_functions<kTextBoxesFunctions>(module);
}

}  // namespace pelvane::native
