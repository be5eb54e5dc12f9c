// The two read-only reports of a package: the whole presentation and one slide.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/models.hpp"

namespace pelvane {

class PackageArchive;

// Every slide in presentation order, summarised, and whether the package holds a macro project.
// Any failure ends the call; no partial result is returned.
Result<PresentationSummary> summarize_presentation(std::string_view path);

// The pretty JSON text of `summarize_presentation`, byte for byte, with each slide printed as
// soon as it is summarised and released after: the records are written while they are still in
// the processor's caches and a whole presentation's records never exist at once. The path must
// be valid UTF-8 (the generic writer refuses other paths with its own message).
Result<std::string> summarize_presentation_json_text(std::string_view path);

// The slide at the zero-based index in presentation order. An index past the last slide is
// `InvalidInput` "slide index {index} was not found".
Result<SlideSummary> summarize_slide_at_index(std::string_view path, std::uint64_t index);

// The summary of one slide part of an open package: its text runs, shapes, tables, notes,
// relationships (all, and by kind) and transition and timing flags. A malformed slide is no
// failure; a missing part is `Zip`, an unreadable one `Io`.
Result<SlideSummary> summarize_slide(PackageArchive& archive, std::string_view slide_part);

}  // namespace pelvane
