// The slide list of the presentation part: new slide ids, appending an entry, reordering.
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/decimal.hpp"
#include "core/package/slide_order.hpp"
#include "core/slides/slide_list.hpp"
#include "core/xml/xml_escape.hpp"
#include "core/xml/xml_events.hpp"
#include "core/zip/package_archive.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

// A presentation around `body`, with the tokens of the tables below written out.
std::string presentation(std::string_view body, bool closed = true) {
  const std::pair<std::string_view, std::string_view> tokens[] = {
      {"$M",
       "<p:sldMasterIdLst><p:sldMasterId id=\"2147483648\" r:id=\"rId1\"/></p:sldMasterIdLst>"},
      {"$S", "<p:sldSz cx=\"1\" cy=\"1\"/><p:notesSz cx=\"1\" cy=\"1\"/>"},
      {"$L", "<p:sldIdLst><p:sldId id=\"260\" r:id=\"rId9\"/></p:sldIdLst>"},
      {"$E", "<p:sldId id=\"260\" r:id=\"rId9\"/>"},
      {"$A", "<p:sldId id=\"256\" r:id=\"rId2\"/>"},
      {"$B",
       "<p:sldId id=\"257\" r:id=\"rId3\" x:k=\"1\"><p:extLst><p:ext "
       "uri=\"u\"/></p:extLst></p:sldId>"},
      {"$C", "<p:sldId id=\"258\" r:id=\"rId4\"/>"},
  };
  std::string text =
      "<p:presentation xmlns:p=\"p\" xmlns:r=\"r\" xmlns:x=\"x\">" + std::string(body);
  for (const auto& [token, value] : tokens)
    for (auto at = text.find(token); at != std::string::npos; at = text.find(token, at))
      text.replace(at, token.size(), value);
  return closed ? text + "</p:presentation>" : text;
}

// The oracle of a new slide's id: every attribute of local name "id" of every "sldId" tag, read
// by the general reader and unescaped, counts when it is an unsigned 64-bit decimal (a leading "+"
// allowed). An XML error ends the scan with the ids read so far.
std::uint64_t next_slide_id(std::string_view presentation_xml) {
  std::vector<std::uint64_t> used;
  XmlReader reader(presentation_xml);
  for (auto event = reader.next(); event && !event->is_eof(); event = reader.next()) {
    if (!event->is_tag() || event->local_name() != "sldId") continue;
    for (const XmlAttribute& attribute : event->attributes()) {
      if (attribute.malformed || attribute.local_name() != "id") continue;
      if (auto value = unescape_xml(attribute.value))
        if (auto number = parse_u64(*value)) used.push_back(*number);
    }
  }
  return slide_id_after(std::move(used));
}

// The new slide's id as the operations take it: from the numbers the slide listing gathers.
Result<std::uint64_t> listed_next_slide_id(std::string_view presentation_xml) {
  // The archive reads the bytes in place: they outlive it.
  const std::string bytes =
      test::zip_bytes({{"ppt/presentation.xml", std::string(presentation_xml)}});
  auto archive = PackageArchive::open_bytes(bytes);
  if (!archive) return fail(archive.error());
  auto listing = read_presentation_slides(*archive, Gather::NewIds);
  if (!listing) return fail(listing.error());
  return slide_id_after(std::move(listing->slide_id_numbers));
}

TEST(NextSlideId, OneAboveTheLargestIdAndNeverBelow256) {
  const std::pair<std::string_view, std::uint64_t> cases[] = {
      {"<p:sldIdLst>$A<p:sldId id=\"300\"/></p:sldIdLst>", 301},
      {"<p:sldIdLst><p:sldId id=\"7\"/><p:sldId id=\"255\"/></p:sldIdLst>", 256},
      {"", 256},
      {"<p:sldIdLst><p:sldId id=\"+400\"/></p:sldIdLst>", 401},
      {"<p:sldIdLst><p:sldId id=\"18446744073709551616\"/><p:sldId id=\"\"/><p:sldId id=\"-5\"/>"
       "<p:sldId id=\"12a\"/><p:sldId id=\"260\"/></p:sldIdLst>",
       261},
      {"<p:sldIdLst><p:sldId x:id=\"500\" r:id=\"900\"/></p:sldIdLst>", 901},
      {"<p:sldIdLst>$A$B<p:sldId id=\"2&#55;0\"/><p:sldId id=\"2147483647\"/></p:sldIdLst>", 258},
  };
  for (const auto& [body, expected] : cases) {
    EXPECT_EQ(next_slide_id(presentation(body)), expected) << body;
    EXPECT_EQ(listed_next_slide_id(presentation(body)), expected) << body;
  }
  // The listing refuses an ill-formed presentation where the oracle stops reading.
  const std::string broken =
      presentation("<p:sldIdLst><p:sldId id=\"270\"/><p:sldId id=\"280\"></p:wrong></p:sldIdLst>");
  EXPECT_EQ(next_slide_id(broken), 281u);
  EXPECT_EQ(listed_next_slide_id(broken).error().kind(), PelvaneError::Kind::Xml);
}

