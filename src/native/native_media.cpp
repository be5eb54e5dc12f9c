// Media functions: image replacement, pictures, movies and embedded objects. A picture row
// binds the named operation of its target; an object row binds the one object operation fixed
// to its kind of target (at_target).
//
// Adding a function: the README, "Adding a function, an edit kind, a ZIP feature".
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

// Rows of an operation at one kind of insertion target name the kind: at_target<&operation,
// Group> takes the group index after the slide index.
using enum InsertionTarget::Kind;

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

constexpr auto kMediaFunctions = std::to_array<FunctionDecl>({
    engine_row<&replace_slide_image_inner, kReplaceAllParams, Absent<2>>(
        "replace_slide_image_json"),
    engine_row<&replace_slide_image_inner, kReplaceAtIndexParams>(
        "replace_slide_image_at_index_json"),
    engine_row<add_slide_image, kImageParams>("add_slide_image_json"),
    engine_row<add_slide_group_image, kGroupImageParams>("add_slide_group_image_json"),
    engine_row<add_slide_nested_group_image, kNestedGroupImageParams>(
        "add_slide_nested_group_image_json"),
    engine_row<add_slide_deeper_nested_group_image, kDeeperNestedGroupImageParams>(
        "add_slide_deeper_nested_group_image_json"),
    engine_row<add_slide_nested_group_image_in_new_group, kGroupImageParams>(
        "add_slide_nested_group_image_in_new_group_json"),
    engine_row<&add_slide_movie, kMovieParams>("add_slide_movie_json"),
    engine_row<at_target<&add_slide_ole_object_with_target, Slide>, kObjectParams>(
        "add_slide_ole_object_json"),
    engine_row<at_target<&add_slide_ole_object_with_target, Group>, kGroupObjectParams>(
        "add_slide_group_ole_object_json"),
    engine_row<at_target<&add_slide_ole_object_with_target, NestedGroup>, kNestedGroupObjectParams>(
        "add_slide_nested_group_ole_object_json"),
    engine_row<at_target<&add_slide_ole_object_with_target, DeeperNestedGroup>,
               kDeeperNestedGroupObjectParams>("add_slide_deeper_nested_group_ole_object_json"),
    engine_row<at_target<&add_slide_ole_object_with_target, NewGroupInGroup>, kGroupObjectParams>(
        "add_slide_nested_group_ole_object_in_new_group_json"),
});

}  // namespace

int register_native_media(PyObject* module) { return register_table<kMediaFunctions>(module); }

}  // namespace pelvane::native
