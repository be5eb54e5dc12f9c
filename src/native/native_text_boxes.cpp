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

#include "native/binder.hpp"
#include "native/groups.hpp"
#include "native/results.hpp"

namespace pelvane::native {
namespace {

constexpr std::array<FunctionDecl, 0> kTextBoxesFunctions{};

}  // namespace

int register_native_text_boxes(PyObject* module) {
  return register_functions<kTextBoxesFunctions>(module);
}

}  // namespace pelvane::native
