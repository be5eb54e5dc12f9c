#include "core/pml/shape_cursor.hpp"

namespace pelvane {

TopLevelPlace TopLevelShapeCursor::place(const XmlEvent& event) {
  if (shape_depth_ > 0) {
    const bool shape =
        (event.is_start() || event.is_end()) && is_shape_element_name(event.local_name());
    if (shape && event.is_start()) {
      ++shape_depth_;
      return TopLevelPlace::Nested;
    }
    if (shape && event.is_end()) --shape_depth_;
    return shape_depth_ <= 1 ? TopLevelPlace::Own : TopLevelPlace::Nested;
  }
  if (!counts_addressed(event)) return TopLevelPlace::Outside;
  found_ = true;
  if (event.is_start()) shape_depth_ = 1;
  return TopLevelPlace::Addressed;
}

bool TopLevelShapeCursor::counts_addressed(const XmlEvent& event) {
  if (!event.is_tag() && !event.is_end()) return false;
  const std::string_view name = event.local_name();
  if (reading_ == TopLevel::OutsideShapes) {
    if (event.is_empty() || !is_shape_element_name(name)) return false;
    if (event.is_end()) {
      if (depth_ > 0) --depth_;
      return false;
    }
    if (depth_++ > 0) return false;
    if (shapes_++ != shape_index_) return false;
    depth_ = 0;  // the addressed shape is followed by `shape_depth_`
    return true;
  }
  if (!in_tree_) {
    if (event.is_start() && name == "spTree") {
      in_tree_ = true;
      depth_ = 1;
    }
    return false;
  }
  if (event.is_tag() && depth_ == 1 && is_shape_element_name(name) && shapes_++ == shape_index_)
    return true;
  if (event.is_start()) {
    ++depth_;
  } else if (event.is_end()) {
    if (depth_ == 1 && name == "spTree") in_tree_ = false;
    if (depth_ > 0) --depth_;
  }
  return false;
}

}  // namespace pelvane
