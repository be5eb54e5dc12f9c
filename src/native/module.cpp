// The module definition and its execution slot: the only entry from the interpreter.
//
// Import creates the module object from the definition and runs the execution slot once per
// module object; the slot readies the importing thread for failures (binder.hpp) and registers
// the function groups in order, nothing else: no state, no threads, nothing to release at
// shutdown.
#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "core/batch/edit_batch.hpp"
#include "core/json/json_in.hpp"
#include "core/shapes/connector_operations.hpp"
#include "core/shapes/group_operations.hpp"
#include "core/shapes/auto_shape_operations.hpp"
#include "core/shapes/freeform_operations.hpp"
#include "native/binder.hpp"
#include "native/function_tables.hpp"
#include "native/results.hpp"
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

constexpr auto kGroupConnectorParams = join_params(kInputOutputSlide, kGroup, kConnector);
constexpr auto kConnectedGroupConnectorParams =
    join_params(kInputOutputSlide, kGroup, kConnector, kConnections);
constexpr auto kConnectedGroupShapesParams =
    join_params(kInputOutputSlide, kGroup, kConnectedShapes);
constexpr auto kNestedGroupConnectorParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kConnector);
constexpr auto kDeeperNestedGroupConnectorParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kDeeperGroup, kConnector);

constexpr auto kGroupParams = join_params(kInputOutputSlide, kGroup);
constexpr auto kNestedGroupParams = join_params(kInputOutputSlide, kGroup, kNestedGroup);
constexpr auto kDeeperNestedGroupParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kDeeperGroup);
constexpr Param kChildIndices[] = {{"child_indices", Kind::IndexList}};
constexpr auto kGatherParams = join_params(kInputOutputSlide, kGroup, kChildIndices);
constexpr auto kNestedGatherParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kChildIndices);
constexpr auto kDeeperNestedGatherParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kDeeperGroup, kChildIndices);

constexpr Param kEditBatchParams[] = {
    {"input", Kind::Str}, {"output", Kind::Str}, json_param<parse_edit_list>("edits_json")};

// A freeform's frame and path frame (signed), then its path steps.
constexpr Param kFreeform[] = {{"x_emu", Kind::I64},
                               {"y_emu", Kind::I64},
                               {"cx_emu", Kind::I64},
                               {"cy_emu", Kind::I64},
                               {"path_w", Kind::I64},
                               {"path_h", Kind::I64},
                               json_param<parse_freeform_operations>("operations_json")};
constexpr auto kFreeformParams = join_params(kInputOutputSlide, kFreeform);
constexpr auto kFreeformWithTextParams = join_params(kInputOutputSlide, kFreeform, kText);
constexpr auto kGroupFreeformParams = join_params(kInputOutputSlide, kGroup, kFreeform, kText);
constexpr auto kNestedGroupFreeformParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kFreeform, kText);
constexpr auto kDeeperNestedGroupFreeformParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kDeeperGroup, kFreeform, kText);

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
    engine_row<&add_slide_group_connector_impl, kGroupConnectorParams, Absent<9, 10, 11, 12>>(
        "add_slide_group_connector_json"),
    engine_row<&add_slide_group_connector_impl, kConnectedGroupConnectorParams>(
        "add_slide_connected_group_connector_json"),
    engine_row<&add_slide_connected_group_connector_with_auto_shapes, kConnectedGroupShapesParams>(
        "add_slide_connected_group_connector_with_auto_shapes_json"),
    engine_row<&add_slide_nested_group_connector, kNestedGroupConnectorParams>(
        "add_slide_nested_group_connector_json"),
    engine_row<&add_slide_deeper_nested_group_connector, kDeeperNestedGroupConnectorParams>(
        "add_slide_deeper_nested_group_connector_json"),
    engine_row<&add_slide_nested_group_connector_in_new_group, kGroupConnectorParams>(
        "add_slide_nested_group_connector_in_new_group_json"),
    engine_row<&add_slide_group_shape, kInputOutputSlide>("add_slide_group_shape_json"),
    engine_row<&add_slide_nested_group_shape, kGroupParams>("add_slide_nested_group_shape_json"),
    engine_row<&add_slide_group_shape_to_nested_group, kNestedGroupParams>(
        "add_slide_group_shape_to_nested_group_json"),
    engine_row<&add_slide_group_shape_to_deeper_nested_group, kDeeperNestedGroupParams>(
        "add_slide_group_shape_to_deeper_nested_group_json"),
    engine_row<&group_slide_existing_group_children, kGatherParams>(
        "group_slide_existing_group_children_json"),
    engine_row<&group_slide_existing_nested_group_children, kNestedGatherParams>(
        "group_slide_existing_nested_group_children_json"),
    engine_row<&group_slide_existing_deeper_nested_group_children, kDeeperNestedGatherParams>(
        "group_slide_existing_deeper_nested_group_children_json"),
    engine_row<&add_slide_freeform_shape_impl, kFreeformParams, Absent<10>>(
        "add_slide_freeform_shape_json"),
    engine_row<&add_slide_freeform_shape_impl, kFreeformWithTextParams>(
        "add_slide_freeform_shape_with_text_json"),
    engine_row<&add_slide_group_freeform_shape_with_text, kGroupFreeformParams>(
        "add_slide_group_freeform_shape_with_text_json"),
    engine_row<&add_slide_nested_group_freeform_shape_with_text, kNestedGroupFreeformParams>(
        "add_slide_nested_group_freeform_shape_with_text_json"),
    engine_row<&add_slide_deeper_nested_group_freeform_shape_with_text,
               kDeeperNestedGroupFreeformParams>(
        "add_slide_deeper_nested_group_freeform_shape_with_text_json"),
    engine_row<&add_slide_nested_group_freeform_shape_in_new_group_with_text, kGroupFreeformParams>(
        "add_slide_nested_group_freeform_shape_in_new_group_with_text_json"),
    engine_row<&apply_edit_batch, kEditBatchParams>("apply_edit_batch_json"),
});

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
