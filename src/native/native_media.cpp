// Media functions: image replacement, pictures, movies and embedded objects.
//
// Adding a function is one engine_row in kMediaFunctions, in registration order; fixed absent
// arguments are named by their engine positions (Absent<2>, see binder.hpp). The object
// functions go through one adapter that turns their group indexes into the insertion target.
// Keep python/pelvane/pelvane_native.pyi in step.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/media/media_operations.hpp"
#include "native/binder.hpp"
#include "native/function_tables.hpp"
#include "native/params.hpp"
#include "native/results.hpp"

namespace pelvane::native {
namespace {

constexpr auto kReplaceAllParams = join_params(kInputOutput, kImageReplacement);
constexpr auto kReplaceAtIndexParams = join_params(kInputOutputSlide, kImageReplacement);
constexpr auto kImageParams = join_params(kInputOutputSlide, kImage, kBox);
constexpr auto kGroupImageParams = join_params(kInputOutputSlide, kGroup, kImage, kBox);
constexpr auto kNestedGroupImageParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kImage, kBox);
constexpr auto kDeeperNestedGroupImageParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kDeeperGroup, kImage, kBox);
constexpr auto kMovieParams = join_params(kInputOutputSlide, kMovie, kBox, kMimeType);
constexpr auto kObjectParams = join_params(kInputOutputSlide, kObject, kBox, kIcon);
constexpr auto kGroupObjectParams = join_params(kInputOutputSlide, kGroup, kObject, kBox, kIcon);
constexpr auto kNestedGroupObjectParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kObject, kBox, kIcon);
constexpr auto kDeeperNestedGroupObjectParams =
    join_params(kInputOutputSlide, kGroup, kNestedGroup, kDeeperGroup, kObject, kBox, kIcon);

// An object function: its group indexes (as many as the target kind takes, in the target's
// order) become the insertion target; everything else passes through.
template <InsertionTarget::Kind K, class... Index>
Result<OleObjectAddSummary> add_object(std::string_view input, std::string_view output,
                                       std::uint64_t slide_index, Index... indexes,
                                       std::string_view object_path, std::string_view prog_id,
                                       std::uint64_t x_emu, std::uint64_t y_emu,
                                       std::uint64_t cx_emu, std::uint64_t cy_emu,
                                       std::optional<std::string_view> icon_path,
                                       std::uint64_t icon_cx_emu, std::uint64_t icon_cy_emu) {
  return add_slide_ole_object_with_target(
      input, output, slide_index, InsertionTarget{K, indexes...}, object_path, prog_id, x_emu,
      y_emu, cx_emu, cy_emu, icon_path, icon_cx_emu, icon_cy_emu);
}

using Target = InsertionTarget::Kind;
using U = std::uint64_t;

constexpr auto kMediaFunctions = std::to_array<FunctionDecl>({
    engine_row<&replace_slide_image_inner, kReplaceAllParams, Absent<2>>(
        "replace_slide_image_json"),
    engine_row<&replace_slide_image_inner, kReplaceAtIndexParams>(
        "replace_slide_image_at_index_json"),
    engine_row<&add_slide_image, kImageParams>("add_slide_image_json"),
    engine_row<&add_slide_group_image, kGroupImageParams>("add_slide_group_image_json"),
    engine_row<&add_slide_nested_group_image, kNestedGroupImageParams>(
        "add_slide_nested_group_image_json"),
    engine_row<&add_slide_deeper_nested_group_image, kDeeperNestedGroupImageParams>(
        "add_slide_deeper_nested_group_image_json"),
    engine_row<&add_slide_nested_group_image_in_new_group, kGroupImageParams>(
        "add_slide_nested_group_image_in_new_group_json"),
    engine_row<&add_slide_movie, kMovieParams>("add_slide_movie_json"),
    engine_row<&add_object<Target::Slide>, kObjectParams>("add_slide_ole_object_json"),
    engine_row<&add_object<Target::Group, U>, kGroupObjectParams>(
        "add_slide_group_ole_object_json"),
    engine_row<&add_object<Target::NestedGroup, U, U>, kNestedGroupObjectParams>(
        "add_slide_nested_group_ole_object_json"),
    engine_row<&add_object<Target::DeeperNestedGroup, U, U, U>, kDeeperNestedGroupObjectParams>(
        "add_slide_deeper_nested_group_ole_object_json"),
    engine_row<&add_object<Target::NewGroupInGroup, U>, kGroupObjectParams>(
        "add_slide_nested_group_ole_object_in_new_group_json"),
});

}  // namespace

int register_native_media(PyObject* module) { return register_table<kMediaFunctions>(module); }

}  // namespace pelvane::native
