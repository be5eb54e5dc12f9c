// The parts deleting slides writes anew: the presentation's slide list and custom shows, the
// presentation's relationships and the content types.
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/slides/slide_deletion_rewrites.hpp"

namespace pelvane {
namespace {

// A presentation around `body`, with the tokens below written out.
std::string presentation(std::string_view body) {
  const std::pair<std::string_view, std::string_view> tokens[] = {
      {"$A", "<p:sldId id=\"256\" r:id=\"rId2\"/>"},
      {"$B",
       "<p:sldId id=\"257\" r:id=\"rId3\" x:k=\"1\"><p:extLst><p:ext "
       "uri=\"u\"/></p:extLst></p:sldId>"},
      {"$C", "<p:sldId id=\"258\" r:id=\"rId4\"/>"},
      {"$D", "<p:sldId id=\"300\" r:id=\"rId2\"/>"},
  };
  std::string text =
      "<?xml version=\"1.0\"?>\n<p:presentation xmlns:p=\"p\" xmlns:r=\"r\" "
      "xmlns:x=\"x\">" +
      std::string(body);
  for (const auto& [token, value] : tokens)
    for (auto at = text.find(token); at != std::string::npos; at = text.find(token, at))
      text.replace(at, token.size(), value);
  return text + "</p:presentation>";
}

TEST(PresentationForSlideDeletion, DropsDeletedEntriesAndListsTheRestInTheirOrder) {
  using Order = std::optional<std::vector<std::string>>;
  const struct {
    std::string_view before;
    PartNameSet deleted;
    Order order;
    std::string_view after;
  } cases[] = {
      // Document order; an entry's attributes and children are written unchanged.
      {"<p:sldIdLst>$A$B$C</p:sldIdLst>", {"rId4"}, std::nullopt, "<p:sldIdLst>$A$B</p:sldIdLst>"},
      // Text and comments between entries end up right after the list's start tag.
      {"<p:sldIdLst>\n  $A\n  <!--c-->$B\n  $C\n</p:sldIdLst>",
       {"rId2"},
       std::nullopt,
       "<p:sldIdLst>\n  \n  <!--c-->\n  \n$B$C</p:sldIdLst>"},
      {"<p:sldIdLst>$A$B$C</p:sldIdLst>",
       {"rId3"},
       Order({{"rId4", "rId2"}}),
       "<p:sldIdLst>$C$A</p:sldIdLst>"},
      // An id without an entry writes nothing; an entry no id names is left out.
      {"<p:sldIdLst>$A$B$C</p:sldIdLst>",
       {"rId3"},
       Order({{"rId9", "rId2"}}),
       "<p:sldIdLst>$A</p:sldIdLst>"},
      // Two entries of one id: an order writes the later, document order both.
      {"<p:sldIdLst>$A$C$D</p:sldIdLst>",
       {"rId4"},
       Order({{"rId2"}}),
       "<p:sldIdLst>$D</p:sldIdLst>"},
      {"<p:sldIdLst>$A$C$D</p:sldIdLst>", {"rId4"}, std::nullopt, "<p:sldIdLst>$A$D</p:sldIdLst>"},
      // Ids are compared unescaped and whole.
      {"<p:sldIdLst>$A<p:sldId id=\"259\" r:id=\"rId&#53;\"/><p:sldId id=\"260\" r:id=\"rId22\"/>"
       "</p:sldIdLst>",
       {"rId5", "rId2"},
       std::nullopt,
       "<p:sldIdLst><p:sldId id=\"260\" r:id=\"rId22\"/></p:sldIdLst>"},
      // Only the list's own children are entries: one inside another child stays with it.
      {"<p:sldIdLst><x:w>$A</x:w>$C</p:sldIdLst>",
       {"rId2"},
       std::nullopt,
       "<p:sldIdLst><x:w>$A</x:w>$C</p:sldIdLst>"},
      {"<p:sldIdLst/><p:sldSz/>", {"rId2"}, Order({{"rId3"}}), "<p:sldIdLst/><p:sldSz/>"},
      {"<p:sldSz/>", {"rId2"}, std::nullopt, "<p:sldSz/>"},
      // Custom shows lose their entries of deleted slides; an emptied show keeps its list, and an
      // element of that name elsewhere stays.
      {"<p:sldIdLst>$A$B</p:sldIdLst><p:custShowLst><p:custShow name=\"a\" id=\"0\"><p:sldLst>"
       "<p:sld r:id=\"rId3\"/><p:sld r:id=\"rId2\"/></p:sldLst></p:custShow><p:custShow "
       "name=\"b\" id=\"1\"><p:sldLst><p:sld r:id=\"rId3\"><x:y/></p:sld></p:sldLst></p:custShow>"
       "</p:custShowLst><x:sld r:id=\"rId3\"/>",
       {"rId3"},
       std::nullopt,
       "<p:sldIdLst>$A</p:sldIdLst><p:custShowLst><p:custShow name=\"a\" id=\"0\"><p:sldLst>"
       "<p:sld r:id=\"rId2\"/></p:sldLst></p:custShow><p:custShow name=\"b\" id=\"1\"><p:sldLst>"
       "</p:sldLst></p:custShow></p:custShowLst><x:sld r:id=\"rId3\"/>"},
  };
  for (const auto& c : cases) {
    auto result =
        rewrite_presentation_xml_for_slide_deletion(presentation(c.before), c.deleted, c.order);
    ASSERT_TRUE(result) << c.before << ": " << result.error().to_string();
    EXPECT_EQ(*result, presentation(c.after)) << c.before;
  }
}

// Faults of the three rewriters: input, which rewriter, message.
TEST(SlideDeletionRewrites, RefuseTextsThatEndInsideWhatTheyHold) {
  const PartNameSet ids{"rId2"};
  const struct {
    std::string_view xml;
    int rewriter;  // 0 presentation, 1 relationships, 2 content types
    std::string_view message;
  } cases[] = {
      {"<p:presentation xmlns:p=\"p\"><p:sldIdLst><p:sldId r:id=\"rId3\">", 0,
       "xml text decode error: unexpected EOF while reading slide id"},
      {"<p:presentation xmlns:p=\"p\"><p:sldIdLst><p:sldId r:id=\"rId3\"/>", 0,
       "xml text decode error: unexpected EOF while reading slide id list"},
      {"<Relationships><Relationship Id=\"rId2\"><x>", 1,
       "xml text decode error: unexpected EOF while removing relationship"},
      {"<Types><Override PartName=\"/a.xml\">", 2,
       "xml text decode error: unexpected EOF while removing content type override"},
  };
  for (const auto& c : cases) {
    auto result = c.rewriter == 0   ? rewrite_presentation_xml_for_slide_deletion(c.xml, ids, {})
                  : c.rewriter == 1 ? rewrite_relationships_for_slide_deletion(c.xml, ids)
                                    : rewrite_content_types_for_slide_deletion(c.xml, {"a.xml"});
    ASSERT_FALSE(result) << c.xml;
    EXPECT_EQ(result.error().to_string(), c.message);
  }
  auto mismatched = rewrite_presentation_xml_for_slide_deletion(
      "<p:presentation><p:sldIdLst></p:wrong></p:presentation>", ids, {});
  ASSERT_FALSE(mismatched);
  EXPECT_EQ(mismatched.error().kind(), PelvaneError::Kind::Xml);
}

TEST(RelationshipsForSlideDeletion, RemovesTheElementsOfDeletedIdsAndKeepsEveryOtherByte) {
  const std::string_view head =
      "<?xml version='1.0' standalone=\"yes\" ?>\r\n<!-- rels --><Relationships xmlns=\"n\">\n ";
  const std::string before =
      std::string(head) +
      "<Relationship Id=\"rId1\" Type='t' Target=\"a&amp;b.xml\" />\n <r:Relationship "
      "Id=\"rId2\" Type=\"t\" Target=\"s.xml\"/>\n <Relationship Id=\"rId3\" Type=\"t\" "
      "Target=\"x\"><Inner><Relationship Id=\"rId1\"/></Inner></Relationship>\n</Relationships>";
  const std::string after =
      std::string(head) +
      "<Relationship Id=\"rId1\" Type='t' Target=\"a&amp;b.xml\" />\n \n \n</Relationships>";
  auto result = rewrite_relationships_for_slide_deletion(before, {"rId2", "rId3"});
  ASSERT_TRUE(result);
  EXPECT_EQ(*result, after);
}

TEST(ContentTypesForSlideDeletion, RemovesOverridesByUnescapedPartName) {
  const std::string before =
      "<Types xmlns=\"n\"><Default Extension=\"png\" ContentType=\"image/png\"/>"
      "<Override PartName=\"/ppt/a&amp;b.xml\" ContentType=\"t\"/>"
      "<Override PartName=\"/PPT/C.XML\" ContentType=\"t\"/>"
      "<Override ContentType=\"t\" PartName=\"/ppt/c.xml\"></Override>"
      "<Override PartName=\"/ppt/d.xml\" ContentType=\"t\"/>"
      "<Override PartName=\"ppt/c.xml\" ContentType=\"t\"/></Types>";
  auto result = rewrite_content_types_for_slide_deletion(
      before, {"ppt/a&b.xml", "ppt/c.xml", "ppt/media/image1.png"});
  ASSERT_TRUE(result);
  EXPECT_EQ(*result,
            "<Types xmlns=\"n\"><Default Extension=\"png\" ContentType=\"image/png\"/>"
            "<Override PartName=\"/PPT/C.XML\" ContentType=\"t\"/>"
            "<Override PartName=\"/ppt/d.xml\" ContentType=\"t\"/>"
            "<Override PartName=\"ppt/c.xml\" ContentType=\"t\"/></Types>");
}

}  // namespace
}  // namespace pelvane
