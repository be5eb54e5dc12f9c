// Text-box functions: text boxes on a slide, inside groups and in new groups.
//
// Adding a function is one row in kTextBoxesFunctions, in registration order. A function that
// passes its arguments straight to its engine operation is an engine_row; one that adds fixed
// arguments is a row with its own call (see binder.hpp). Keep python/pelvane/pelvane_native.pyi
// in step.
#include <array>
#include <optional>

#include "core/shapes/package_mutation_shapes.hpp"
#include "native/binder.hpp"
#include "native/groups.hpp"
#include "native/results.hpp"
#include "native/shape_params.hpp"

namespace pelvane::native {
namespace {

constexpr auto kTextBoxParams = join_params(kInputOutputSlide, kBox);
constexpr auto kTextBoxWithTextParams = join_params(kInputOutputSlide, kBox, kText);
constexpr auto kGroupTextBoxParams = join_params(kInputOutputSlide, kGroup, kBox, kText);
constexpr auto kNestedGroupTextBoxParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kBox, kText);
constexpr auto kDeeperNestedGroupTextBoxParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kDeeperGroup, kBox, kText);

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
    engine_row<&add_slide_group_text_box_with_text, kGroupTextBoxParams>(
        "add_slide_group_text_box_with_text_json"),
    engine_row<&add_slide_nested_group_text_box_with_text, kNestedGroupTextBoxParams>(
        "add_slide_nested_group_text_box_with_text_json"),
    engine_row<&add_slide_deeper_nested_group_text_box_with_text, kDeeperNestedGroupTextBoxParams>(
        "add_slide_deeper_nested_group_text_box_with_text_json"),
    engine_row<&add_slide_nested_group_text_box_in_new_group_with_text, kGroupTextBoxParams>(
        "add_slide_nested_group_text_box_in_new_group_with_text_json"),
});

}  // namespace

int register_native_text_boxes(PyObject* module) {
  return register_functions<kTextBoxesFunctions>(module);
}

}  // namespace pelvane::native
