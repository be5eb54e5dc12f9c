#include "core/shapes/shape_insertion.hpp"

namespace pelvane {

Result<Edited<std::uint64_t>> insert_shape_into_slide(std::string_view input,
                                                      std::string_view output,
                                                      std::uint64_t slide_index,
                                                      const InsertionTarget& target,
                                                      const ShapeFragmentBuilder& build_fragment,
                                                      std::uint64_t fragment_ids) {
  return edit_slide(input, output, slide_index, kRawCopyEdit,
                    [&](SlideEdit& slide) -> Result<std::uint64_t> {
                      return insert_new_shape(slide.xml(), target, build_fragment, fragment_ids);
                    });
}

}  // namespace pelvane
