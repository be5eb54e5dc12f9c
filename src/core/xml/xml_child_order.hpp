// Where a new child element goes inside a parent whose children the schema orders.
//
// Each table gives the rank of a direct child's local name in the parent's schema sequence.
// A streaming rewrite that adds a child of rank r writes it just before the first kept direct
// child whose known rank is above r, or just before the parent's end tag when none comes. A
// child the table does not know (an `mc:AlternateContent`, say) has no rank and never stops a
// new child. The tables live with the vocabulary they order: pml/slide_child_order.hpp and
// workbook/sheet_child_order.hpp.
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "core/xml/xml_events.hpp"

namespace pelvane {

struct ChildRank {
  std::string_view local_name;
  int rank;
};

// The rank of a direct child's local name in `table`; none for a child the table does not know.
constexpr std::optional<int> child_rank(std::span<const ChildRank> table,
                                        std::string_view local_name) {
  const auto found = std::find_if(table.begin(), table.end(), [&](const ChildRank& entry) {
    return entry.local_name == local_name;
  });
  if (found == table.end()) return std::nullopt;
  return found->rank;
}

// True when a new child of rank `new_rank` must be written before the kept direct child named
// `local_name` (its rank is known and above the new child's).
constexpr bool goes_before(std::span<const ChildRank> table, int new_rank,
                           std::string_view local_name) {
  const auto rank = child_rank(table, local_name);
  return rank && *rank > new_rank;
}

// The rank of a new child by its local name (the caller names a child the table knows).
constexpr int rank_of(std::span<const ChildRank> table, std::string_view local_name) {
  return child_rank(table, local_name).value_or(0);
}

// The place of one new child in a parent being streamed, found by the rule above. Call `enter`
// after the parent's start tag, then `reached` with every event inside the parent before it is
// written; both take the reader's depth after that event (`XmlReader::depth`), so that a child
// that the caller consumes whole in between does not disturb the count. `reached` answers true
// once: at the first direct child ranked after the new child, or at the parent's end tag when
// none comes. The caller decides there whether to write the new child.
class ChildSlot {
 public:
  ChildSlot(std::span<const ChildRank> table, std::string_view new_child)
      : table_(table), rank_(rank_of(table, new_child)) {}

  void enter(std::size_t depth) {
    parent_depth_ = depth;
    reached_ = false;
  }

  bool reached(const XmlEvent& event, std::size_t depth) {
    if (reached_) return false;
    if (event.is_end())
      reached_ = depth + 1 == parent_depth_;
    else if (event.is_tag())
      reached_ = depth == parent_depth_ + (event.is_start() ? 1 : 0) &&
                 goes_before(table_, rank_, event.local_name());
    return reached_;
  }

 private:
  std::span<const ChildRank> table_;
  int rank_;
  std::size_t parent_depth_ = 0;
  bool reached_ = true;  // inert until `enter`
};

}  // namespace pelvane
