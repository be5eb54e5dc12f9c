// The shared strings part of a workbook: which item holds a text, the texts an update adds, and
// the rewritten part with its counters corrected. Two streaming passes, no document tree.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {

class SharedStringTable {
 public:
  // Reads the items (`si` elements at any depth, not inside another item) of the part. An item
  // is reusable when its only child element is one `t`; its text joins the `t`'s text, CDATA
  // and references, decoded. A text keeps the index of its first item. A reader error is `Xml`.
  static Result<SharedStringTable> parse(std::string_view part);

  // The index of an item holding exactly `text`; a text not held yet is appended (once) and
  // gets the next index.
  std::uint64_t string_index(std::string_view text);

  // The part with the appended texts written as new items and the root's counters corrected:
  // `count` (when it is a signed decimal) plus `reference_delta`, never below 0; `uniqueCount`
  // (when present) the number of items. New items go before a direct `extLst` of the root, else
  // before its end tag. `part` is the text that was parsed. A reader error is `Xml`.
  Result<std::string> rewrite(std::string_view part, std::int64_t reference_delta) const;

  // The root's start tag with its counters corrected, every other attribute kept in place.
  static XmlStartTag root_start(std::uint64_t unique_count, std::uint64_t appended_count,
                                const XmlEvent& root, std::int64_t reference_delta);

  // One item per text: <{prefix}si><{prefix}t>text</{prefix}t></{prefix}si>.
  static void write_appended(std::span<const std::string> appended, XmlWriter& writer,
                             std::string_view prefix);

  std::uint64_t unique_count() const { return unique_count_; }
  const std::vector<std::string>& appended() const { return appended_; }
  // The index a text maps to, or none (for tests and callers that only look).
  std::optional<std::uint64_t> find(std::string_view text) const;

 private:
  std::vector<std::string> appended_;
  std::map<std::string, std::uint64_t, std::less<>> index_by_text_;
  std::uint64_t unique_count_ = 0;
};

}  // namespace pelvane
