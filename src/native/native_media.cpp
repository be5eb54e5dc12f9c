// Media functions: image replacement, pictures, movies and embedded objects.
//
// Adding a function is one row in kMediaFunctions, in registration order. A function that
// passes its arguments straight to its engine operation is an engine_row; one that adds fixed
// arguments (the slide selection, the object's insertion target) is a row with its own call
// (see binder.hpp). Keep python/pelvane/pelvane_native.pyi in step.
#include <array>
#include <optional>

#include "core/media/package_mutation_media.hpp"
#include "native/binder.hpp"
#include "native/groups.hpp"
#include "native/results.hpp"
#include "native/shape_params.hpp"

namespace pelvane::native {
namespace {

constexpr Param kInputOutput[] = {{"input", Kind::Str}, {"output", Kind::Str}};
constexpr Param kSlide[] = {{"slide_index", Kind::Index}};
constexpr Param kReplacement[] = {{"relationship_id", Kind::Str}, {"image_path", Kind::Str}};
constexpr Param kImage[] = {{"image_path", Kind::Str}};
constexpr Param kMovie[] = {{"movie_path", Kind::Str}, {"poster_frame_path", Kind::Str}};
constexpr Param kMimeType[] = {{"mime_type", Kind::Str}};
constexpr Param kObject[] = {{"object_path", Kind::Str}, {"prog_id", Kind::Str}};
constexpr Param kIcon[] = {{"icon_path", Kind::Str, Presence::NoneOk},
                           {"icon_cx_emu", Kind::U64},
                           {"icon_cy_emu", Kind::U64}};

constexpr auto kReplaceAllParams = join_params(kInputOutput, kReplacement);
constexpr auto kReplaceAtIndexParams = join_params(kInputOutput, kSlide, kReplacement);
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

// The object functions differ only in the target; `first` is the position of `object_path`.
Outcome add_object(Args& a, const InsertionTarget& target, std::size_t first) {
  return json_result(add_slide_ole_object_with_target(
      a.str(0), a.str(1), a.index(2), target, a.str(first), a.str(first + 1), a.u64(first + 2),
      a.u64(first + 3), a.u64(first + 4), a.u64(first + 5), a.optional_str(first + 6),
      a.u64(first + 7), a.u64(first + 8)));
}

constexpr auto kMediaFunctions = std::to_array<FunctionDecl>({
    {"replace_slide_image_json", kReplaceAllParams,
     [](Args& a) {
       return json_result(
           replace_slide_image_inner(a.str(0), a.str(1), std::nullopt, a.str(2), a.str(3)));
     }},
    {"replace_slide_image_at_index_json", kReplaceAtIndexParams,
     [](Args& a) {
       return json_result(replace_slide_image_inner(a.str(0), a.str(1), std::optional(a.index(2)),
                                                    a.str(3), a.str(4)));
     }},
    engine_row<&add_slide_image, kImageParams>("add_slide_image_json"),
    engine_row<&add_slide_group_image, kGroupImageParams>("add_slide_group_image_json"),
    engine_row<&add_slide_nested_group_image, kNestedGroupImageParams>(
        "add_slide_nested_group_image_json"),
    engine_row<&add_slide_deeper_nested_group_image, kDeeperNestedGroupImageParams>(
        "add_slide_deeper_nested_group_image_json"),
    engine_row<&add_slide_nested_group_image_in_new_group, kGroupImageParams>(
        "add_slide_nested_group_image_in_new_group_json"),
    {"add_slide_movie_json", kMovieParams,
     [](Args& a) {
       return json_result(add_slide_movie(a.str(0), a.str(1), a.index(2), a.str(3),
                                          std::optional(a.str(4)), a.u64(5), a.u64(6), a.u64(7),
                                          a.u64(8), a.str(9)));
     }},
    {"add_slide_ole_object_json", kObjectParams,
     [](Args& a) { return add_object(a, InsertionTarget::slide(), 3); }},
    {"add_slide_group_ole_object_json", kGroupObjectParams,
     [](Args& a) { return add_object(a, InsertionTarget::group(a.index(3)), 4); }},
    {"add_slide_nested_group_ole_object_json", kNestedGroupObjectParams,
     [](Args& a) {
       return add_object(a, InsertionTarget::nested_group(a.index(3), a.index(4)), 5);
     }},
    {"add_slide_deeper_nested_group_ole_object_json", kDeeperNestedGroupObjectParams,
     [](Args& a) {
       return add_object(
           a, InsertionTarget::deeper_nested_group(a.index(3), a.index(4), a.index(5)), 6);
     }},
    {"add_slide_nested_group_ole_object_in_new_group_json", kGroupObjectParams,
     [](Args& a) { return add_object(a, InsertionTarget::new_group_in_group(a.index(3)), 4); }},
});

}  // namespace

int register_native_media(PyObject* module) { return register_functions<kMediaFunctions>(module); }

}  // namespace pelvane::native