TEST(AppendSlideId, PutsTheEntryInTheListOrANewListWhereTheSchemaWantsIt) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"$M<p:sldIdLst>$A</p:sldIdLst>$S", "$M<p:sldIdLst>$A$E</p:sldIdLst>$S"},
      {"$M<p:sldIdLst/>$S", "$M$L$S"},
      {"$M<p:sldIdLst />", "$M<p:sldIdLst >$E</p:sldIdLst>"},
      {"$M$S", "$M$L$S"},
      {"$M<p:notesMasterIdLst/>$S", "$M<p:notesMasterIdLst/>$L$S"},
      {"$M<!-- </p:notesMasterIdLst> -->$S", "$M$L<!-- </p:notesMasterIdLst> -->$S"},
      {"$M<p:handoutMasterIdLst><p:handoutMasterId r:id=\"r\"/></p:handoutMasterIdLst>$S",
       "$M<p:handoutMasterIdLst><p:handoutMasterId r:id=\"r\"/></p:handoutMasterIdLst>$L$S"},
      {"$S", "$L$S"},
      {"<p:notesSz/>", "$L<p:notesSz/>"},
      {"<p:defaultTextStyle/>", "$L<p:defaultTextStyle/>"},
      {"", "$L"},
  };
  for (const auto& [before, after] : cases) {
    auto result = append_slide_id(presentation(before), 260, "rId9");
    ASSERT_TRUE(result) << before;
    EXPECT_EQ(*result, presentation(after)) << before;
  }
  auto missing = append_slide_id(presentation("", false), 260, "rId9");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().to_string(),
            "xml text decode error: expected closing marker </p:presentation>");
  // The entry's "p:" may be bound to nothing where the list uses another prefix.
  auto other_prefix = append_slide_id(presentation("<x:sldIdLst>$A</x:sldIdLst>"), 260, "rId9");
  ASSERT_FALSE(other_prefix);
  EXPECT_EQ(other_prefix.error().kind(), PelvaneError::Kind::InvalidInput);
}

TEST(ReorderSlideIds, MovesWholeEntriesAndTellsWhetherAnythingChanged) {
  const struct {
    std::string_view before;
    std::vector<std::uint64_t> order;
    std::string_view after;  // empty: the input, unchanged
  } cases[] = {
      {"<p:sldIdLst>$A$B$C</p:sldIdLst>$S", {1, 0, 2}, "<p:sldIdLst>$B$A$C</p:sldIdLst>$S"},
      {"<p:sldIdLst>$A$B$C</p:sldIdLst>", {0, 1, 2}, ""},
      {"<p:sldIdLst >\n <p:sldId id='256' r:id=\"rId2\" ></p:sldId >\n</p:sldIdLst  >", {0}, ""},
      {"<p:sldIdLst></p:sldIdLst>", {}, ""},
      {"<p:sldIdLst>\n $A<!-- b -->$B\n$C</p:sldIdLst>",
       {2, 1, 0},
       "<p:sldIdLst>\n <!-- b -->\n$C$B$A</p:sldIdLst>"},
  };
  for (const auto& c : cases) {
    const std::string input = presentation(c.before);
    auto result = reorder_slide_ids(input, c.order);
    ASSERT_TRUE(result) << c.before << ": " << result.error().to_string();
    EXPECT_EQ(result->first, c.after.empty() ? input : presentation(c.after)) << c.before;
    EXPECT_EQ(result->second, !c.after.empty()) << c.before;
  }
  // Another prefix is reordered too; a list that never ends is left as it is.
  auto prefixed = reorder_slide_ids(
      "<q:p><q:sldIdLst><q:sldId id=\"1\"/><q:sldId/></q:sldIdLst>"
      "</q:p>",
      std::vector<std::uint64_t>{1, 0});
  ASSERT_TRUE(prefixed);
  EXPECT_EQ(prefixed->first, "<q:p><q:sldIdLst><q:sldId/><q:sldId id=\"1\"/></q:sldIdLst></q:p>");
  const std::string unended = presentation("<p:sldIdLst>$A", false);
  auto kept = reorder_slide_ids(unended, std::vector<std::uint64_t>{4});
  ASSERT_TRUE(kept);
  EXPECT_EQ(*kept, std::pair(unended, false));
}

TEST(ReorderSlideIds, RefusesBadOrdersAndMissingLists) {
  const struct {
    std::string input;
    std::vector<std::uint64_t> order;
    std::string_view error;
  } cases[] = {
      {presentation("<p:sldIdLst>$A$B$C</p:sldIdLst>"),
       {0, 0, 1},
       "invalid input: slide order index 0 is duplicated"},
      {presentation("<p:sldIdLst>$A$B$C</p:sldIdLst>"),
       {0, 3, 1},
       "invalid input: slide order index 3 was not found"},
      {presentation("<p:sldIdLst>$A$B$C</p:sldIdLst>"),
       {3, 3, 3},
       "invalid input: slide order index 3 was not found"},
      {presentation("<p:sldIdLst>$A$B$C</p:sldIdLst>"),
       {0, 1},
       "invalid input: slide order has 2 entries for 3 slides"},
      {presentation("$S"), {}, "xml text decode error: presentation has no slide id list"},
      {presentation("<p:sldIdLst/>"),
       {},
       "xml text decode error: presentation has no slide id list"},
      {presentation("<p:sldIdLst><p:sldId id=\"256\"><p:extLst>", false),
       {0},
       "xml text decode error: unexpected EOF while reading slide id"},
      {presentation("<p:sldIdLst></p:wrong>"), {}, "xml error: "},
  };
  for (const auto& c : cases) {
    auto result = reorder_slide_ids(c.input, c.order);
    ASSERT_FALSE(result) << c.error;
    EXPECT_TRUE(result.error().to_string().starts_with(c.error)) << result.error().to_string();
  }
}

}  // namespace
}  // namespace pelvane
