// The module's function tables, one per group, registered in this order by the module's
// execution slot (module.cpp): core, media, shapes, text boxes, groups and freeforms (in
// native_shapes.cpp), then the edit batch. Every row of them is an engine_row (binder.hpp).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include "native/binder.hpp"

namespace pelvane::native {

// Each registers its group's functions on `module` in table order; 0, or -1 with an exception.
int register_native_core(PyObject* module);
int register_native_media(PyObject* module);
int register_native_shapes(PyObject* module);
int register_native_text_boxes(PyObject* module);
int register_native_groups_and_freeforms(PyObject* module);
int register_native_edit_batch(PyObject* module);

// Registers one of the module's tables, once every row of it is checked against its engine
// operation.
template <const auto& Table>
int register_table(PyObject* module) {
  static_assert(every_row_checked<Table>(),
                "a row of the module's tables is not an engine_row: declare it with engine_row, "
                "through an adapter function when the engine call needs one");
  return register_functions<Table>(module);
}

}  // namespace pelvane::native
