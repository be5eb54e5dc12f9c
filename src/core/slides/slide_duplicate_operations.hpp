// Duplicating a slide: the copy becomes the last slide, its XML the source's byte for byte, and
// it takes copies of the parts that belong to the source alone (charts with their related parts,
// its notes slide, comments, embedded objects) while sharing its layout and media. Relationship
// ids never change; only relationships parts are rewritten to point at the copies.
#pragma once

#include <string_view>

#include "core/base/error.hpp"
#include "core/model/models.hpp"

namespace pelvane {

// Copies `source_slide_part` (a slide part name without a leading "/") and writes the package
// with the copy to `output`: every input entry copied raw (directories as directories), the
// presentation, its relationships and the content types written anew, then the new parts.
//
// Which relationships of the source are copied is fixed by their Type's ending: "/slideLayout",
// "/image", "/audio", "/video", "/media" and external relationships (TargetMode "External" in
// any letter case) are shared; "/chart", "/notesSlide", "/comments", "/comment", "/oleObject" and
// "/package" are copied. Failures, each before the output is written (`InvalidInput` unless
// named):
//   "source slide part {0} was not found in the presentation";
//   "source slide part {0} has no slide layout relationship";
//   "cannot duplicate slide relationship type {0} without an explicit copy policy";
//   `Zip` for an absent presentation part, presentation relationships or content types;
//   `XmlTextDecode` for content types that are not UTF-8 ("invalid utf-8 sequence of {0} bytes
//   from index {1}", "incomplete utf-8 byte sequence from index {0}");
//   "chart part {0} was not found", "notes slide part {0} was not found", "comment part {0} was
//   not found", "OLE part {0} was not found" ({0} the resolved part name);
//   "[Content_Types].xml is missing </Types>".
// A new part whose name the package already holds fails while writing: `Zip`.
Result<SlideAddSummary> duplicate_slide(std::string_view input, std::string_view output,
                                        std::string_view source_slide_part);

}  // namespace pelvane
