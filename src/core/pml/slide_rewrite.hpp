// The frame every streaming rewrite of a slide's text shares, whichever family it belongs to:
// what a rewrite returns, caller text checked before any of it is written, and the run and
// text-body writers that the text, table and batch edits have in common.
//
// A rewrite is a function `(xml, args...) -> Result<RewriteOutput>`: one pass of the pull
// reader over the slide, every event it does not address written back as read.
//
//   Result<RewriteOutput> set_something_in_slide(std::string_view xml, ..., std::string_view s) {
//     const CheckedText text = PELVANE_TRY(CheckedText::check(s));
//     SlideStream stream(xml);
//     for (;;) {
//       const XmlEvent event = PELVANE_TRY(stream.reader.next());
//       if (event.is_eof()) return stream.finish(count);
//       ...
//       stream.writer.write_event(event);
//     }
//   }
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {

// A rewritten slide part and the number of changes its rewrite made.
struct RewriteOutput {
  std::string bytes;
  std::uint64_t count = 0;
};

// Caller text that XML can hold. It is made only by `check`, so that a writer taking it can
// never be handed a character that would leave the part ill-formed.
class CheckedText {
 public:
  // InvalidInput "text contains a character that XML cannot hold: U+XXXX" (check_xml_text).
  static Result<CheckedText> check(std::string_view text);
  std::string_view view() const { return text_; }

 private:
  explicit CheckedText(std::string_view text) : text_(text) {}
  std::string_view text_;
};

// The reader over a slide's text and the writer of the new text, reserved at the input's
// length (plus `room` for a rewrite that adds elements).
struct SlideStream {
  explicit SlideStream(std::string_view xml, std::size_t room = 0)
      : reader(xml), writer(xml.size() + room) {}
  RewriteOutput finish(std::uint64_t count) { return {std::move(writer).take(), count}; }

  XmlReader reader;
  XmlWriter writer;
};

// Character content as the reader delivers it: a text piece, a CDATA section or a reference.
inline bool is_character_content(const XmlEvent& event) {
  return event.kind == XmlEventKind::Text || event.kind == XmlEventKind::CData ||
         event.kind == XmlEventKind::GeneralRef;
}

// One text element named after the run (the run's prefix and ":t", or plain "t" when the run's
// name has none) holding the escaped text: `<a:t>A&lt;B</a:t>` for `a:r`. An empty text gives a
// start tag and an end tag, never a self-closing tag.
void write_run_text_element(XmlWriter& writer, std::string_view run_name, CheckedText text);

// A self-closing run written as a complete run holding the text: the run's start tag with its
// name and attributes, the text element, the run's end tag.
void write_text_only_run(XmlWriter& writer, const XmlEvent& run_tag, CheckedText text);

// Called right after the caller has written the run's start tag `run_start`: reads the run's
// content up to and including its end tag and writes it with the text replaced. Properties and
// every other child keep their places; the first text element that is a direct child of the
// run gets the text in place of all its old content (its comments stay, ahead of the text); a
// self-closing one becomes a start tag, the text and an end tag; later text elements are kept.
// A run without a direct text element gets one as its last child. Input that ends first stops
// the run where it ends. Fails only with a reader error.
Result<void> write_replaced_run_body(XmlReader& reader, XmlWriter& writer,
                                     const XmlEvent& run_start, CheckedText text);

// One paragraph of one unformatted run holding the whole text, line feeds included:
// `<a:p><a:r><a:t>text</a:t></a:r></a:p>`. The run alone is `write_text_run`.
Result<void> write_unformatted_paragraph(XmlWriter& writer, CheckedText text);

// Called right after the caller has written a text body's start tag: drops every paragraph of
// the body (start tag to end tag, or self-closing), keeps everything else, writes the text as
// unformatted paragraphs (one per line feed, `write_replacement_paragraphs`) just before the body's
// end tag, writes that end tag, and returns the number of paragraphs dropped, at least 1.
// Input that ends inside the body: XmlTextDecode
// "unexpected end of XML while rewriting text body" (inside a dropped paragraph: "unexpected
// end of XML while skipping element").
Result<std::uint64_t> rewrite_text_body_content(XmlReader& reader, XmlWriter& writer,
                                                CheckedText text);

}  // namespace pelvane
