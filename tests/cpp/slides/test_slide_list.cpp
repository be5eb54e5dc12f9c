// The slide list of the presentation part: new slide ids, appending an entry, reordering.
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

#include "core/slides/slide_list.hpp"

namespace pelvane {
namespace {

constexpr std::string_view kRoot = "<p:presentation xmlns:p=\"p\" xmlns:r=\"r\" xmlns:x=\"x\">";

std::string presentation(std::string_view body) {
  return std::string(kRoot) + std::string(body) + "</p:presentation>";
}

TEST(NextSlideId, OneAboveTheLargestIdAndNeverBelow256) {
  const struct {
    std::string_view name;
    std::string_view list;
    std::uint64_t expected;
  } cases[] = {
      {"largest plus one",
       "<p:sldIdLst><p:sldId id=\"256\" r:id=\"rId2\"/><p:sldId id=\"300\" "
       "r:id=\"rId3\"/></p:sldIdLst>",
       301},
      {"all below 256", "<p:sldIdLst><p:sldId id=\"7\"/><p:sldId id=\"255\"/></p:sldIdLst>", 256},
      {"no entry", "", 256},
      {"a plus sign counts", "<p:sldIdLst><p:sldId id=\"+400\"/></p:sldIdLst>", 401},
      {"escaped digits count", "<p:sldIdLst><p:sldId id=\"&#52;00\"/></p:sldIdLst>", 401},
      {"overflowing, empty and non-numeric are ignored",
       "<p:sldIdLst><p:sldId id=\"18446744073709551616\"/><p:sldId id=\"\"/><p:sldId id=\"-5\"/>"
       "<p:sldId id=\"12a\"/><p:sldId id=\"260\"/></p:sldIdLst>",
       261},
      {"any prefix, r:id too", "<p:sldIdLst><p:sldId x:id=\"500\" r:id=\"900\"/></p:sldIdLst>",
       901},
      {"other elements do not count",
       "<p:sldMasterIdLst><p:sldMasterId id=\"2147483648\"/></p:sldMasterIdLst>", 256},
      {"an XML error keeps what was read",
       "<p:sldIdLst><p:sldId id=\"270\"/><p:sldId id=\"280\"></p:wrong></p:sldIdLst>", 281},
  };
  for (const auto& c : cases) EXPECT_EQ(next_slide_id(presentation(c.list)), c.expected) << c.name;
}

constexpr std::string_view kEntry = "<p:sldId id=\"260\" r:id=\"rId9\"/>";
constexpr std::string_view kMasters =
    "<p:sldMasterIdLst><p:sldMasterId id=\"2147483648\" r:id=\"rId1\"/></p:sldMasterIdLst>";
constexpr std::string_view kSizes = "<p:sldSz cx=\"1\" cy=\"1\"/><p:notesSz cx=\"1\" cy=\"1\"/>";

TEST(AppendSlideId, PlacesTheEntryInTheListOrANewListWhereTheSchemaWantsIt) {
  const std::string list = "<p:sldIdLst>" + std::string(kEntry) + "</p:sldIdLst>";
  const struct {
    std::string_view name;
    std::string before;
    std::string after;
  } cases[] = {
      {"last in an existing list",
       std::string(kMasters) + "<p:sldIdLst><p:sldId id=\"256\" r:id=\"rId2\"/></p:sldIdLst>",
       std::string(kMasters) + "<p:sldIdLst><p:sldId id=\"256\" r:id=\"rId2\"/>" +
           std::string(kEntry) + "</p:sldIdLst>"},
      {"a self-closing list opens up",
       std::string(kMasters) + "<p:sldIdLst/>" + std::string(kSizes),
       std::string(kMasters) + list + std::string(kSizes)},
      {"a self-closing list with a blank opens up", std::string(kMasters) + "<p:sldIdLst />",
       std::string(kMasters) + "<p:sldIdLst >" + std::string(kEntry) + "</p:sldIdLst>"},
      {"directly after the master list", std::string(kMasters) + std::string(kSizes),
       std::string(kMasters) + list + std::string(kSizes)},
      {"after the handout master list",
       std::string(kMasters) +
           "<p:handoutMasterIdLst><p:handoutMasterId r:id=\"rId4\"/>"
           "</p:handoutMasterIdLst>" +
           std::string(kSizes),
       std::string(kMasters) +
           "<p:handoutMasterIdLst><p:handoutMasterId r:id=\"rId4\"/>"
           "</p:handoutMasterIdLst>" +
           list + std::string(kSizes)},
      {"after a self-closing notes master list",
       std::string(kMasters) + "<p:notesMasterIdLst/>" + std::string(kSizes),
       std::string(kMasters) + "<p:notesMasterIdLst/>" + list + std::string(kSizes)},
      {"before the slide size", std::string(kSizes), list + std::string(kSizes)},
      {"before the notes size", "<p:notesSz cx=\"1\" cy=\"1\"/>",
       list + "<p:notesSz cx=\"1\" cy=\"1\"/>"},
      {"before the default text style", "<p:defaultTextStyle/>", list + "<p:defaultTextStyle/>"},
      {"before the end of the presentation", "", list},
  };
  for (const auto& c : cases) {
    auto result = append_slide_id(presentation(c.before), 260, "rId9");
    ASSERT_TRUE(result) << c.name;
    EXPECT_EQ(*result, presentation(c.after)) << c.name;
  }
  auto missing = append_slide_id("<p:presentation>", 260, "rId9");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().to_string(),
            "xml text decode error: expected closing marker </p:presentation>");
}

// A list of three entries: a plain one, one with an extension list inside, one more.
constexpr std::string_view kA = "<p:sldId id=\"256\" r:id=\"rId2\"/>";
constexpr std::string_view kB =
    "<p:sldId id=\"257\" r:id=\"rId3\" x:custom=\"1\"><p:extLst><p:ext uri=\"u\"/></p:extLst>"
    "</p:sldId>";
constexpr std::string_view kC = "<p:sldId id=\"258\" r:id=\"rId4\"/>";

std::string three(std::string_view first, std::string_view second, std::string_view third,
                  std::string_view between = "") {
  return presentation("<p:sldIdLst>" + std::string(between) + std::string(first) +
                      std::string(second) + std::string(third) + "</p:sldIdLst>" +
                      std::string(kSizes));
}

TEST(ReorderSlideIds, MovesWholeEntriesAndReportsWhetherAnythingChanged) {
  const std::string abc = three(kA, kB, kC);
  const struct {
    std::string_view name;
    std::string input;
    std::vector<std::uint64_t> order;
    std::string expected;
    bool changed;
  } cases[] = {
      {"a swap moves attributes and children", abc, {1, 0, 2}, three(kB, kA, kC), true},
      {"a rotation", abc, {2, 0, 1}, three(kC, kA, kB), true},
      {"identity keeps the input", abc, {0, 1, 2}, abc, false},
      {"identity keeps odd formatting too",
       presentation("<p:sldIdLst >\n  <p:sldId id='256' r:id=\"rId2\" />\n</p:sldIdLst  >"),
       {0},
       presentation("<p:sldIdLst >\n  <p:sldId id='256' r:id=\"rId2\" />\n</p:sldIdLst  >"),
       false},
      {"an empty list with an empty order",
       presentation("<p:sldIdLst></p:sldIdLst>"),
       {},
       presentation("<p:sldIdLst></p:sldIdLst>"),
       false},
      {"white space and comments move after the start tag",
       presentation("<p:sldIdLst>\n " + std::string(kA) + "<!-- b -->" + std::string(kB) + "\n" +
                    std::string(kC) + "</p:sldIdLst>"),
       {2, 1, 0},
       presentation("<p:sldIdLst>\n <!-- b -->\n" + std::string(kC) + std::string(kB) +
                    std::string(kA) + "</p:sldIdLst>"),
       true},
      {"another prefix is reordered too",
       "<q:presentation xmlns:q=\"p\"><q:sldIdLst><q:sldId id=\"1\"/><q:sldId id=\"2\"/>"
       "</q:sldIdLst></q:presentation>",
       {1, 0},
       "<q:presentation xmlns:q=\"p\"><q:sldIdLst><q:sldId id=\"2\"/><q:sldId id=\"1\"/>"
       "</q:sldIdLst></q:presentation>",
       true},
      {"a list that never ends is left as it is",
       std::string(kRoot) + "<p:sldIdLst>" + std::string(kA),
       {5},
       std::string(kRoot) + "<p:sldIdLst>" + std::string(kA),
       false},
  };
  for (const auto& c : cases) {
    auto result = reorder_slide_ids(c.input, c.order);
    ASSERT_TRUE(result) << c.name << ": " << result.error().to_string();
    EXPECT_EQ(result->first, c.expected) << c.name;
    EXPECT_EQ(result->second, c.changed) << c.name;
  }
}

TEST(ReorderSlideIds, RefusesBadOrdersAndMissingLists) {
  const std::string abc = three(kA, kB, kC);
  const struct {
    std::string input;
    std::vector<std::uint64_t> order;
    std::string error;
  } cases[] = {
      {abc, {0, 0, 1}, "invalid input: slide order index 0 is duplicated"},
      {abc, {0, 3, 1}, "invalid input: slide order index 3 was not found"},
      {abc, {3, 3, 3}, "invalid input: slide order index 3 was not found"},
      {abc, {0, 1}, "invalid input: slide order has 2 entries for 3 slides"},
      {presentation(kSizes), {}, "xml text decode error: presentation has no slide id list"},
      {presentation("<p:sldIdLst/>"),
       {},
       "xml text decode error: presentation has no slide id list"},
      {std::string(kRoot) + "<p:sldIdLst><p:sldId id=\"256\"><p:extLst>",
       {0},
       "xml text decode error: unexpected EOF while reading slide id"},
  };
  for (const auto& c : cases) {
    auto result = reorder_slide_ids(c.input, c.order);
    ASSERT_FALSE(result) << c.error;
    EXPECT_EQ(result.error().to_string(), c.error);
  }
  auto ill_formed = reorder_slide_ids(presentation("<p:sldIdLst></p:wrong>"), {});
  ASSERT_FALSE(ill_formed);
  EXPECT_EQ(ill_formed.error().kind(), PelvaneError::Kind::Xml);
}

}  // namespace
}  // namespace pelvane
