// The slide fragments of media: a picture, a movie picture with its timing node, an embedded
// object shown as an icon, and the builders that place them. Templates are written without
// white space between elements; numbers as unsigned decimals; ids, names and the program
// identifier escaped as attribute values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/pml/shape_tree.hpp"

namespace pelvane {

// Offset and extent of a frame in EMU.
struct EmuBox {
  std::uint64_t x = 0;
  std::uint64_t y = 0;
  std::uint64_t cx = 0;
  std::uint64_t cy = 0;
};

// ---- Pictures ----

// A `p:pic` named "Picture {id - 1}" that stretches the image of `relationship_id` over the box.
std::string picture_xml(std::uint64_t shape_id, std::string_view relationship_id,
                        const EmuBox& box);

// The slide text with a new picture as the last shape of the target. For the new-group target
// `shape_id` is the picture's id and the group takes the one before it.
Result<std::string> add_picture_to_target_xml(std::string_view slide_xml,
                                              const InsertionTarget& target,
                                              std::string_view relationship_id,
                                              std::uint64_t shape_id, const EmuBox& box);

inline Result<std::string> add_picture_to_slide_xml(std::string_view slide_xml,
                                                    std::string_view relationship_id,
                                                    std::uint64_t shape_id, const EmuBox& box) {
  return add_picture_to_target_xml(slide_xml, InsertionTarget::slide(), relationship_id, shape_id,
                                   box);
}

inline Result<std::string> add_picture_to_group_shape_xml(std::string_view slide_xml,
                                                          std::uint64_t group_index,
                                                          std::string_view relationship_id,
                                                          std::uint64_t shape_id,
                                                          const EmuBox& box) {
  return add_picture_to_target_xml(slide_xml, InsertionTarget::group(group_index), relationship_id,
                                   shape_id, box);
}

inline Result<std::string> add_picture_to_nested_group_shape_xml(
    std::string_view slide_xml, std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::string_view relationship_id, std::uint64_t shape_id, const EmuBox& box) {
  return add_picture_to_target_xml(
      slide_xml, InsertionTarget::nested_group(group_index, nested_group_child_index),
      relationship_id, shape_id, box);
}

inline Result<std::string> add_picture_to_deeper_nested_group_shape_xml(
    std::string_view slide_xml, std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t deeper_group_child_index, std::string_view relationship_id,
    std::uint64_t shape_id, const EmuBox& box) {
  return add_picture_to_target_xml(
      slide_xml,
      InsertionTarget::deeper_nested_group(group_index, nested_group_child_index,
                                           deeper_group_child_index),
      relationship_id, shape_id, box);
}

// The group takes `shape_id - 1`.
inline Result<std::string> add_picture_to_new_nested_group_shape_xml(
    std::string_view slide_xml, std::uint64_t group_index, std::string_view relationship_id,
    std::uint64_t shape_id, const EmuBox& box) {
  return add_picture_to_target_xml(slide_xml, InsertionTarget::new_group_in_group(group_index),
                                   relationship_id, shape_id, box);
}

// ---- Movies ----

struct MovieArgs {
  std::string_view video_relationship_id;   // the link to play
  std::string_view media_relationship_id;   // the embedded media
  std::string_view poster_relationship_id;  // the image shown before playback
  std::string_view name;
  EmuBox box;
};

// The movie picture: a `p:pic` whose video link, embedded media and poster image go through the
// three relationships.
std::string movie_picture_xml(std::uint64_t shape_id, const MovieArgs& args);

// The timing node that plays the movie picture `shape_id` as timing node `node_id`.
std::string video_timing_node_xml(std::uint64_t node_id, std::uint64_t shape_id);

// A new timing tree: root node 1 holding the video node 2 for `shape_id`.
std::string new_timing_tree_xml(std::uint64_t shape_id);

// Adds the video node of `shape_id` to the slide's timing. With a "<p:timing": before the first
// "</p:childTnLst>" after it, with the largest `p:cTn` id of the whole text plus one (no child
// list: the text unchanged). Without: a new timing tree before the last "</p:sld>", or before
// the slide's own `p:extLst` when it ends with one, since the schema puts the timing before it
// (no "</p:sld>": `InvalidInput` "slide XML is missing </p:sld>").
Result<std::string> add_video_timing_xml(std::string_view slide_xml, std::uint64_t shape_id);

// The slide text with the movie picture as the last shape of the shape tree and its timing node
// (`add_video_timing_xml`). No "</p:spTree>": `InvalidInput` "slide XML is missing </p:spTree>"
// before anything else. The slide's text is taken over and released before the timing pass.
Result<std::string> add_movie_to_slide_xml(std::string slide_xml, std::uint64_t shape_id,
                                           const MovieArgs& args);

// ---- Embedded objects ----

struct OleObjectArgs {
  std::string_view ole_relationship_id;   // the embedding part
  std::string_view icon_relationship_id;  // the icon image
  std::string_view prog_id;
  EmuBox box;                 // the frame and its icon picture
  std::uint64_t icon_cx = 0;  // written as imgW
  std::uint64_t icon_cy = 0;  // written as imgH
};

// The `p:graphicFrame` named "Object {id - 1}" holding the object shown as its icon. A program
// identifier holding a character XML cannot carry is refused (`check_xml_text`).
Result<std::string> ole_object_shape_xml(std::uint64_t shape_id, const OleObjectArgs& args);

// The slide text with the object frame as the last shape of the target (for the new-group
// target the group takes `shape_id - 1`).
Result<std::string> add_ole_object_to_target_xml(std::string_view slide_xml,
                                                 const InsertionTarget& target,
                                                 std::uint64_t shape_id, const OleObjectArgs& args);

inline Result<std::string> add_ole_object_to_slide_xml(std::string_view slide_xml,
                                                       std::uint64_t shape_id,
                                                       const OleObjectArgs& args) {
  return add_ole_object_to_target_xml(slide_xml, InsertionTarget::slide(), shape_id, args);
}

inline Result<std::string> add_ole_object_to_group_shape_xml(std::string_view slide_xml,
                                                             std::uint64_t group_index,
                                                             std::uint64_t shape_id,
                                                             const OleObjectArgs& args) {
  return add_ole_object_to_target_xml(slide_xml, InsertionTarget::group(group_index), shape_id,
                                      args);
}

inline Result<std::string> add_ole_object_to_nested_group_shape_xml(
    std::string_view slide_xml, std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t shape_id, const OleObjectArgs& args) {
  return add_ole_object_to_target_xml(
      slide_xml, InsertionTarget::nested_group(group_index, nested_group_child_index), shape_id,
      args);
}

inline Result<std::string> add_ole_object_to_deeper_nested_group_shape_xml(
    std::string_view slide_xml, std::uint64_t group_index, std::uint64_t nested_group_child_index,
    std::uint64_t deeper_group_child_index, std::uint64_t shape_id, const OleObjectArgs& args) {
  return add_ole_object_to_target_xml(
      slide_xml,
      InsertionTarget::deeper_nested_group(group_index, nested_group_child_index,
                                           deeper_group_child_index),
      shape_id, args);
}

inline Result<std::string> add_ole_object_to_new_nested_group_shape_xml(std::string_view slide_xml,
                                                                        std::uint64_t group_index,
                                                                        std::uint64_t shape_id,
                                                                        const OleObjectArgs& args) {
  return add_ole_object_to_target_xml(slide_xml, InsertionTarget::new_group_in_group(group_index),
                                      shape_id, args);
}

}  // namespace pelvane
