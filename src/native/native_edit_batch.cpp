// The edit batch: many edits of many slides read from one JSON list and written once,
// registered last.
//
// Adding a function or an edit kind: the README, "Adding a function, an edit kind, a ZIP
// feature".
#include <array>

#include "core/batch/edit_batch.hpp"
#include "native/binder.hpp"
#include "native/function_tables.hpp"
#include "native/params.hpp"
#include "native/results.hpp"

namespace pelvane::native {
namespace {

constexpr Param kEdits[] = {json_param<parse_edit_list>("edits_json")};
constexpr auto kEditBatchParams = join_params(kInputOutput, kEdits);

constexpr auto kEditBatchFunctions = std::to_array<FunctionDecl>({
    engine_row<&apply_edit_batch, kEditBatchParams>("apply_edit_batch_json"),
});

}  // namespace

int register_native_edit_batch(PyObject* module) {
  return register_table<kEditBatchFunctions>(module);
}

}  // namespace pelvane::native
