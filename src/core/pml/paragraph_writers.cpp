#include "core/pml/paragraph_writers.hpp"

#include <utility>

#include "core/base/utf8.hpp"
#include "core/xml/xml_event_helpers.hpp"

namespace pelvane {
namespace {

void write_run_unchecked(XmlWriter& writer, std::string_view text) {
  writer.write_raw("<a:r><a:t>");
  writer.write_text(text);
  writer.write_raw("</a:t></a:r>");
}

}  // namespace

Result<void> write_text_run(XmlWriter& writer, std::string_view text) {
  PELVANE_TRY_VOID(check_xml_text(text));
  write_run_unchecked(writer, text);
  return {};
}

Result<void> write_replacement_paragraphs(XmlWriter& writer, std::string_view text) {
  PELVANE_TRY_VOID(check_xml_text(text));
  std::size_t start = 0;
  for (;;) {
    const std::size_t line_feed = text.find('\n', start);
    const std::string_view piece = text.substr(
        start, line_feed == std::string_view::npos ? std::string_view::npos : line_feed - start);
    writer.write_raw("<a:p>");
    write_run_unchecked(writer, piece);
    writer.write_raw("</a:p>");
    if (line_feed == std::string_view::npos) return {};
    start = line_feed + 1;
  }
}

Result<std::string> replacement_paragraphs_xml(std::string_view text) {
  XmlWriter writer(text.size() + 32);
  PELVANE_TRY_VOID(write_replacement_paragraphs(writer, text));
  std::string out = std::move(writer).take();
  if (!is_valid_utf8(out))
    return fail(PelvaneError::xml_text_decode("paragraph text is not valid UTF-8"));
  return out;
}

}  // namespace pelvane
