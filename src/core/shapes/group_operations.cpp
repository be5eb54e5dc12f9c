#include "core/shapes/group_operations.hpp"

#include "core/shapes/shape_insertion.hpp"
#include "core/shapes/xml_group_builders.hpp"

namespace pelvane {

namespace {

Result<GroupShapeAddSummary> add_empty_group(std::string_view input, std::string_view output,
                                             std::uint64_t slide_index,
                                             const InsertionTarget& target) {
  auto edited = PELVANE_TRY(insert_shape_into_slide(
      input, output, slide_index, target,
      [](std::uint64_t id) -> Result<std::string> { return empty_group_shape_xml(id); }));
  return shape_record<GroupShapeAddSummary>(output, edited);
}

// The gathering rewrites the container itself instead of splicing at a target.
Result<GroupShapeAddSummary> gather_children(std::string_view input, std::string_view output,
                                             std::uint64_t slide_index,
                                             const GroupAddress& container,
                                             std::span<const std::uint64_t> child_indices) {
  auto edited = PELVANE_TRY(edit_slide(
      input, output, slide_index, EditOptions{}, [&](SlideEdit& slide) -> Result<std::uint64_t> {
        const std::uint64_t id = PELVANE_TRY(next_shape_id(slide.xml()));
        slide.xml() = PELVANE_TRY(
            group_existing_group_children_xml(slide.xml(), container, child_indices, id));
        return id;
      }));
  return shape_record<GroupShapeAddSummary>(output, edited);
}

}  // namespace

Result<GroupShapeAddSummary> add_slide_group_shape(std::string_view input, std::string_view output,
                                                   std::uint64_t slide_index) {
  return add_empty_group(input, output, slide_index, InsertionTarget::slide());
}

Result<GroupShapeAddSummary> add_slide_nested_group_shape(std::string_view input,
                                                          std::string_view output,
                                                          std::uint64_t slide_index,
                                                          std::uint64_t group_index) {
  return add_empty_group(input, output, slide_index, InsertionTarget::group(group_index));
}

Result<GroupShapeAddSummary> add_slide_group_shape_to_nested_group(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index) {
  return add_empty_group(input, output, slide_index,
                         InsertionTarget::nested_group(group_index, nested_group_child_index));
}

Result<GroupShapeAddSummary> add_slide_group_shape_to_deeper_nested_group(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t deeper_group_child_index) {
  return add_empty_group(input, output, slide_index,
                         InsertionTarget::deeper_nested_group(group_index, nested_group_child_index,
                                                              deeper_group_child_index));
}

Result<GroupShapeAddSummary> group_slide_existing_group_children(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::span<const std::uint64_t> child_indices) {
  return gather_children(input, output, slide_index, GroupAddress{group_index, {}, {}},
                         child_indices);
}

Result<GroupShapeAddSummary> group_slide_existing_nested_group_children(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::span<const std::uint64_t> child_indices) {
  return gather_children(input, output, slide_index,
                         GroupAddress{group_index, nested_group_child_index, {}}, child_indices);
}

Result<GroupShapeAddSummary> group_slide_existing_deeper_nested_group_children(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t deeper_group_child_index, std::span<const std::uint64_t> child_indices) {
  return gather_children(
      input, output, slide_index,
      GroupAddress{group_index, nested_group_child_index, deeper_group_child_index}, child_indices);
}

}  // namespace pelvane
