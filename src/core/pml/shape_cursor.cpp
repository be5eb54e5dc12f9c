#include "core/pml/shape_cursor.hpp"

namespace pelvane {

ShapeStart ShapeCursor::start(const XmlEvent& event) {
  if (!event.is_start()) return ShapeStart::Other;
  const std::string_view name = event.local_name();
  if (group_index_) {
    if (name == "grpSp") {
      if (group_depth_ > 0) ++group_depth_;
      if (groups_++ == *group_index_) {
        group_depth_ = 1;
        shapes_ = 0;
      }
      return ShapeStart::Other;
    }
    if (group_depth_ != 1) return ShapeStart::Other;
  }
  if (name != "sp") return ShapeStart::Other;
  if (shapes_++ == shape_index_) {
    in_shape_ = true;
    return ShapeStart::Addressed;
  }
  if (counting_.next_shape_leaves) in_shape_ = false;
  return in_shape_ ? ShapeStart::Inner : ShapeStart::Other;
}

void ShapeCursor::end(const XmlEvent& event) {
  if (!event.is_end()) return;
  const std::string_view name = event.local_name();
  if (in_shape_ && name == "sp")
    in_shape_ = false;
  else if (group_depth_ > 0 && name == "grpSp")
    --group_depth_;
}

}  // namespace pelvane
