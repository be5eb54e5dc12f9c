#include "core/pml/slide_rewrite.hpp"

#include <algorithm>

#include "core/pml/paragraph_writers.hpp"
#include "core/xml/xml_event_helpers.hpp"

namespace pelvane {

Result<CheckedText> CheckedText::check(std::string_view text) {
  PELVANE_TRY_VOID(check_xml_text(text));
  return CheckedText(text);
}

void write_run_text_element(XmlWriter& writer, std::string_view run_name, CheckedText text) {
  const std::size_t colon = run_name.rfind(':');
  std::string name;
  if (colon != std::string_view::npos) name.assign(run_name.substr(0, colon + 1));
  name += 't';
  writer.write_start_tag(name);
  writer.write_text(text.view());
  writer.write_end_tag(name);
}

void write_text_only_run(XmlWriter& writer, const XmlEvent& run_tag, CheckedText text) {
  writer.write_start(XmlStartTag::from_event(run_tag));
  write_run_text_element(writer, run_tag.name, text);
  writer.write_end_tag(run_tag.name);
}

Result<void> write_replaced_run_body(XmlReader& reader, XmlWriter& writer,
                                     const XmlEvent& run_start, CheckedText text) {
  std::size_t depth = 0;   // inside the run: 0 for its direct children
  bool replacing = false;  // inside the text element that takes the text
  bool written = false;    // the text has been written
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    switch (event.kind) {
      case XmlEventKind::Eof: return {};
      case XmlEventKind::Start:
        if (depth == 0 && !written && event.local_name() == "t") replacing = true;
        writer.write_event(event);
        ++depth;
        break;
      case XmlEventKind::Empty:
        if (depth == 0 && !written && event.local_name() == "t") {
          writer.write_start(XmlStartTag::from_event(event));
          writer.write_text(text.view());
          writer.write_end_tag(event.name);
          written = true;
        } else {
          writer.write_event(event);
        }
        break;
      case XmlEventKind::End:
        if (depth == 0) {
          if (!written) write_run_text_element(writer, run_start.name, text);
          writer.write_event(event);
          return {};
        }
        if (--depth == 0 && replacing) {
          writer.write_text(text.view());
          replacing = false;
          written = true;
        }
        writer.write_event(event);
        break;
      case XmlEventKind::Text:
      case XmlEventKind::CData:
      case XmlEventKind::GeneralRef:
        if (!replacing) writer.write_event(event);
        break;
      default: writer.write_event(event); break;
    }
  }
}

Result<void> write_unformatted_paragraph(XmlWriter& writer, CheckedText text) {
  writer.write_raw("<a:p>");
  PELVANE_TRY_VOID(write_text_run(writer, text.view()));
  writer.write_raw("</a:p>");
  return {};
}

Result<std::uint64_t> rewrite_text_body_content(XmlReader& reader, XmlWriter& writer,
                                                CheckedText text) {
  std::uint64_t removed = 0;
  std::size_t depth = 0;  // inside the body: 0 for its direct children
  for (;;) {
    const XmlEvent event = PELVANE_TRY(reader.next());
    switch (event.kind) {
      case XmlEventKind::Eof:
        return fail(
            PelvaneError::xml_text_decode("unexpected end of XML while rewriting text body"));
      case XmlEventKind::Start:
        if (event.local_name() == "p") {
          PELVANE_TRY_VOID(skip_current_element(reader));
          ++removed;
        } else {
          writer.write_event(event);
          ++depth;
        }
        break;
      case XmlEventKind::Empty:
        if (event.local_name() == "p")
          ++removed;
        else
          writer.write_event(event);
        break;
      case XmlEventKind::End:
        // The reader pairs end tags with start tags, so the one at depth 0 is the body's own.
        if (depth == 0) {
          PELVANE_TRY_VOID(write_replacement_paragraphs(writer, text.view()));
          writer.write_event(event);
          return std::max<std::uint64_t>(removed, 1);
        }
        --depth;
        writer.write_event(event);
        break;
      default: writer.write_event(event); break;
    }
  }
}

}  // namespace pelvane
