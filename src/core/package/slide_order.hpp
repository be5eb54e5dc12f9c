// Slide order: the slides in the order the presentation lists them, and slide and layout
// addressing by zero-based index.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"

namespace pelvane {

class PackageArchive;
struct XmlEvent;

// The presentation's slide list is the "sldIdLst" element (any prefix) that is a child of the
// root element, and its entries are its "sldId" children. Lists of the same names elsewhere, such
// as the section lists inside an extension, name slides for other purposes and are never read or
// rewritten as the slide list. Feed every event of a pass in order, with the reader's depth after
// it (`XmlReader::depth`); the events inside an entry are `Other`.
class SlideListScan {
 public:
  enum class Role { Other, ListStart, ListEmpty, Entry, ListEnd };
  Role classify(const XmlEvent& event, std::size_t depth);

 private:
  bool in_list_ = false;
};

// Where the presentation's slide list stands in its text.
struct SlideListPlace {
  std::string name;         // qualified, as written
  std::size_t end_tag = 0;  // where its end tag begins; for a self-closing tag, its "/>"
  bool self_closing = false;
};

// Finds the slide list (`SlideListScan`) among the events of one pass, fed as to the scan.
class SlideListFinder {
 public:
  // True once the list has been found whole: later events change nothing.
  bool add(const XmlEvent& event, std::size_t depth);
  // After the pass: the list, none when the text has none; a list the text never closes is
  // `XmlTextDecode` "expected closing marker </{name}>".
  Result<std::optional<SlideListPlace>> place() const;

 private:
  SlideListScan scan_;
  std::optional<SlideListPlace> place_;
  bool found_ = false;
};

// The slide parts in presentation order: the slide-id list of ppt/presentation.xml resolved
// through its slide relationships, used only when it names exactly the package's slide parts,
// each once; otherwise (or without a presentation part) the slide parts in natural order.
// Errors of the archive, of the presentation's XML (`Xml`) and of its relationships are passed up.
Result<std::vector<std::string>> slide_parts(PackageArchive& archive);

// A slide relationship of the presentation (the value of its Type ends with "/slide"): its id
// and target values as a record holds them, as views into the relationships part's bytes, or
// into the values unescaped beside them for raw text that needs unescaping. `part`: the slide
// part its target names (`resolve_presentation_target_into`), as the archive holds the name,
// when the listing resolved it on the way; empty otherwise.
struct SlideRelationship {
  std::string_view id;
  std::string_view target;
  std::string_view part;
};

// The part name that a target of the presentation's relationships names
// (`resolve_target_into` from ppt/presentation.xml), into `name`; a slide target written
// plainly is spared the path rules. True when the name is a slide part's (`is_slide_part`).
bool resolve_presentation_target_into(std::string_view target, std::string& name);

// Every slide relationship of a relationships part, in document order; values that need
// unescaping go into `unescaped`, which the views outlive no more than the bytes.
std::vector<SlideRelationship> slide_relationships(std::string_view relationships_bytes,
                                                   std::deque<std::string>& unescaped);

// The same slide parts, with the parts they were read from, for operations that go on to read or
// rewrite them (each is read once): ppt/presentation.xml and its relationships part, none when
// the package lacks them (the relationships part is read only with a presentation part).
struct PresentationSlides {
  PresentationSlides() = default;
  PresentationSlides(PresentationSlides&&) = default;
  PresentationSlides& operator=(PresentationSlides&&) = default;
  // Gives the parts' bytes back to their shelf (buffer_shelf.hpp) for the next listing.
  ~PresentationSlides();

  // Names the archive holds, valid while it is open.
  std::vector<std::string_view> slides;
  // The two parts' bytes, each behind a pointer of its own, so that moving the listing moves
  // no byte that the views below point into.
  std::unique_ptr<std::string> presentation;
  std::unique_ptr<std::string> relationships;
  // Gathered in the same passes when asked for (`Gather`), valid when `presentation` and
  // `relationships` were read here: the slide relationships of `relationships`
  // (`slide_relationships`, views into `relationships` and `unescaped`), the numbers of the
  // slide-id entries' attributes of local name "id" (so "r:id" too) whose unescaped value is an
  // unsigned 64-bit decimal (a leading "+" allowed), in order, and the largest number of the
  // presentation relationships' ids
  // (`relationship_id_number`); with the ids, the slide list of `presentation` (valid UTF-8,
  // as `read_archive_text` reads it), which the same pass found.
  std::optional<std::vector<SlideRelationship>> slide_relationships;
  std::vector<std::uint64_t> slide_id_numbers;
  std::optional<std::uint64_t> largest_relationship_number;
  std::optional<SlideListFinder> slide_list;
  // The values of the presentation's parts that needed unescaping, which views above hold.
  std::deque<std::string> unescaped;

  // The presentation part's bytes, or its relationships part's, as this listing holds them;
  // read now and kept here when the listing has none (`read_required_part`: `Zip` "specified
  // file not found in archive" when absent). They go back to the thread's shelf with the
  // listing.
  Result<const std::string*> hold_presentation(PackageArchive& archive);
  Result<const std::string*> hold_relationships(PackageArchive& archive);
};
enum class Gather { Nothing, SlideRelationships, NewIds };
Result<PresentationSlides> read_presentation_slides(PackageArchive& archive,
                                                    Gather gather = Gather::Nothing);

// The slide part at a zero-based index of `slide_parts`; none past the end.
Result<std::optional<std::string>> slide_part_at_index(PackageArchive& archive,
                                                       std::uint64_t index);

// "../slideLayouts/<file>" for the index-th slide layout part in natural order. Past the end:
// `XmlTextDecode` "slide layout index {index} was not found".
Result<std::string> slide_layout_target_at_index(PackageArchive& archive, std::uint64_t index);

}  // namespace pelvane
