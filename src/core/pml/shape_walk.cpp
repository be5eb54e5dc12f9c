#include "core/pml/shape_walk.hpp"

#include <algorithm>
#include <array>
#include <cstdint>

#include "core/xml/markup_search.hpp"
#include "core/xml/xml_splice.hpp"

namespace pelvane {

namespace {

// Tried in this order; the earliest position wins.
constexpr std::array<std::string_view, 5> kShapeTags = {"p:sp", "p:pic", "p:graphicFrame",
                                                        "p:grpSp", "p:cxnSp"};

constexpr std::string_view kAlternateContentOpen = "<mc:AlternateContent";
constexpr std::string_view kAlternateContentClose = "</mc:AlternateContent>";

// The offset and extent of the transform element `name` whose start tag is at `start`: `a:off`
// x, y and `a:ext` cx, cy, a missing or malformed value read as 0; none without its end tag or
// either child.
std::optional<TransformSummary> read_transform(std::string_view text, std::size_t start,
                                               std::string_view name) {
  const auto end = find_element_end(text, start, name);
  if (!end) return std::nullopt;
  const std::string_view xfrm = text.substr(start, *end - start);
  const auto offset = element_start_tag(xfrm, "a:off");
  const auto extent = element_start_tag(xfrm, "a:ext");
  if (!offset || !extent) return std::nullopt;
  return TransformSummary{attribute_i64(*offset, "x"), attribute_i64(*offset, "y"),
                          attribute_i64(*extent, "cx"), attribute_i64(*extent, "cy")};
}

}  // namespace

std::optional<ShapeStart> find_next_shape_start(std::string_view text, std::size_t from) {
  // One forward pass: at each "<p:" try the five names. A name must be followed by white space,
  // "/" or ">", so at most one of them matches at any offset, and the first match is the
  // earliest shape start of any kind.
  std::size_t pos = from;
  while (pos < text.size()) {
    const std::size_t lt = find_in_markup(text, "<p:", pos);
    if (lt == std::string_view::npos) return std::nullopt;
    for (std::string_view tag : kShapeTags) {
      if (is_start_tag_at(text, lt, tag)) return ShapeStart{lt, tag};
    }
    pos = lt + 1;
  }
  return std::nullopt;
}

namespace {

// The last occurrence in markup of a pattern lying wholly before a limit, for limits that only
// grow: each occurrence is found once, so a walk over many shapes stays linear.
class LastOccurrence {
 public:
  LastOccurrence(std::string_view text, std::string_view pattern)
      : text_(text), pattern_(pattern), next_(find_in_markup(text, pattern)) {}

  std::size_t before(std::size_t limit) {
    while (next_ != std::string_view::npos && next_ + pattern_.size() <= limit) {
      last_ = next_;
      next_ = find_in_markup(text_, pattern_, next_ + 1);
    }
    return last_;
  }

 private:
  std::string_view text_;
  std::string_view pattern_;
  std::size_t next_;
  std::size_t last_ = std::string_view::npos;
};

// The ends of mc:AlternateContent elements by the element-end rule (`find_element_end`), for
// any number of start offsets, from one pass over the wrapper tags of the text. Searching from
// each of many wrappers left open would read the rest of the text once per wrapper.
//
// Start tags that do not close themselves raise the depth and end tags lower it; an element
// whose opening pattern ends before mark i, and before no earlier mark, ends at the first later
// end tag that brings the depth below what it was before mark i.
class WrapperEnds {
 public:
  explicit WrapperEnds(std::string_view text) : text_(text) {}

  std::optional<std::size_t> end_of(std::size_t start) {
    if (!built_) build();
    if (is_start_tag_at(text_, start, kTag) && tag_closes_itself(text_, start))
      return tag_end(text_, start);
    const std::size_t after_opening = start + kAlternateContentOpen.size();
    // The first mark at or after the opening pattern; marks_[0] stands before the text.
    const auto first =
        std::lower_bound(marks_.begin() + 1, marks_.end(), after_opening,
                         [](const Mark& mark, std::size_t offset) { return mark.offset < offset; });
    const std::size_t end_mark = falls_below_[static_cast<std::size_t>(first - marks_.begin()) - 1];
    if (end_mark == kNone) return std::nullopt;
    return marks_[end_mark].offset + kAlternateContentClose.size();
  }

 private:
  static constexpr std::string_view kTag = "mc:AlternateContent";
  static constexpr std::size_t kNone = std::string_view::npos;
  struct Mark {
    std::size_t offset;
    std::int64_t depth;  // after the mark
  };

  void build() {
    built_ = true;
    marks_.push_back({0, 0});
    std::size_t close = find_in_markup(text_, kAlternateContentClose);
    std::optional<std::size_t> open = find_tag_start(text_, 0, kTag);
    std::int64_t depth = 0;
    while (close != std::string_view::npos || open) {
      if (close != std::string_view::npos && (!open || close < *open)) {
        marks_.push_back({close, --depth});
        close = find_in_markup(text_, kAlternateContentClose, close + 1);
        continue;
      }
      if (!tag_closes_itself(text_, *open)) marks_.push_back({*open, ++depth});
      open = find_tag_start(text_, *open + 1, kTag);
    }
    // For each mark, the first later one whose depth is lower.
    falls_below_.assign(marks_.size(), kNone);
    std::vector<std::size_t> waiting;
    for (std::size_t i = 0; i < marks_.size(); ++i) {
      while (!waiting.empty() && marks_[waiting.back()].depth > marks_[i].depth) {
        falls_below_[waiting.back()] = i;
        waiting.pop_back();
      }
      waiting.push_back(i);
    }
  }

  std::string_view text_;
  bool built_ = false;
  std::vector<Mark> marks_;
  std::vector<std::size_t> falls_below_;
};

}  // namespace

std::vector<std::string_view> extract_shape_blocks(std::string_view text) {
  std::vector<std::string_view> blocks;
  LastOccurrence wrapper_open(text, kAlternateContentOpen);
  LastOccurrence wrapper_close(text, kAlternateContentClose);
  WrapperEnds wrapper_ends(text);
  // The last wrapper found not to hold the shape after it (it has no end, or it closed itself)
  // holds no later shape either; its end is not searched for again for each of them.
  std::size_t empty_wrapper = std::string_view::npos;
  std::size_t pos = 0;
  while (const auto shape = find_next_shape_start(text, pos)) {
    // A shape inside a still-open mc:AlternateContent: the wrapper is passed over whole, its
    // choice and fallback branches with it.
    const std::size_t open = wrapper_open.before(shape->offset);
    if (open != std::string_view::npos && open != empty_wrapper) {
      const std::size_t close = wrapper_close.before(shape->offset);
      if (close == std::string_view::npos || close < open) {
        const auto wrapper_end = wrapper_ends.end_of(open);
        if (wrapper_end && *wrapper_end > shape->offset) {
          pos = *wrapper_end;
          continue;
        }
        empty_wrapper = open;
      }
    }
    const auto end = find_element_end(text, shape->offset, shape->tag);
    if (!end) break;
    blocks.push_back(text.substr(shape->offset, *end - shape->offset));
    pos = *end;
  }
  return blocks;
}

std::optional<TransformSummary> first_transform(std::string_view text, std::size_t drawing_from,
                                                std::size_t frame_from) {
  if (const auto start = find_tag_start(text, drawing_from, "a:xfrm")) {
    return read_transform(text, *start, "a:xfrm");
  }
  if (const auto start = find_tag_start(text, frame_from, "p:xfrm")) {
    return read_transform(text, *start, "p:xfrm");
  }
  return std::nullopt;
}

}  // namespace pelvane
