// Text boxes: a rectangle without fill or style whose frame does not wrap and grows to fit its
// text, and the builders that place it at each insertion target.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/pml/shape_tree.hpp"

namespace pelvane {

struct TextBoxArgs {
  std::uint64_t x_emu = 0;
  std::uint64_t y_emu = 0;
  std::uint64_t cx_emu = 0;
  std::uint64_t cy_emu = 0;
  // Absent: one empty paragraph "<a:p/>". Present (even empty): one paragraph per line.
  std::optional<std::string_view> text;
};

// The `p:sp` fragment of one text box named "TextBox {id - 1}". Fails only when the text
// holds a character XML cannot carry.
Result<std::string> text_box_shape_xml(std::uint64_t shape_id, const TextBoxArgs& args);

// The slide text with a new text box as the last shape of the target. For the new-group target
// `shape_id` is the text box's id and the group takes the one before it.
Result<std::string> add_text_box_to_target_xml(std::string_view slide_xml,
                                               const InsertionTarget& target,
                                               std::uint64_t shape_id, const TextBoxArgs& args);

inline Result<std::string> add_text_box_to_slide_xml(std::string_view slide_xml,
                                                     std::uint64_t shape_id,
                                                     const TextBoxArgs& args) {
  return add_text_box_to_target_xml(slide_xml, InsertionTarget::slide(), shape_id, args);
}

inline Result<std::string> add_text_box_to_group_shape_xml(std::string_view slide_xml,
                                                           std::uint64_t group_index,
                                                           std::uint64_t shape_id,
                                                           const TextBoxArgs& args) {
  return add_text_box_to_target_xml(slide_xml, InsertionTarget::group(group_index), shape_id, args);
}

inline Result<std::string> add_text_box_to_nested_group_shape_xml(
    std::string_view slide_xml, std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t shape_id, const TextBoxArgs& args) {
  return add_text_box_to_target_xml(
      slide_xml, InsertionTarget::nested_group(group_index, nested_group_child_index), shape_id,
      args);
}

inline Result<std::string> add_text_box_to_deeper_nested_group_shape_xml(
    std::string_view slide_xml, std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t deeper_group_child_index, std::uint64_t shape_id, const TextBoxArgs& args) {
  return add_text_box_to_target_xml(
      slide_xml,
      InsertionTarget::deeper_nested_group(group_index, nested_group_child_index,
                                           deeper_group_child_index),
      shape_id, args);
}

// The new group takes the id `shape_id - 1`.
inline Result<std::string> add_group_shape_with_text_box_to_group_shape_xml(
    std::string_view slide_xml, std::uint64_t group_index, std::uint64_t shape_id,
    const TextBoxArgs& args) {
  return add_text_box_to_target_xml(slide_xml, InsertionTarget::new_group_in_group(group_index),
                                    shape_id, args);
}

}  // namespace pelvane
