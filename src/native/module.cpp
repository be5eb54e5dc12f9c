// The module definition and its execution slot: the only entry from the interpreter.
//
// Import creates the module object from the definition and runs the execution slot once per
// module object; the slot registers the function groups in order and nothing else: no state,
// no threads, nothing to release at shutdown.
#include <array>

#include "native/binder.hpp"
#include "native/groups.hpp"

namespace pelvane::native {
namespace {

// The module root's own functions (groups, freeforms, the edit batch), registered after the
// four groups. Adding one is a row here, as in native_core.cpp; write the table with
// std::to_array<FunctionDecl>({...}) once it has rows.
constexpr std::array<FunctionDecl, 0> kRootFunctions{};

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
