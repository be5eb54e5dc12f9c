// The one way a text becomes DrawingML runs and paragraphs of unformatted runs, for the text
// rewrites and the builders of new shapes and tables alike.
#pragma once

#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/xml/xml_events.hpp"

namespace pelvane {

// <a:r><a:t>text</a:t></a:r>, the text escaped with the five predefined entities, whole (line
// feeds included). Refused by `check_xml_text` before anything is written.
Result<void> write_text_run(XmlWriter& writer, std::string_view text);

// One <a:p> holding one run per piece of the text split at every line feed; empty pieces kept.
// Refused by `check_xml_text` before anything is written.
Result<void> write_replacement_paragraphs(XmlWriter& writer, std::string_view text);

// `write_replacement_paragraphs` into a new buffer: "A\nB" gives
// <a:p><a:r><a:t>A</a:t></a:r></a:p><a:p><a:r><a:t>B</a:t></a:r></a:p>.
Result<std::string> replacement_paragraphs_xml(std::string_view text);

}  // namespace pelvane
