// How a media file enters a package: its extension and content type, the part name it is stored
// under, the built-in one-pixel image, and the plan of a picture (an identical image part used
// again, or a new one; the slide's image relationship; the content-type Default). Nothing here
// writes: the picture, movie and object operations carry the plans out.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {

// The last component of a path, trailing "/" and "." components passed over; none for a path
// without one (empty, "/", ".", or ending in "..").
std::optional<std::string_view> path_file_name(std::string_view path);

// The lower-cased (ASCII letters only) text after the last "." of the path's last component. A
// component without ".", or whose only "." is its first character, has none: `InvalidInput`
// "{kind} path has no extension: {path}". A component ending in "." gives the empty extension.
Result<std::string> media_extension(std::string_view path, std::string_view kind);

// `media_extension` with the kind "image", then "jpe", "jpeg" and "jfif" become "jpg" and "tif"
// becomes "tiff"; anything else is returned as it is.
Result<std::string> image_extension(std::string_view path);

// The extension of a movie file: `media_extension` with the kind "movie". An empty one (a path
// ending in ".") would name a part ending in "." and a Default without extension, which the
// package format forbids, so it is refused like a missing one.
Result<std::string> movie_extension(std::string_view path);

// "image/png", "image/jpeg", "image/gif", "image/bmp" or "image/tiff" for png, jpg or jpeg, gif,
// bmp, tif or tiff (exact, case-sensitive). Anything else: `InvalidInput`
// "unsupported image extension: {extension}".
Result<std::string_view> image_content_type(std::string_view extension);

// The bytes of an image file (`read_file_bytes`). A file without a byte is no picture, whatever
// its name: `InvalidInput` "image file {0} is empty".
Result<std::string> read_image_file(std::string_view path);

// A 1x1 PNG (one transparent black pixel, 8-bit RGBA), 74 bytes; stands in for a movie's
// missing poster frame and an embedded object's missing icon.
std::string_view builtin_pixel_png();

// The name of every entry, each opened on the way (one that cannot be opened: `Zip`).
Result<std::set<std::string>> package_entry_names(PackageArchive& archive);

// "ppt/media/{stem}{n}.{extension}" with the smallest n from 1 that names no entry in `names`;
// the name is added to `names`.
std::string next_free_media_part(std::set<std::string>& names, std::string_view stem,
                                 std::string_view extension);
// "ppt/embeddings/oleObject{n}.bin" with the smallest free n from 1; the name is added to
// `names`.
std::string next_free_embedding_part(std::set<std::string>& names);

// "{directory}/{file}": the target of a relationship from a slide to a part stored in
// ppt/{directory}/ ("../media/image3.png").
std::string slide_relative_target(std::string_view directory, std::string_view part_name);

// The Id of the first relationship, in Id order byte-wise (rId10 before rId9), whose Type ends
// with "/image" and whose Target is exactly `target` (targets are not resolved). External
// relationships never match: they do not name a part of the package.
std::optional<std::string> existing_image_relationship_id(std::string_view relationships_xml,
                                                          std::string_view target);

// The slide's relationships text, or a new empty relationships part when it has none.
Result<std::string> read_slide_relationships(PackageArchive& archive,
                                             std::string_view relationships_part);
// "[Content_Types].xml" as text; absent: `InvalidInput` "[Content_Types].xml was not found".
Result<std::string> read_content_types(PackageArchive& archive);

// What a picture adds to the package.
struct ImageInsertionPlan {
  std::string image_bytes;         // the image file as read (unused when a part is reused)
  std::string image_part;          // new "ppt/media/image{n}.{ext}", or an identical part
  std::string relationships_part;  // the slide's relationships part
  std::string relationship_id;     // the image relationship the picture refers to
  std::string relationships_xml;   // the relationships part's new text
  std::string content_types_xml;   // "[Content_Types].xml" with a Default for the extension
  bool reuses_existing_part = false;
};

// Plans a picture of the image at `image_path` on `slide_part`. In order: the extension and its
// content type, the file read, the package's "ppt/media/image*.{ext}" parts searched in archive
// order for the same SHA-256 digest (the first match is used again, with the slide's own image
// relationship to it when it has one), otherwise the smallest free image name; then the slide's
// relationships and "[Content_Types].xml" extended. The first failure ends the plan.
Result<ImageInsertionPlan> plan_image_insertion(PackageArchive& archive,
                                                std::string_view slide_part,
                                                std::string_view image_path);

}  // namespace pelvane
