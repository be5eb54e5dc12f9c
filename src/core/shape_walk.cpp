#include "core/shape_walk.hpp"

#include <array>

#include "core/summary_search.hpp"
#include "core/xml_splice.hpp"

namespace pelvane {

namespace {

// Tried in this order; the earliest position wins.
constexpr std::array<std::string_view, 5> kShapeTags = {"p:sp", "p:pic", "p:graphicFrame", "p:grpSp", "p:cxnSp"};

constexpr std::string_view kAlternateContentOpen = "<mc:AlternateContent";
constexpr std::string_view kAlternateContentClose = "</mc:AlternateContent>";

}  // namespace

std::optional<ShapeStart> find_next_shape_start(std::string_view text, std::size_t from) {
  // One forward pass: at each "<p:" try the five names. A name must be followed by white space,
  // "/" or ">", so at most one of them matches at any offset, and the first match is the
  // earliest shape start of any kind.
  std::size_t pos = from;
  while (pos < text.size()) {
    const std::size_t lt = find_pattern(text, "<p:", pos);
    if (lt == std::string_view::npos) return std::nullopt;
    for (std::string_view tag : kShapeTags) {
      if (is_start_tag_at(text, lt, tag)) return ShapeStart{lt, tag};
    }
    pos = lt + 1;
  }
  return std::nullopt;
}

namespace {

// The last occurrence of a pattern lying wholly before a limit, for limits that only grow: each
// occurrence is found once, so a walk over many shapes stays linear.
class LastOccurrence {
 public:
  LastOccurrence(std::string_view text, std::string_view pattern)
      : text_(text), pattern_(pattern), next_(find_bytes(text, pattern)) {}

  std::size_t before(std::size_t limit) {
    while (next_ != std::string_view::npos && next_ + pattern_.size() <= limit) {
      last_ = next_;
      next_ = find_bytes(text_, pattern_, next_ + 1);
    }
    return last_;
  }

 private:
  std::string_view text_;
  std::string_view pattern_;
  std::size_t next_;
  std::size_t last_ = std::string_view::npos;
};

}  // namespace

std::vector<std::string_view> extract_shape_blocks(std::string_view text) {
  std::vector<std::string_view> blocks;
  LastOccurrence wrapper_open(text, kAlternateContentOpen);
  LastOccurrence wrapper_close(text, kAlternateContentClose);
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
        const auto wrapper_end = find_element_end(text, open, "mc:AlternateContent");
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

}  // namespace pelvane
