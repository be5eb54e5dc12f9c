// Text-box functions: text boxes on a slide, inside groups and in new groups.
//
// Adding a function: the README, "Adding a function, an edit kind, a ZIP feature".
#include <array>

#include "core/shapes/shape_operations_by_target.hpp"
#include "native/binder.hpp"
#include "native/function_tables.hpp"
#include "native/params.hpp"
#include "native/results.hpp"

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
    engine_row<add_slide_text_box_impl, kTextBoxParams, Absent<7>>("add_slide_text_box_json"),
    engine_row<add_slide_text_box_impl, kTextBoxWithTextParams>(
        "add_slide_text_box_with_text_json"),
    engine_row<add_slide_group_text_box_with_text, kGroupTextBoxParams>(
        "add_slide_group_text_box_with_text_json"),
    engine_row<add_slide_nested_group_text_box_with_text, kNestedGroupTextBoxParams>(
        "add_slide_nested_group_text_box_with_text_json"),
    engine_row<add_slide_deeper_nested_group_text_box_with_text, kDeeperNestedGroupTextBoxParams>(
        "add_slide_deeper_nested_group_text_box_with_text_json"),
    engine_row<add_slide_nested_group_text_box_in_new_group_with_text, kGroupTextBoxParams>(
        "add_slide_nested_group_text_box_in_new_group_with_text_json"),
});

}  // namespace

int register_native_text_boxes(PyObject* module) {
  return register_table<kTextBoxesFunctions>(module);
}

}  // namespace pelvane::native
