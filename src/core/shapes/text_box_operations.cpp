#include "core/shapes/text_box_operations.hpp"

#include "core/shapes/shape_insertion.hpp"
#include "core/shapes/xml_text_box_builders.hpp"

namespace pelvane {

Result<TextBoxAddSummary> add_slide_text_box_with_target(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    const InsertionTarget& target, std::uint64_t x_emu, std::uint64_t y_emu, std::uint64_t cx_emu,
    std::uint64_t cy_emu, std::optional<std::string_view> text) {
  const TextBoxArgs args{{x_emu, y_emu, cx_emu, cy_emu}, text};
  auto edited = PELVANE_TRY(insert_shape_into_slide(
      input, output, slide_index, target,
      [&](std::uint64_t shape_id) { return text_box_shape_xml(shape_id, args); }));
  return shape_record<TextBoxAddSummary>(output, edited);
}

}  // namespace pelvane
