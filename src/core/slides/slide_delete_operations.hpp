// Deleting slides: the slides go with every part that only they reach through relationships
// (notes, comments, charts with their workbooks, pictures no other slide shows), those parts'
// relationships parts and content-type overrides; the slides that remain may take a new order in
// the same pass.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"
#include "core/model/models.hpp"

namespace pelvane {

// Deletes the slide parts `target_slide_parts` (part names without a leading "/", compared byte
// for byte) and writes the package to `output`; with `ordered_survivor_parts`, the slides that
// remain are listed in that order. The presentation, its relationships and the content types are
// written anew, every other kept entry with unchanged content (decompressed and compressed
// again, a directory as an empty entry), dropped entries not at all. Every presentation
// relationship that reaches a deleted slide goes, with every slide-list, custom-show and section
// entry that names one of them.
//
// Checks, in this order, each `InvalidInput` (the output's parent directories are created
// first; the first two checks come before the input is opened):
//   "no target slide parts specified for deletion";
//   "duplicate target slide part specified for deletion: {0}";
//   "target slide part {0} was not found in the presentation";
//   "cannot delete all slides; presentation must contain at least one slide";
//   "presentation relationship for slide part {0} was not found";
//   "ordered survivor parts count ({0}) does not match surviving slides count ({1})";
//   then for each survivor name in turn: "deleted slide part {0} cannot be included in ordered
//   survivors", "duplicate survivor slide part in ordered survivors: {0}", "survivor slide part
//   {0} was not found in the presentation" (a name that is no surviving slide).
// An absent presentation part, presentation relationships or content types is `Zip`.
Result<SlideDeleteSummary> delete_slides(
    std::string_view input, std::string_view output,
    std::span<const std::string> target_slide_parts,
    const std::optional<std::vector<std::string>>& ordered_survivor_parts);

}  // namespace pelvane
