// Edit batches: many edits of a package applied in one pass. Every slide that the batch
// addresses is read once and edited in memory, at most one slide reorder is applied to the
// presentation part, relationships that removed shapes no longer need are pruned, and the
// package is written once, only after every edit has succeeded: a batch either applies whole or
// writes nothing.
#pragma once

#include <cstdint>
#include <set>
#include <span>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/input_models.hpp"
#include "core/model/models.hpp"
#include "core/pml/slide_rewrite.hpp"

namespace pelvane {

// ---- One slide ----

// Hands one edit to the slide rewrite of its kind and returns that rewrite's result. The three
// kinds that are not slide rewrites (a slide reorder and the two shape deletions) are refused
// with InvalidInput "package-level edit reached the slide edit loop".
Result<RewriteOutput> apply_to_slide(const EditOperation& operation, std::string_view xml);

struct SlideEditResult {
  std::string bytes;
  std::uint64_t count = 0;
  std::set<std::string> prune_ids;  // relationship ids no element of the slide uses any more
};

// Applies a slide's edits in list order, except that deletions come after every other edit:
// first the group children, in list order, then the top-level shapes, largest index first, so
// that an index always means the shape's position before any deletion. Directly following
// run-formatting edits are one pass, and so are directly following cell-text edits up to the
// first that addresses a cell already in the run. A repeated deletion is refused before any
// deletion of its kind ("group child shape id {0} in group {1} is deleted more than once",
// "shape index {0} is deleted more than once"), a slide reorder at once ("slide reorder reached
// the slide edit loop"). The count adds up the rewrites' counts and 1 per deletion. The slide's
// text is taken over, not copied: each rewrite holds it and its own result, no more.
Result<SlideEditResult> apply_slide_edit_operations(std::string xml,
                                                    std::span<const EditOperation> operations);

// ---- The package ----

// Applies the edits to the package at `input` and writes the result to `output` (the same path
// will do): slides grouped by part name and edited in byte-wise order of those names, unchanged
// entries copied raw, the output and its parent directories created only after every edit has
// succeeded. Failures before anything is read: InvalidInput "edit batch contains more than one
// slide reorder", "slide index {0} was not found". A slide part or presentation part that the
// archive lacks is Zip "specified file not found in archive". `replacements` adds up the slides'
// counts, 1 for a reorder that changed the order, and the relationships pruned.
Result<EditBatchSummary> apply_edit_batch(std::string_view input, std::string_view output,
                                          std::span<const EditOperation> operations);

}  // namespace pelvane
