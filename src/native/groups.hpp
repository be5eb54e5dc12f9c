// The function groups of the module, registered in this order by the module's execution slot:
// core, media, shapes, text boxes, then the module root's own table (module.cpp).
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

namespace pelvane::native {

// Each registers its group's functions on `module` in table order; 0, or -1 with an exception.
int register_native_core(PyObject* module);
int register_native_media(PyObject* module);
int register_native_shapes(PyObject* module);
int register_native_text_boxes(PyObject* module);

}  // namespace pelvane::native
