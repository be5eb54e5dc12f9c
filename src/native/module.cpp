// The module definition and its execution slot: the only entry from the interpreter.
//
// Import creates the module object from the definition and runs the execution slot once per
// module object; the slot readies the importing thread for failures (binder.hpp) and registers
// the function groups in order, nothing else: no module state, no threads, nothing to release
// at shutdown.
//
// A thread that has called the module keeps a little for its next calls, which no other thread
// sees and which is freed when the thread ends, at most some 8.6 MiB in all:
// - large buffers on its shelves (core/base/buffer_shelf.hpp): at most 8 MiB together
//   (`kMostKeptAll`), each from 64 KiB to 4 MiB, at most eight of a type and use;
// - Deflate states (core/zip/deflate_stream.cpp): at most two, some 270 KiB each;
// - one Inflate state for entries read whole (core/zip/plain_entry.cpp): some 40 KiB with its
//   window;
// - the C++ runtime's exception state, readied by the binder: a few bytes.
#include "native/binder.hpp"
#include "native/function_tables.hpp"

namespace pelvane::native {
namespace {

int exec_module(PyObject* module) {
  return guard_panics([module]() -> int {
    if (!prepare_thread_for_failures()) {
      PyErr_NoMemory();
      return -1;
    }
    if (!PyModule_Check(module)) {
      raise_not_instance(module, "module");
      return -1;
    }
    if (register_native_core(module) < 0) return -1;
    if (register_native_media(module) < 0) return -1;
    if (register_native_shapes(module) < 0) return -1;
    if (register_native_text_boxes(module) < 0) return -1;
    if (register_native_groups_and_freeforms(module) < 0) return -1;
    return register_native_edit_batch(module);
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
