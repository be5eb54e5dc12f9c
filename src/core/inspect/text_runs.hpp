// Read-only text readers of the summaries: the text runs of a part, the paragraph texts of a
// text body, run formatting per paragraph and run, and the notes text of a slide.
//
// Each reader makes one forward pass with the pull lexer and builds no tree. None of them
// reports a malformed part: the first lexer error ends the reading, and what was complete
// before it is the result.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"
#include "core/model/models.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {

class PackageArchive;

// Per paragraph, per run: one optional value.
template <class T>
using RunValues = std::vector<std::vector<std::optional<T>>>;

// The text of every `t` element (any prefix) with content, in document order. Text events are
// trimmed at both ends, so white space next to a reference is lost ("A &amp; B" gives "A&B").
std::vector<std::string> extract_text_runs(std::string_view xml);

// The readers below take text that is valid UTF-8 (a decoded part or a slice of one).

// One text per paragraph (`p`): the texts of its `t` elements untrimmed, a line break (`br`)
// written as U+000B. An unfinished paragraph is dropped.
std::vector<std::string> extract_paragraph_texts(std::string_view xml);

// The raw value (not unescaped) of the first well-formed attribute of a tag whose local name is
// `attribute`; a value that is not UTF-8 gives the empty text. None when no attribute matches.
std::optional<std::string> drawingml_attribute(const XmlEvent& tag, std::string_view attribute);

// The run formatting's attribute values. "1", "true", "on" -> true; "0", "false", "off" ->
// false; anything else -> none.
std::optional<bool> bool_attribute_value(const std::optional<std::string>& value);
// Absent -> none; "none" -> false; any other style -> true.
std::optional<bool> underline_value(const std::optional<std::string>& value);
// A decimal signed 64-bit integer in hundredths of a point -> EMU (times 127, wrapping);
// anything else -> none.
std::optional<std::int64_t> font_size_emu(const std::optional<std::string>& value);

// Everything the shape summary reads from the paragraphs of one shape (text), gathered in a
// single pass. Each list is exactly what its own reader would return on its own.
struct ShapeParagraphs {
  std::vector<std::string> paragraphs;
  std::vector<std::vector<std::string>> runs;
  std::vector<std::vector<std::uint64_t>> line_breaks;
  std::vector<std::vector<ParagraphFieldSummary>> fields;
  RunValues<bool> bold;
  RunValues<bool> italic;
  RunValues<bool> underline;
  RunValues<std::int64_t> font_size;
  RunValues<std::string> font_name;
};

ShapeParagraphs scan_shape_paragraphs(std::string_view xml);
// The same into lists that may hold an earlier shape's: each is overwritten element by element,
// keeping the storage of the elements, and cut to its new length.
void scan_shape_paragraphs(std::string_view xml, ShapeParagraphs& out);

// The text runs of a slide's bytes together with whether it holds a `transition` and a `timing`
// element (start or empty tag, any prefix, before the first lexer error).
struct SlideTextScan {
  std::vector<std::string> texts;
  bool has_transition = false;
  bool has_timing = false;
};

SlideTextScan scan_slide_text(std::string_view xml);
// The same into a result that may hold an earlier slide's, reusing the storage of its texts.
void scan_slide_text(std::string_view xml, SlideTextScan& out);

}  // namespace pelvane
