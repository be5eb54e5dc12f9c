// Search and replace over the text elements of a slide, and the text of one run.
#include <string>

#include "core/base/byte_search.hpp"
#include "core/base/utf8.hpp"
#include "core/text/text_rewrite.hpp"

namespace pelvane {

namespace {

std::uint64_t count_occurrences(std::string_view piece, std::string_view search) {
  std::uint64_t count = 0;
  for (std::size_t at = find_pattern(piece, search); at != std::string_view::npos;
       at = find_pattern(piece, search, at + search.size()))
    ++count;
  return count;
}

// `piece` with the same occurrences replaced, left to right; the replacement is not searched.
void replace_occurrences(std::string_view piece, std::string_view search,
                         std::string_view replacement, std::string& out) {
  out.clear();
  std::size_t from = 0;
  for (std::size_t at = find_pattern(piece, search); at != std::string_view::npos;
       at = find_pattern(piece, search, from)) {
    out.append(piece.substr(from, at - from));
    out.append(replacement);
    from = at + search.size();
  }
  out.append(piece.substr(from));
}

}  // namespace

Result<RewriteOutput> replace_text_nodes(std::string_view xml, std::string_view search,
                                         std::string_view replacement) {
  const CheckedText text = PELVANE_TRY(CheckedText::check(replacement));
  SlideStream stream(xml);
  std::uint64_t total = 0;
  bool in_text = false;
  std::string replaced;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    switch (event.kind) {
      case XmlEventKind::Eof: return stream.finish(total);
      case XmlEventKind::Start:
        if (event.local_name() == "t") in_text = true;
        break;
      case XmlEventKind::End:
        if (event.local_name() == "t") in_text = false;
        break;
      case XmlEventKind::Text: {
        if (!in_text || search.empty()) break;
        // Text pieces are searched as stored: no unescaping, no line-end normalisation.
        if (!is_valid_utf8(event.raw)) {
          return fail(PelvaneError::xml_text_decode("cannot decode input using UTF-8: " +
                                                    *describe_invalid_utf8(event.raw)));
        }
        const std::uint64_t found = count_occurrences(event.raw, search);
        if (found == 0) break;
        replace_occurrences(event.raw, search, text.view(), replaced);
        stream.writer.write_text(replaced);
        total += found;
        continue;
      }
      default: break;
    }
    stream.writer.write_event(event);
  }
}

Result<RewriteOutput> replace_text_run_at_index_in_slide(std::string_view xml,
                                                         std::uint64_t run_index,
                                                         std::string_view replacement) {
  const CheckedText text = PELVANE_TRY(CheckedText::check(replacement));
  SlideStream stream(xml);
  std::uint64_t runs = 0;
  std::uint64_t replaced = 0;
  for (;;) {
    const XmlEvent event = PELVANE_TRY(stream.reader.next());
    if (event.is_eof()) return stream.finish(replaced);
    if (!event.is_tag() || event.local_name() != "r") {
      stream.writer.write_event(event);
      continue;
    }
    if (runs++ != run_index) {
      stream.writer.write_event(event);
    } else if (event.is_start()) {
      stream.writer.write_event(event);
      PELVANE_TRY_VOID(write_replaced_run_body(stream.reader, stream.writer, event, text));
      replaced = 1;
    } else {
      write_text_only_run(stream.writer, event, text);
      replaced = 1;
    }
  }
}

}  // namespace pelvane
