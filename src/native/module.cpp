// The module definition and its execution slot: the only entry from the interpreter.
//
// Import creates the module object from the definition and runs the execution slot once per
// module object; the slot registers the function groups in order and nothing else: no state,
// no threads, nothing to release at shutdown.
#include <array>

#include "core/package_mutation_shapes.hpp"
#include "native/binder.hpp"
#include "native/groups.hpp"

namespace pelvane::native {
namespace {

// The module root's own functions (groups, freeforms, the edit batch), registered after the
// four groups. Adding one is a row here, as in native_core.cpp; write the table with
// std::to_array<FunctionDecl>({...}) once it has rows.
constexpr Param kGroupAutoShapeParams[] = {
    {"input", Kind::Str},
    {"output", Kind::Str},
    {"slide_index", Kind::Index},
    {"group_index", Kind::Index},
    {"preset_geometry", Kind::Str},
    {"x_emu", Kind::U64},
    {"y_emu", Kind::U64},
    {"cx_emu", Kind::U64},
    {"cy_emu", Kind::U64},
    {"text", Kind::Str},
};
constexpr Param kNestedGroupAutoShapeParams[] = {
    {"input", Kind::Str},
    {"output", Kind::Str},
    {"slide_index", Kind::Index},
    {"group_index", Kind::Index},
    {"nested_group_child_index", Kind::Index},
    {"preset_geometry", Kind::Str},
    {"x_emu", Kind::U64},
    {"y_emu", Kind::U64},
    {"cx_emu", Kind::U64},
    {"cy_emu", Kind::U64},
    {"text", Kind::Str},
};
constexpr Param kDeeperNestedGroupAutoShapeParams[] = {
    {"input", Kind::Str},
    {"output", Kind::Str},
    {"slide_index", Kind::Index},
    {"group_index", Kind::Index},
    {"nested_group_child_index", Kind::Index},
    {"deeper_group_child_index", Kind::Index},
    {"preset_geometry", Kind::Str},
    {"x_emu", Kind::U64},
    {"y_emu", Kind::U64},
    {"cx_emu", Kind::U64},
    {"cy_emu", Kind::U64},
    {"text", Kind::Str},
};

constexpr auto kRootFunctions = std::to_array<FunctionDecl>({
    {"add_slide_group_auto_shape_with_text_json", kGroupAutoShapeParams,
     [](Args& a) {
       return json_result(add_slide_group_auto_shape_with_text(
           a.str(0), a.str(1), a.index(2), a.index(3), a.str(4), a.u64(5), a.u64(6), a.u64(7),
           a.u64(8), a.str(9)));
     }},
    {"add_slide_nested_group_auto_shape_with_text_json", kNestedGroupAutoShapeParams,
     [](Args& a) {
       return json_result(add_slide_nested_group_auto_shape_with_text(
           a.str(0), a.str(1), a.index(2), a.index(3), a.index(4), a.str(5), a.u64(6), a.u64(7),
           a.u64(8), a.u64(9), a.str(10)));
     }},
    {"add_slide_deeper_nested_group_auto_shape_with_text_json", kDeeperNestedGroupAutoShapeParams,
     [](Args& a) {
       return json_result(add_slide_deeper_nested_group_auto_shape_with_text(
           a.str(0), a.str(1), a.index(2), a.index(3), a.index(4), a.index(5), a.str(6),
           a.u64(7), a.u64(8), a.u64(9), a.u64(10), a.str(11)));
     }},
    {"add_slide_nested_group_auto_shape_in_new_group_with_text_json", kGroupAutoShapeParams,
     [](Args& a) {
       return json_result(add_slide_nested_group_auto_shape_in_new_group_with_text(
           a.str(0), a.str(1), a.index(2), a.index(3), a.str(4), a.u64(5), a.u64(6), a.u64(7),
           a.u64(8), a.str(9)));
     }},
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
    return register_functions<kRootFunctions>(module);
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
