// The two read-only reports of a package: the whole presentation and one slide.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"
#include "core/json/json_out.hpp"
#include "core/model/models.hpp"

namespace pelvane {

class PackageArchive;

// The summary of a whole presentation: the path as the caller gave it, the slide count, every
// slide in presentation order, and whether the package holds a macro project. The slides are
// summarised as the writer reaches them, each into the storage of the one before, so that each
// is written while still in the processor's caches and a whole presentation's records never
// exist at once. A slide that cannot be summarised ends the writing with its error
// (`JsonWriter::failure`); no partial result is returned.
class PresentationSummary {
 public:
  PresentationSummary(PresentationSummary&&) noexcept;
  PresentationSummary& operator=(PresentationSummary&&) noexcept;
  ~PresentationSummary();

  template <class V>
  void visit(V& v) const {
    v.field("path", path_);
    v.field("slide_count", std::uint64_t{slide_parts_.size()});
    v.field("slides", JsonStreamedArray{slide_parts_.size(), [this](std::size_t index) {
                                          return summarize_slide_in_turn(index);
                                        }});
    v.field("has_vba", has_vba_);
  }

 private:
  struct Reading;
  friend Result<PresentationSummary> summarize_presentation(std::string_view path);
  PresentationSummary(std::string_view path, std::vector<std::string> slide_parts, bool has_vba,
                      std::unique_ptr<Reading> reading);
  Result<const SlideSummary*> summarize_slide_in_turn(std::size_t index) const;

  std::string path_;
  std::vector<std::string> slide_parts_;
  bool has_vba_ = false;
  // The open package and the one slide summary that serves every slide in turn.
  std::unique_ptr<Reading> reading_;
};

// Opens the package and lists its slides; the slides themselves are summarised as the summary
// is written. A package that cannot be opened, has two entries of one name, or has an entry
// that does not open fails here.
Result<PresentationSummary> summarize_presentation(std::string_view path);

// The slide at the zero-based index in presentation order. An index past the last slide is
// `InvalidInput` "slide index {index} was not found".
Result<SlideSummary> summarize_slide_at_index(std::string_view path, std::uint64_t index);

// The summary of one slide part of an open package: its text runs, shapes, tables, notes,
// relationships (all, and by kind) and transition and timing flags. A malformed slide is no
// failure; a missing part is `Zip`, an unreadable one `Io`.
Result<SlideSummary> summarize_slide(PackageArchive& archive, std::string_view slide_part);

}  // namespace pelvane
