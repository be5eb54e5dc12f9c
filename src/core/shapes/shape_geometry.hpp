// Shape geometry: the offset and extent of a top-level shape or of a group's child, as a
// streaming rewrite `(xml, args...) -> Result<RewriteOutput>` (pml/slide_rewrite.hpp). An index
// that addresses nothing is no error: the slide comes back re-serialised with a count of 0;
// malformed XML fails with the reader's error (Xml). Elements are recognised by local name,
// whatever their prefix.
//
// The target's own transform (`xfrm`, not one of a shape inside it) gets `x`, `y` on its first
// `off` and `cx`, `cy` on its first `ext`, in place or appended; nothing is created, and a
// group's `chOff` and `chExt` are never touched. Count 1 when an offset or an extent was
// rewritten, else 0.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/base/error.hpp"
#include "core/pml/slide_rewrite.hpp"

namespace pelvane {

// The `shape_index`-th top-level shape (sp, pic, cxnSp, grpSp, graphicFrame not inside another
// shape; a group counts as one).
Result<RewriteOutput> set_shape_geometry_at_index_in_slide(std::string_view xml,
                                                           std::uint64_t shape_index,
                                                           std::int64_t x, std::int64_t y,
                                                           std::int64_t cx, std::int64_t cy);

// The `child_index`-th direct child (sp, pic, cxnSp, graphicFrame; nested groups are neither
// counted nor searched) of the `group_index`-th group (every `grpSp` in document order).
Result<RewriteOutput> set_group_shape_child_geometry_in_slide(std::string_view xml,
                                                              std::uint64_t group_index,
                                                              std::uint64_t child_index,
                                                              std::int64_t x, std::int64_t y,
                                                              std::int64_t cx, std::int64_t cy);

}  // namespace pelvane
