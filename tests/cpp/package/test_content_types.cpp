#include <gtest/gtest.h>
#include <span>
#include <string>
#include <string_view>

#include "core/package/content_types.hpp"

namespace pelvane {
namespace {

constexpr std::string_view kTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/ppt/slides/slide1.xml\" ContentType=\"slide+xml\"/>"
    "<Override PartName=\"/ppt/media/a&amp;b.png\" ContentType=\"image/png\"/>"
    "</Types>";

TEST(FindContentTypeOverride, MatchesThePartNameWithItsLeadingSlash) {
  EXPECT_EQ(find_content_type_override(kTypes, "ppt/slides/slide1.xml"), "slide+xml");
  EXPECT_EQ(find_content_type_override(kTypes, "/ppt/slides/slide1.xml"), "slide+xml");
  EXPECT_EQ(find_content_type_override(kTypes, "/PPT/slides/slide1.xml"), std::nullopt);
  EXPECT_EQ(find_content_type_override(kTypes, "ppt/media/a&b.png"), "image/png");
  EXPECT_EQ(find_content_type_override("<ct:Types><ct:Override PartName=\"/a.xml\"/></ct:Types>",
                                       "a.xml"),
            "");
  // A reader error before the override hides it.
  EXPECT_EQ(find_content_type_override(
                "<Types></x><Override PartName=\"/a.xml\" ContentType=\"t\"/>", "a.xml"),
            std::nullopt);
}

// An element already in the part (or none), and whether ensuring adds one after it.
struct EnsureCase {
  const char* existing;
  bool adds;
};

// `ensure` over a Types element holding each case's element: `added` as its last child when
// the case adds, the text unchanged otherwise.
template <class Ensure>
void expect_ensured(std::span<const EnsureCase> cases, Ensure ensure, std::string_view added) {
  for (const EnsureCase& c : cases) {
    const std::string text = "<Types>" + std::string(c.existing) + "</Types>";
    auto result = ensure(text);
    ASSERT_TRUE(result) << c.existing;
    const std::string with_added =
        "<Types>" + std::string(c.existing) + std::string(added) + "</Types>";
    EXPECT_EQ(*result, c.adds ? with_added : text) << c.existing;
  }
}

TEST(EnsureDefaultContentType, AddsOneDefaultPerExtensionWhateverItsCase) {
  const EnsureCase cases[] = {
      {"", true},
      {"<Default Extension=\"png\" ContentType=\"other\"/>", false},
      {"<Default Extension=\"PNG\" ContentType=\"image/png\"/>", false},
      {"<Default Extension='Png' ContentType=\"image/png\"/>", false},
      {"<Default Extension = \"png\" ContentType=\"image/png\"/>", false},
      {"<ct:Default Extension=\"p&#110;g\" ContentType=\"image/png\"/>", false},
      {"<Default Extension=\"pngx\" ContentType=\"x\"/>", true},
  };
  expect_ensured(
      cases,
      [](std::string_view text) { return ensure_default_content_type(text, "png", "image/png"); },
      "<Default Extension=\"png\" ContentType=\"image/png\"/>");
}

TEST(EnsureContentTypeOverride, FindsTheOverrideHoweverItsNameIsWritten) {
  const EnsureCase cases[] = {
      {"<Override PartName=\"/ppt/a.xml\" ContentType=\"t\"/>", false},
      {"<ct:Override PartName='/ppt/a.xml' ContentType=\"t\"/>", false},
      {"<Override PartName=\"&#47;ppt/a&#46;xml\" ContentType=\"t\"/>", false},
      {"<!--<Override PartName=\"/ppt/a.xml\"/>-->", true},
      {"<Override PartName=\"/ppt/a.xml2\" ContentType=\"t\"/>", true},
      {"<Override PartName=\"/ppt/b&amp;.xml\" ContentType=\"t\"/>", true},
  };
  expect_ensured(
      cases,
      [](std::string_view text) { return ensure_content_type_override(text, "/ppt/a.xml", "t"); },
      "<Override PartName=\"/ppt/a.xml\" ContentType=\"t\"/>");
}

TEST(EnsureContentTypes, InsertBeforeTheLastTypesEndAndEscape) {
  auto added = ensure_content_type_override("<!--</Types>--></Types>", "/ppt/a.xml", "x&y");
  ASSERT_TRUE(added);
  EXPECT_EQ(*added,
            "<!--</Types>--><Override PartName=\"/ppt/a.xml\" ContentType=\"x&amp;y\"/></Types>");
  EXPECT_EQ(*ensure_content_type_override(kTypes, "/ppt/slides/slide1.xml", "different"), kTypes);

  auto prefixed = ensure_default_content_type("<ct:Types></ct:Types>", "png", "image/png");
  ASSERT_FALSE(prefixed);
  EXPECT_EQ(prefixed.error().to_string(), "invalid input: [Content_Types].xml is missing </Types>");
  EXPECT_FALSE(ensure_content_type_override("<ct:Types></ct:Types>", "/a.xml", "t"));
}

TEST(AppendContentTypeOverride, AddsUnconditionallyAndLiterally) {
  auto once = append_content_type_override("<Types></Types>", "/a.xml", "x&y");
  ASSERT_TRUE(once);
  EXPECT_EQ(*once, "<Types><Override PartName=\"/a.xml\" ContentType=\"x&y\"/></Types>");
  auto twice = append_content_type_override(*once, "/a.xml", "x&y");
  EXPECT_EQ(*twice,
            "<Types><Override PartName=\"/a.xml\" ContentType=\"x&y\"/>"
            "<Override PartName=\"/a.xml\" ContentType=\"x&y\"/></Types>");
  // A part without entries may be written as one self-closing tag.
  EXPECT_EQ(*append_content_type_override("<Types/>", "/a.xml", "t"),
            "<Types><Override PartName=\"/a.xml\" ContentType=\"t\"/></Types>");
  auto missing = append_content_type_override("<!--<Types/>-->", "/a.xml", "t");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().to_string(), "xml text decode error: expected closing marker </Types>");
}

}  // namespace
}  // namespace pelvane
