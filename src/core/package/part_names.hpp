// Pure functions over part names: natural order, slide and layout recognition, relationships
// part names and free numbered names for new parts. Part names carry no leading "/".
#pragma once

#include <compare>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace pelvane {

// One element of a natural sort key: a run of non-digits (compared byte-wise) or a run of
// ASCII digits (compared by value). At one position a text chunk sorts before a number chunk.
struct NaturalChunk {
  enum class Kind { Text, Number };  // declaration order is the sort order
  Kind kind = Kind::Text;
  std::string text;          // Text chunks only
  std::uint64_t number = 0;  // Number chunks only; a run too large for 64 bits reads as 0

  static NaturalChunk from(std::string_view run, bool is_digits);

  friend bool operator==(const NaturalChunk&, const NaturalChunk&) = default;
  friend std::strong_ordering operator<=>(const NaturalChunk& a, const NaturalChunk& b);
};

using NaturalKey = std::vector<NaturalChunk>;

NaturalKey natural_key(std::string_view name);
// Compares two names by natural key without building the keys.
std::strong_ordering natural_compare(std::string_view a, std::string_view b);
inline bool natural_less(std::string_view a, std::string_view b) {
  return natural_compare(a, b) < 0;
}
// Stable sort by natural key: names with equal keys keep their order.
void sort_natural(std::vector<std::string>& names);

// "ppt/slides/slide" + one or more ASCII digits + ".xml".
bool is_slide_part(std::string_view name);
// "ppt/slideLayouts/slideLayout" + one or more ASCII digits + ".xml".
bool is_slide_layout_part(std::string_view name);
// The number between "ppt/slides/slide" and ".xml" (an optional leading "+" accepted).
std::optional<std::uint64_t> slide_number(std::string_view name);
// "dir/file" -> "dir/_rels/file.rels"; a name without "/" -> "_rels/name.rels".
std::string relationship_part_name(std::string_view name);
// The template's directory and stem prefix (trailing digits removed) with the smallest free
// number from 1 and the template's extension; the chosen name is added to `in_use`.
std::string next_free_numbered_part(std::set<std::string>& in_use, std::string_view template_name);

}  // namespace pelvane
