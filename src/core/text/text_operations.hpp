// The text edits that write a package: search and replace over one slide or every slide, the
// text of one run, of one shape and of one paragraph.
//
// Each opens the input, rewrites the slide (or every slide part) with the family's rewrite and
// writes a complete new package: entries in input order, each written again with its own
// compression method (a stored entry stays stored), time 1980-01-01 00:00:00 and mode 0644,
// directories as directory entries. A slide index that addresses no slide is `InvalidInput`
// "slide index {0} was not found" before any output exists; a failure leaves no output.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/models.hpp"

namespace pelvane {

// `search` replaced by `replacement` in the slide at `slide_index`, or, without one, in every
// entry named "ppt/slides/slide{digits}.xml" whether or not the presentation lists it. An
// empty search edits nothing and reports 0.
Result<TextReplacementSummary> replace_slide_text_inner(std::string_view input,
                                                        std::string_view output,
                                                        std::optional<std::uint64_t> slide_index,
                                                        std::string_view search,
                                                        std::string_view replacement);

Result<TextRunReplacementSummary> replace_slide_text_run_at_index(std::string_view input,
                                                                  std::string_view output,
                                                                  std::uint64_t slide_index,
                                                                  std::uint64_t run_index,
                                                                  std::string_view replacement);

Result<ShapeTextSetSummary> set_slide_shape_text_at_index(std::string_view input,
                                                          std::string_view output,
                                                          std::uint64_t slide_index,
                                                          std::uint64_t shape_index,
                                                          std::string_view replacement);

Result<ParagraphTextSetSummary> set_slide_shape_paragraph_text_at_index(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t shape_index, std::uint64_t paragraph_index, std::string_view replacement);

}  // namespace pelvane
