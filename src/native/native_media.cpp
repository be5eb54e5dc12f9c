// Media functions: pictures, movies, embedded objects and image replacement.
//
// Adding a function is one engine_row in kMediaFunctions, in registration order. While the
// table is empty it is a std::array of size 0; with the first row write it as
//
//   constexpr auto kMediaFunctions = std::to_array<FunctionDecl>({
//       engine_row<&add_slide_image, kAddImageParams>("add_slide_image_json"),
//   });
//
// Parameters are {name, Kind} with Presence::NoneOk for "X or None"; a JSON parameter is
// json_param<reader>("name"); fixed absent arguments are named by their engine positions
// (Absent<8>) (see binder.hpp). Only functions whose engine operation exists are listed; keep
// python/pelvane/pelvane_native.pyi in step.
#include <array>

#include "native/binder.hpp"
#include "native/function_tables.hpp"
#include "native/results.hpp"

namespace pelvane::native {
namespace {

constexpr std::array<FunctionDecl, 0> kMediaFunctions{};

}  // namespace

int register_native_media(PyObject* module) { return register_table<kMediaFunctions>(module); }

}  // namespace pelvane::native
