// The two read-only reports of a package: the whole presentation and one slide.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/error.hpp"
#include "core/models.hpp"

namespace pelvane {

class PackageArchive;

// Every slide in presentation order, summarised, and whether the package holds a macro project.
// Any failure ends the call; no partial result is returned.
Result<PresentationSummary> summarize_presentation(std::string_view path);

// The pretty JSON text of `summarize_presentation`, in the pieces it is printed in: the text
// before the first slide, each slide's text (its separator is added when joined), and the
// rest.
class PresentationText {
 public:
  PresentationText(std::string head, std::vector<std::string> slides, std::string tail,
                   bool slides_ascii);

  // The joined text's length in bytes.
  std::size_t size() const { return size_; }
  // True when every byte of the text is below 0x80.
  bool is_ascii() const { return ascii_; }
  // Writes the joined text into `buffer` (size() bytes, not terminated) and releases the
  // pieces; the slides are copied by several threads.
  void write_to(char* buffer);
  // The joined text; the pieces are released.
  std::string take();

 private:
  static std::string_view separator(std::size_t slide) {
    return slide == 0 ? "\n    " : ",\n    ";
  }

  std::string head_;
  std::vector<std::string> slides_;
  std::string tail_;
  std::size_t size_ = 0;
  bool ascii_ = true;
};

// `summarize_presentation` printed, failing exactly as it fails. Slides are summarised and
// printed on several threads, read through the file's central directory while the archive
// library opens the package on this one; the library reads whatever that reader cannot vouch
// for. The path must be valid UTF-8 (the generic writer refuses other paths with its own
// message).
Result<PresentationText> print_presentation_summary(std::string_view path);

// The joined text of `print_presentation_summary`: `summarize_presentation` printed, byte for
// byte.
Result<std::string> summarize_presentation_json_text(std::string_view path);

// The slide at the zero-based index in presentation order. An index past the last slide is
// `InvalidInput` "slide index {index} was not found".
Result<SlideSummary> summarize_slide_at_index(std::string_view path, std::uint64_t index);

// The summary of one slide part of an open package: its text runs, shapes, tables, notes,
// relationships (all, and by kind) and transition and timing flags. A malformed slide is no
// failure; a missing part is `Zip`, an unreadable one `Io`.
Result<SlideSummary> summarize_slide(PackageArchive& archive, std::string_view slide_part);

}  // namespace pelvane
