#include "core/shapes/group_operations.hpp"

#include "core/shapes/shape_insertion.hpp"
#include "core/shapes/xml_group_builders.hpp"

namespace pelvane {

Result<GroupShapeAddSummary> add_slide_group_shape_with_target(std::string_view input,
                                                               std::string_view output,
                                                               std::uint64_t slide_index,
                                                               const InsertionTarget& target) {
  auto edited = PELVANE_TRY(insert_shape_into_slide(
      input, output, slide_index, target,
      [](std::uint64_t id) -> Result<std::string> { return empty_group_shape_xml(id); }));
  return shape_record<GroupShapeAddSummary>(output, edited);
}

// The gathering rewrites the container itself instead of splicing at a target.
Result<GroupShapeAddSummary> group_slide_existing_children_with_target(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    const InsertionTarget& target, std::span<const std::uint64_t> child_indices) {
  const GroupAddress container = target.group_address();
  auto edited = PELVANE_TRY(edit_slide(
      input, output, slide_index, kRawCopyEdit, [&](SlideEdit& slide) -> Result<std::uint64_t> {
        const std::uint64_t id = PELVANE_TRY(next_shape_id(slide.xml()));
        slide.xml() = PELVANE_TRY(
            group_existing_group_children_xml(slide.xml(), container, child_indices, id));
        return id;
      }));
  return shape_record<GroupShapeAddSummary>(output, edited);
}

}  // namespace pelvane
