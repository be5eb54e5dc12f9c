#include "core/shapes/shape_geometry.hpp"

#include <string>

#include "core/pml/shape_cursor.hpp"
#include "core/pml/shape_tree.hpp"
#include "core/xml/xml_event_helpers.hpp"

namespace pelvane {

namespace {

// The target's own transform: `x` and `y` on its first `off`, `cx` and `cy` on its first
// `ext`, each at most once per pass, whatever the element's prefix and form.
class TransformRewrite {
 public:
  TransformRewrite(std::int64_t x, std::int64_t y, std::int64_t cx, std::int64_t cy)
      : x_(std::to_string(x)),
        y_(std::to_string(y)),
        cx_(std::to_string(cx)),
        cy_(std::to_string(cy)) {}

  // Every event inside the target; `own` when it is not inside a shape nested in the target.
  // True when the event was written rewritten.
  bool rewrite(const XmlEvent& event, XmlWriter& writer, bool own) {
    if (!event.is_tag() && !event.is_end()) return false;
    const std::string_view name = event.local_name();
    if (!in_transform_) {
      in_transform_ = event.is_start() && own && name == "xfrm";
      return false;
    }
    if (event.is_end()) {
      if (name == "xfrm") in_transform_ = false;
      return false;
    }
    if (!offset_done_ && name == "off") {
      writer.write_tag_as(event, rewrite_event_attributes(event, {{"x", x_}, {"y", y_}}));
      offset_done_ = true;
      return true;
    }
    if (!extent_done_ && name == "ext") {
      writer.write_tag_as(event, rewrite_event_attributes(event, {{"cx", cx_}, {"cy", cy_}}));
      extent_done_ = true;
      return true;
    }
    return false;
  }

  std::uint64_t count() const { return offset_done_ || extent_done_ ? 1 : 0; }

 private:
  std::string x_, y_, cx_, cy_;
  bool in_transform_ = false;
  bool offset_done_ = false;
  bool extent_done_ = false;
};

}  // namespace

Result<RewriteOutput> set_shape_geometry_at_index_in_slide(std::string_view xml,
                                                           std::uint64_t shape_index,
                                                           std::int64_t x, std::int64_t y,
                                                           std::int64_t cx, std::int64_t cy) {
  SlideStream stream(xml);
  TransformRewrite transform(x, y, cx, cy);
  TopLevelShapeCursor target(shape_index, TopLevel::OutsideShapes);
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(transform.count());
    const TopLevelPlace place = target.place(event);
    if (place != TopLevelPlace::Outside &&
        transform.rewrite(event, stream.writer, place != TopLevelPlace::Nested))
      continue;
    stream.writer.write_event(event);
  }
}

Result<RewriteOutput> set_group_shape_child_geometry_in_slide(std::string_view xml,
                                                              std::uint64_t group_index,
                                                              std::uint64_t child_index,
                                                              std::int64_t x, std::int64_t y,
                                                              std::int64_t cx, std::int64_t cy) {
  SlideStream stream(xml);
  TransformRewrite transform(x, y, cx, cy);
  std::uint64_t groups = 0;
  std::uint64_t children = 0;   // direct children of the addressed group
  std::size_t group_level = 0;  // 1 directly inside the addressed group, 0 outside it
  std::size_t child_depth = 0;  // shape elements open inside the addressed child, 0 outside it
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(transform.count());
    const std::string_view name =
        event.is_start() || event.is_end() ? event.local_name() : std::string_view{};
    const bool shape = is_shape_element_name(name);
    if (event.is_start()) {
      if (child_depth > 0) {
        if (shape) ++child_depth;
      } else if (name == "grpSp") {
        if (group_level > 0)
          ++group_level;
        else if (groups == group_index)
          group_level = 1;
        ++groups;
      } else if (group_level == 1 && shape && children++ == child_index) {
        child_depth = 1;
      }
    }
    if (child_depth > 0 && transform.rewrite(event, stream.writer, child_depth == 1)) continue;
    stream.writer.write_event(event);
    if (event.is_end()) {
      if (child_depth > 0) {
        if (shape) --child_depth;
      } else if (name == "grpSp" && group_level > 0) {
        --group_level;
      }
    }
  }
}

}  // namespace pelvane
