#include "core/shapes/text_box_operations.hpp"

#include "core/shapes/shape_insertion.hpp"
#include "core/shapes/xml_text_box_builders.hpp"

namespace pelvane {

namespace {

Result<TextBoxAddSummary> add_text_box(std::string_view input, std::string_view output,
                                       std::uint64_t slide_index, const InsertionTarget& target,
                                       const TextBoxArgs& args) {
  auto edited = PELVANE_TRY(insert_shape_into_slide(
      input, output, slide_index, target,
      [&](std::uint64_t shape_id) { return text_box_shape_xml(shape_id, args); }));
  return shape_record<TextBoxAddSummary>(output, edited);
}

}  // namespace

Result<TextBoxAddSummary> add_slide_text_box_impl(std::string_view input, std::string_view output,
                                                  std::uint64_t slide_index, std::uint64_t x_emu,
                                                  std::uint64_t y_emu, std::uint64_t cx_emu,
                                                  std::uint64_t cy_emu,
                                                  std::optional<std::string_view> text) {
  return add_text_box(input, output, slide_index, InsertionTarget::slide(),
                      TextBoxArgs{{x_emu, y_emu, cx_emu, cy_emu}, text});
}

Result<TextBoxAddSummary> add_slide_group_text_box_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t x_emu, std::uint64_t y_emu, std::uint64_t cx_emu,
    std::uint64_t cy_emu, std::string_view text) {
  return add_text_box(input, output, slide_index, InsertionTarget::group(group_index),
                      TextBoxArgs{{x_emu, y_emu, cx_emu, cy_emu}, text});
}

Result<TextBoxAddSummary> add_slide_nested_group_text_box_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index, std::uint64_t x_emu,
    std::uint64_t y_emu, std::uint64_t cx_emu, std::uint64_t cy_emu, std::string_view text) {
  return add_text_box(input, output, slide_index,
                      InsertionTarget::nested_group(group_index, nested_group_child_index),
                      TextBoxArgs{{x_emu, y_emu, cx_emu, cy_emu}, text});
}

Result<TextBoxAddSummary> add_slide_deeper_nested_group_text_box_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t deeper_group_child_index, std::uint64_t x_emu, std::uint64_t y_emu,
    std::uint64_t cx_emu, std::uint64_t cy_emu, std::string_view text) {
  return add_text_box(input, output, slide_index,
                      InsertionTarget::deeper_nested_group(group_index, nested_group_child_index,
                                                           deeper_group_child_index),
                      TextBoxArgs{{x_emu, y_emu, cx_emu, cy_emu}, text});
}

Result<TextBoxAddSummary> add_slide_nested_group_text_box_in_new_group_with_text(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t x_emu, std::uint64_t y_emu, std::uint64_t cx_emu,
    std::uint64_t cy_emu, std::string_view text) {
  return add_text_box(input, output, slide_index, InsertionTarget::new_group_in_group(group_index),
                      TextBoxArgs{{x_emu, y_emu, cx_emu, cy_emu}, text});
}

}  // namespace pelvane
