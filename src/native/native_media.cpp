// Media functions: pictures, movies, embedded objects and image replacement.
//
// Adding a function is one row in kMediaFunctions, in registration order. While the table is
// empty it is a std::array of size 0; with the first row write it as
//
//   constexpr auto kMediaFunctions = std::to_array<FunctionDecl>({
//       {"add_slide_image_json", kAddImageParams, [](Args& a) {
//            return json_result(add_slide_image(a.str(0), a.str(1), a.index(2), a.str(3),
//                                               a.u64(4), a.u64(5), a.u64(6), a.u64(7))); }},
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

constexpr std::array<FunctionDecl, 0> kMediaFunctions{};

}  // namespace

int register_native_media(PyObject* module) { return register_functions<kMediaFunctions>(module); }

}  // namespace pelvane::native
