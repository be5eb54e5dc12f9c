#include <gtest/gtest.h>
#include <string_view>
#include <utility>
#include <vector>

#include "core/pml/paragraph_writers.hpp"

namespace pelvane {
namespace {

TEST(ReplacementParagraphs, SplitsAtEveryLineFeed) {
  const std::vector<std::pair<std::string_view, std::string_view>> cases = {
      {"A\nB", "<a:p><a:r><a:t>A</a:t></a:r></a:p><a:p><a:r><a:t>B</a:t></a:r></a:p>"},
      {"x & y", "<a:p><a:r><a:t>x &amp; y</a:t></a:r></a:p>"},
      {"", "<a:p><a:r><a:t></a:t></a:r></a:p>"},
      {"A\n", "<a:p><a:r><a:t>A</a:t></a:r></a:p><a:p><a:r><a:t></a:t></a:r></a:p>"},
      {"A\r\nB", "<a:p><a:r><a:t>A\r</a:t></a:r></a:p><a:p><a:r><a:t>B</a:t></a:r></a:p>"},
      {"'\"<>", "<a:p><a:r><a:t>&apos;&quot;&lt;&gt;</a:t></a:r></a:p>"},
  };
  for (const auto& [text, xml] : cases) EXPECT_EQ(replacement_paragraphs_xml(text), xml) << text;
  XmlWriter writer;
  ASSERT_TRUE(write_text_run(writer, "a\nb").has_value());
  EXPECT_EQ(writer.buffer(), "<a:r><a:t>a\nb</a:t></a:r>");
}

TEST(ReplacementParagraphs, RefuseTextXmlCannotHoldBeforeWriting) {
  XmlWriter writer;
  EXPECT_FALSE(write_replacement_paragraphs(writer, "fine\nbad\x02").has_value());
  EXPECT_EQ(writer.buffer(), "");
  EXPECT_FALSE(replacement_paragraphs_xml("\x1b").has_value());
}

}  // namespace
}  // namespace pelvane
