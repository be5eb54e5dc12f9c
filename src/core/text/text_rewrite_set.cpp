// The whole text of one shape, and the text of one of its paragraphs.
#include "core/text/paragraph_cursor.hpp"
#include "core/text/text_rewrite.hpp"

namespace pelvane {

Result<RewriteOutput> set_addressed_shape_text_in_slide(std::string_view xml, ShapeCursor shape,
                                                        std::string_view replacement) {
  const CheckedText text = PELVANE_TRY(CheckedText::check(replacement));
  SlideStream stream(xml);
  std::uint64_t total = 0;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(total);
    stream.writer.write_event(event);
    if (event.is_start()) {
      shape.start(event);
      if (shape.in_shape() && event.local_name() == "txBody")
        total += PELVANE_TRY(rewrite_text_body_content(stream.reader, stream.writer, text));
    } else {
      shape.end(event);
    }
  }
}

Result<RewriteOutput> set_shape_text_at_index_in_slide(std::string_view xml,
                                                       std::uint64_t shape_index,
                                                       std::string_view replacement) {
  return set_addressed_shape_text_in_slide(xml, ShapeCursor::shape(shape_index), replacement);
}

Result<RewriteOutput> set_addressed_paragraph_text_in_slide(std::string_view xml, ShapeCursor shape,
                                                            std::uint64_t paragraph_index,
                                                            std::string_view replacement,
                                                            ParagraphTextRules rules) {
  const CheckedText text = PELVANE_TRY(CheckedText::check(replacement));
  SlideStream stream(xml);
  ParagraphCursor paragraph(shape, paragraph_index,
                            {.recount_in_inner_shape = rules.recount_in_inner_shape});
  std::uint64_t count = 0;
  bool in_text = false;
  bool written = false;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(count);
    if (event.is_start()) {
      const std::string_view name = event.local_name();
      if (paragraph.start(event, name))
        written = false;
      else if (paragraph.in_paragraph() && name == "t")
        in_text = true;
    } else if (event.is_end()) {
      const std::string_view name = event.local_name();
      if (paragraph.in_paragraph() && name == "t") {
        if (rules.fill_empty_text && !written) {
          stream.writer.write_text(text.view());
          ++count;
          written = true;
        }
        in_text = false;
      } else if (rules.append_past_end && paragraph.in_shape() && name == "txBody" &&
                 paragraph.paragraphs() == paragraph_index) {
        PELVANE_TRY_VOID(write_unformatted_paragraph(stream.writer, text));
        ++count;
      }
      stream.writer.write_event(event);
      if (paragraph.end(event)) written = false;
      continue;
    } else if (paragraph.in_paragraph() && in_text && is_character_content(event)) {
      // The first piece becomes the whole text; every later one goes.
      if (!written) stream.writer.write_text(text.view());
      written = true;
      ++count;
      continue;
    }
    stream.writer.write_event(event);
  }
}

Result<RewriteOutput> set_shape_paragraph_text_at_index_in_slide(std::string_view xml,
                                                                 std::uint64_t shape_index,
                                                                 std::uint64_t paragraph_index,
                                                                 std::string_view replacement) {
  return set_addressed_paragraph_text_in_slide(xml, ShapeCursor::shape(shape_index),
                                               paragraph_index, replacement, {});
}

}  // namespace pelvane
