// The module definition and its execution slot: the only entry from the interpreter.
//
// Import creates the module object from the definition and runs the execution slot once per
// module object; the slot registers the function groups in order and nothing else: no state,
// no threads, nothing to release at shutdown.
#include <array>

#include "core/shapes/package_mutation_shapes.hpp"
#include "native/binder.hpp"
#include "native/function_tables.hpp"
#include "native/shape_params.hpp"

namespace pelvane::native {
namespace {

// The module root's own functions (groups, freeforms, the edit batch), registered after the
// four groups. Adding one is a row here, as in native_text_boxes.cpp.
constexpr auto kGroupAutoShapeParams = join_params(kInputOutputSlide, kGroup, kPreset, kBox, kText);
constexpr auto kNestedGroupAutoShapeParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kPreset, kBox, kText);
constexpr auto kDeeperNestedGroupAutoShapeParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kDeeperGroup, kPreset, kBox, kText);

constexpr auto kRootFunctions = std::to_array<FunctionDecl>({
    engine_row<&add_slide_group_auto_shape_with_text, kGroupAutoShapeParams>(
        "add_slide_group_auto_shape_with_text_json"),
    engine_row<&add_slide_nested_group_auto_shape_with_text, kNestedGroupAutoShapeParams>(
        "add_slide_nested_group_auto_shape_with_text_json"),
    engine_row<&add_slide_deeper_nested_group_auto_shape_with_text,
               kDeeperNestedGroupAutoShapeParams>(
        "add_slide_deeper_nested_group_auto_shape_with_text_json"),
    engine_row<&add_slide_nested_group_auto_shape_in_new_group_with_text, kGroupAutoShapeParams>(
        "add_slide_nested_group_auto_shape_in_new_group_with_text_json"),
});

int exec_module(PyObject* module) {
  return guard_panics([module]() -> int {
    if (!PyModule_Check(module)) {
      raise_not_instance(module, "module");
      return -1;
    }
    if (register_native_core(module) < 0) return -1;
    if (register_native_media(module) < 0) return -1;
    if (register_native_shapes(module) < 0) return -1;
    if (register_native_text_boxes(module) < 0) return -1;
    return register_table<kRootFunctions>(module);
  });
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
    // Calls share nothing, so an interpreter without the global lock may run them at once.
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "pelvane_native",
    "",  // __doc__ is the empty string, not None
    0,   // no per-module state
    nullptr,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace pelvane::native

PyMODINIT_FUNC PyInit_pelvane_native() {
  return PyModuleDef_Init(&pelvane::native::module_definition);
}
