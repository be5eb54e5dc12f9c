// Text of a shape that is a direct child of a group: its whole text, one paragraph's, one run's.
#include "core/pml/paragraph_writers.hpp"
#include "core/pml/slide_child_order.hpp"
#include "core/text/paragraph_cursor.hpp"
#include "core/text/text_rewrite.hpp"

namespace pelvane {

Result<RewriteOutput> set_group_shape_child_text_in_slide(std::string_view xml,
                                                          std::uint64_t group_index,
                                                          std::uint64_t child_index,
                                                          std::string_view replacement) {
  return set_addressed_shape_text_in_slide(xml, ShapeCursor::group_child(group_index, child_index),
                                           replacement);
}

Result<RewriteOutput> set_group_shape_child_paragraph_text_in_slide(std::string_view xml,
                                                                    std::uint64_t group_index,
                                                                    std::uint64_t child_index,
                                                                    std::uint64_t paragraph_index,
                                                                    std::string_view replacement) {
  return set_addressed_paragraph_text_in_slide(
      xml, ShapeCursor::group_child(group_index, child_index), paragraph_index, replacement,
      {.recount_in_inner_shape = true, .fill_empty_text = true, .append_past_end = true});
}

Result<RewriteOutput> set_group_shape_child_run_text_in_slide(
    std::string_view xml, std::uint64_t group_index, std::uint64_t child_index,
    std::uint64_t paragraph_index, std::uint64_t run_index, std::string_view replacement) {
  const CheckedText text = PELVANE_TRY(CheckedText::check(replacement));
  SlideStream stream(xml);
  ParagraphCursor paragraph(ShapeCursor::group_child(group_index, child_index), paragraph_index,
                            {});
  ChildSlot runs_end(kParagraphChildren, "r");
  std::uint64_t runs = 0;
  std::uint64_t count = 0;
  bool replaced = false;  // the addressed paragraph's run at `run_index` was replaced or appended
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(count);
    // Every run has been counted where the paragraph's runs end: the index one past the last
    // run appends one there.
    if (paragraph.in_paragraph() && runs_end.reached(event, stream.reader.depth()) && !replaced &&
        runs == run_index) {
      PELVANE_TRY_VOID(write_text_run(stream.writer, text.view()));
      ++count;
      replaced = true;
    }
    if (event.is_tag()) {
      const std::string_view name = event.local_name();
      const bool counted = paragraph.start(event, name);
      if (counted) {
        runs = 0;
        replaced = false;
        if (paragraph.in_paragraph()) runs_end.enter(stream.reader.depth());
      } else if (paragraph.in_paragraph() && name == "r" && runs++ == run_index && !replaced) {
        replaced = true;
        ++count;
        if (event.is_empty()) {
          write_text_only_run(stream.writer, event, text);
          continue;
        }
        stream.writer.write_event(event);
        PELVANE_TRY_VOID(write_replaced_run_body(stream.reader, stream.writer, event, text));
        continue;
      }
    }
    stream.writer.write_event(event);
    paragraph.end(event);
  }
}

}  // namespace pelvane
