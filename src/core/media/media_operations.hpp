// Media operations on a package: pictures at every insertion target, a movie with its poster
// frame and timing node, embedded objects shown as icons, and the replacement of the images
// behind a relationship id.
//
// Pictures, movies and objects write the package once through the slide-edit road: unchanged
// entries copied raw, directory entries written as directories, the slide, its relationships
// part and "[Content_Types].xml" replaced, then the new parts (the relationships part when the
// slide had none, then the media or embedding parts). Image replacement rewrites every entry.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/models.hpp"
#include "core/pml/shape_tree.hpp"

namespace pelvane {

// ---- Pictures ----
// In order: the output's directories, the input, the slide at `slide_index`, the image's plan
// (extension, content type, file, identical part, relationships, content types), the slide's
// text, the picture at the target, the package.

Result<ImageAddSummary> add_slide_image_with_target(std::string_view input, std::string_view output,
                                                    std::uint64_t slide_index,
                                                    const InsertionTarget& target,
                                                    std::string_view image_path,
                                                    std::uint64_t x_emu, std::uint64_t y_emu,
                                                    std::uint64_t cx_emu, std::uint64_t cy_emu);

// ---- Movies ----

// Stores the movie as "ppt/media/media{n}.{ext}" and the poster (the built-in pixel when
// absent) as a new image part, relates both to the slide (media, video, image, in this order),
// adds the movie picture at the end of the shape tree and its video timing node. The movie and
// poster files are read, and the poster's extension checked, before the input is opened.
Result<MovieAddSummary> add_slide_movie(std::string_view input, std::string_view output,
                                        std::uint64_t slide_index, std::string_view movie_path,
                                        std::optional<std::string_view> poster_frame_path,
                                        std::uint64_t x_emu, std::uint64_t y_emu,
                                        std::uint64_t cx_emu, std::uint64_t cy_emu,
                                        std::string_view mime_type);

// ---- Embedded objects ----

// Stores the object file as "ppt/embeddings/oleObject{n}.bin" and its icon (the built-in pixel
// when absent) as a new image part, relates both to the slide and places the object frame at
// the target. The object and icon files are read, and the icon's extension checked, before
// the input is opened.
Result<OleObjectAddSummary> add_slide_ole_object_with_target(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    const InsertionTarget& target, std::string_view object_path, std::string_view prog_id,
    std::uint64_t x_emu, std::uint64_t y_emu, std::uint64_t cx_emu, std::uint64_t cy_emu,
    std::optional<std::string_view> icon_path, std::uint64_t icon_cx_emu,
    std::uint64_t icon_cy_emu);

// ---- Image replacement ----

// Gives every image part that `relationship_id` reaches (an image relationship with exactly
// that Id) from the slide at `slide_index`, or from every slide part when absent, the bytes of
// the file at `image_path`, under its own name. No slide at the index, or no such relationship,
// replaces nothing; the package is written all the same. Every entry is written again.
Result<ImageReplacementSummary> replace_slide_image_inner(std::string_view input,
                                                          std::string_view output,
                                                          std::optional<std::uint64_t> slide_index,
                                                          std::string_view relationship_id,
                                                          std::string_view image_path);

// The operations the module binds: each is an operation above fixed to one kind of target
// (the target's group indexes follow the slide index).
inline constexpr auto add_slide_image = at_target<&add_slide_image_with_target, TargetKind::Slide>;
inline constexpr auto add_slide_group_image =
    at_target<&add_slide_image_with_target, TargetKind::Group>;
inline constexpr auto add_slide_nested_group_image =
    at_target<&add_slide_image_with_target, TargetKind::NestedGroup>;
inline constexpr auto add_slide_deeper_nested_group_image =
    at_target<&add_slide_image_with_target, TargetKind::DeeperNestedGroup>;
inline constexpr auto add_slide_nested_group_image_in_new_group =
    at_target<&add_slide_image_with_target, TargetKind::NewGroupInGroup>;

}  // namespace pelvane
