// Adding to a shape's text without changing what is there: a paragraph, a run, a line break.
#include "core/pml/paragraph_writers.hpp"
#include "core/pml/slide_child_order.hpp"
#include "core/text/paragraph_cursor.hpp"
#include "core/text/text_rewrite.hpp"

namespace pelvane {

namespace {

constexpr std::string_view kLineBreak = "<a:br/>";

}  // namespace

Result<RewriteOutput> append_shape_paragraph_text_in_slide(std::string_view xml,
                                                           std::uint64_t shape_index,
                                                           std::string_view replacement) {
  const CheckedText text = PELVANE_TRY(CheckedText::check(replacement));
  SlideStream stream(xml);
  ShapeCursor shape = ShapeCursor::shape(shape_index);
  std::uint64_t count = 0;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(count);
    if (event.is_start()) {
      shape.start(event);
    } else if (event.is_end()) {
      if (shape.in_shape() && event.local_name() == "txBody") {
        PELVANE_TRY_VOID(write_unformatted_paragraph(stream.writer, text));
        ++count;
      }
      stream.writer.write_event(event);
      shape.end(event);
      continue;
    }
    stream.writer.write_event(event);
  }
}

Result<RewriteOutput> append_shape_text_run_in_slide(std::string_view xml,
                                                     std::uint64_t shape_index,
                                                     std::uint64_t paragraph_index,
                                                     std::string_view replacement) {
  const CheckedText text = PELVANE_TRY(CheckedText::check(replacement));
  SlideStream stream(xml);
  ParagraphCursor paragraph(ShapeCursor::shape(shape_index), paragraph_index, {});
  ChildSlot runs_end(kParagraphChildren, "r");
  std::uint64_t count = 0;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(count);
    if (paragraph.in_paragraph() && runs_end.reached(event, stream.reader.depth())) {
      PELVANE_TRY_VOID(write_text_run(stream.writer, text.view()));
      ++count;
    }
    if (paragraph.start(event) && paragraph.in_paragraph()) runs_end.enter(stream.reader.depth());
    stream.writer.write_event(event);
    paragraph.end(event);
  }
}

Result<RewriteOutput> insert_shape_paragraph_line_break_in_slide(std::string_view xml,
                                                                 std::uint64_t shape_index,
                                                                 std::uint64_t paragraph_index,
                                                                 std::uint64_t run_slot) {
  const auto out_of_range = [] {
    return fail(PelvaneError::invalid_input("run slot out of range"));
  };
  SlideStream stream(xml);
  ParagraphCursor paragraph(ShapeCursor::shape(shape_index), paragraph_index,
                            {.self_closing_paragraphs = true});
  ChildSlot runs_end(kParagraphChildren, "br");
  std::uint64_t runs = 0;
  std::uint64_t count = 0;
  bool done = false;  // the line break is written
  const auto write_break = [&] {
    stream.writer.write_raw(kLineBreak);
    ++count;
    done = true;
  };
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(count);
    if (paragraph.in_paragraph() && runs_end.reached(event, stream.reader.depth()) && !done &&
        runs == run_slot)
      write_break();
    if (event.is_tag()) {
      const std::string_view name = event.local_name();
      const bool counted = paragraph.start(event, name);
      if (counted && event.is_start()) {
        runs = 0;
        done = false;
        if (paragraph.in_paragraph()) runs_end.enter(stream.reader.depth());
      } else if (counted && paragraph.addressed()) {
        // A self-closing paragraph holds no runs: only slot 0 exists.
        if (run_slot != 0) return out_of_range();
        stream.writer.write_start(XmlStartTag::from_event(event));
        write_break();
        stream.writer.write_end_tag(event.name);
        continue;
      } else if (paragraph.in_paragraph() && name == "r") {
        if (!done && runs == run_slot) write_break();
        ++runs;
      }
    } else if (event.is_end() && paragraph.in_paragraph() && event.local_name() == "p" && !done) {
      if (runs != run_slot) return out_of_range();
      write_break();
    }
    stream.writer.write_event(event);
    paragraph.end(event);
  }
}

}  // namespace pelvane
