#include "core/shapes/auto_shape_operations.hpp"

#include "core/shapes/shape_insertion.hpp"
#include "core/shapes/xml_auto_shape_builders.hpp"

namespace pelvane {

Result<AutoShapeAddSummary> add_slide_auto_shape_with_target(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    const InsertionTarget& target, std::string_view preset_geometry, std::uint64_t x_emu,
    std::uint64_t y_emu, std::uint64_t cx_emu, std::uint64_t cy_emu,
    std::optional<std::string_view> text, std::span<const AdjustmentGuide> adjustment_guides) {
  const AutoShapeArgs args{
      preset_geometry, {x_emu, y_emu, cx_emu, cy_emu}, text, adjustment_guides};
  // A refused preset touches nothing on disk.
  auto display_name = PELVANE_TRY(auto_shape_display_name(args.preset_geometry));
  auto edited = PELVANE_TRY(insert_shape_into_slide(
      input, output, slide_index, target,
      [&](std::uint64_t shape_id) { return auto_shape_xml(shape_id, display_name, args); }));
  AutoShapeAddSummary record;
  record.preset_geometry = std::string(args.preset_geometry);
  return shape_record(output, edited, std::move(record));
}

}  // namespace pelvane
