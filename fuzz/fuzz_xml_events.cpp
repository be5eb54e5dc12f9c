// The lexer never crashes, its events tile the input without gaps, and copying every event
// reproduces the input apart from white space inside end tags.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/xml/xml_event_helpers.hpp"
#include "core/xml/xml_events.hpp"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

void exercise_event(const pelvane::XmlEvent& event) {
  for (const auto& attribute : event.attributes()) {
    (void)attribute.local_name();
    (void)pelvane::unescape_xml(attribute.value);
    (void)pelvane::unescape_xml(attribute.value, pelvane::UnknownReferences::Keep);
  }
  if (event.kind == pelvane::XmlEventKind::Text) (void)pelvane::xml_text_content(event);
  if (event.kind == pelvane::XmlEventKind::GeneralRef) (void)pelvane::xml_reference_content(event);
  if (event.is_tag()) {
    const auto tag = pelvane::rewrite_event_attributes(event, {{"x", "<&>"}});
    // Every rebuilt tag reads back as one well-formed tag of the same name.
    pelvane::XmlWriter writer;
    writer.write_empty(tag);
    pelvane::XmlReader reread(writer.buffer());
    const auto again = reread.next();
    require(again && again->is_empty() && again->name == event.name);
    for (const auto& attribute : again->attributes()) require(!attribute.malformed);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);

  pelvane::XmlReader reader(input);
  pelvane::XmlWriter writer;
  std::string expected;
  std::size_t cursor = 0;
  for (;;) {
    const auto event = reader.next();
    if (!event) break;
    if (event->is_eof()) {
      require(cursor == size);
      break;
    }
    require(event->offset == cursor);
    require(event->raw.data() == input.data() + event->offset);
    require(!event->raw.empty());
    cursor += event->raw.size();
    require(cursor <= size);
    if (event->is_end())
      expected += "</" + std::string(event->name) + ">";
    else
      expected += event->raw;
    writer.write_event(*event);
    exercise_event(*event);
  }
  require(writer.buffer() == expected);

  pelvane::XmlReader trimmed(input, {.trim_text = true});
  for (;;) {
    const auto event = trimmed.next();
    if (!event || event->is_eof()) break;
    require(event->kind != pelvane::XmlEventKind::Text || !event->raw.empty());
  }
  return 0;
}
