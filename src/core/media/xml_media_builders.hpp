// The slide fragments of media: a picture, a movie picture with its timing node, and an
// embedded object shown as an icon. Templates are written without white space between
// elements; numbers as unsigned decimals; ids, names and the program identifier escaped as
// attribute values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/pml/xml_builders.hpp"

namespace pelvane {

// ---- Pictures ----

// A `p:pic` named "Picture {id - 1}" that stretches the image of `relationship_id` over the box.
std::string picture_xml(std::uint64_t shape_id, std::string_view relationship_id,
                        const EmuBox& box);

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

}  // namespace pelvane
