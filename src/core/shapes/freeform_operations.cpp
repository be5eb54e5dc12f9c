#include "core/shapes/freeform_operations.hpp"

#include "core/shapes/shape_insertion.hpp"
#include "core/shapes/xml_freeform_builders.hpp"

namespace pelvane {

Result<FreeformShapeAddSummary> add_slide_freeform_shape_with_target(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    const InsertionTarget& target, std::int64_t x_emu, std::int64_t y_emu, std::int64_t cx_emu,
    std::int64_t cy_emu, std::int64_t path_w, std::int64_t path_h,
    std::span<const FreeformPathOperation> operations, std::optional<std::string_view> text) {
  const FreeformArgs args{{x_emu, y_emu, cx_emu, cy_emu}, path_w, path_h, operations, text};
  auto edited = PELVANE_TRY(insert_shape_into_slide(
      input, output, slide_index, target,
      [&](std::uint64_t shape_id) { return freeform_shape_xml(shape_id, args); }));
  return shape_record<FreeformShapeAddSummary>(output, edited);
}

}  // namespace pelvane
