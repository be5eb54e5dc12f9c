#include <gtest/gtest.h>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/package/slide_order.hpp"
#include "core/xml/xml_escape.hpp"
#include "core/xml/xml_events.hpp"
#include "core/zip/package_archive.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

using test::TempDir;
using test::ZipEntry;
using Names = std::vector<std::string>;

constexpr const char* kSlideType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/slide";

std::string presentation(const Names& ids) {
  std::string xml = "<p:presentation xmlns:p=\"p\" xmlns:r=\"r\"><p:sldIdLst>";
  for (std::size_t i = 0; i < ids.size(); ++i)
    xml += "<p:sldId id=\"" + std::to_string(256 + i) + "\" r:id=\"" + ids[i] + "\"/>";
  return xml + "</p:sldIdLst></p:presentation>";
}

// Relationships given as (id, target) pairs, all of the slide type unless the target says
// "layout:" first.
std::string presentation_rels(
    const std::vector<std::pair<std::string, std::string>>& relationships) {
  std::string xml = "<Relationships>";
  for (const auto& [id, target] : relationships) {
    const bool layout = target.starts_with("layout:");
    xml += "<Relationship Id=\"" + id + "\" Type=\"" +
           (layout ? std::string(kSlideType) + "Layout" : kSlideType) + "\" Target=\"" +
           (layout ? target.substr(7) : target) + "\"/>";
  }
  return xml + "</Relationships>";
}

class SlideOrder : public ::testing::Test {
 protected:
  TempDir dir;

  // A package with slide1..3 and the given presentation part and relationships.
  Result<Names> order(std::optional<std::string> xml, std::string rels,
                      Names slides = {"1", "2", "3"}) {
    std::vector<ZipEntry> entries;
    for (const auto& n : slides) entries.push_back({"ppt/slides/slide" + n + ".xml", "<p:sld/>"});
    if (xml) entries.push_back({"ppt/presentation.xml", *xml});
    entries.push_back({"ppt/_rels/presentation.xml.rels", rels});
    const std::string path = dir.file("p" + std::to_string(counter_++) + ".pptx");
    test::write_zip(path, entries);
    auto archive = PackageArchive::open_file(path);
    if (!archive) return fail(archive.error());
    return slide_parts(*archive);
  }

 private:
  int counter_ = 0;
};

const Names kNatural = {"ppt/slides/slide1.xml", "ppt/slides/slide2.xml", "ppt/slides/slide3.xml"};

TEST_F(SlideOrder, FollowsThePresentationsSlideList) {
  auto slides = order(presentation({"rId3", "rId1", "rId2"}),
                      presentation_rels({{"rId1", "slides/slide3.xml"},
                                         {"rId2", "/ppt/slides/slide1.xml"},
                                         {"rId3", "../ppt/slides/slide2.xml"},
                                         {"rId4", "layout:x.xml"}}));
  ASSERT_TRUE(slides);
  EXPECT_EQ(*slides,
            (Names{"ppt/slides/slide2.xml", "ppt/slides/slide3.xml", "ppt/slides/slide1.xml"}));
  // Ids that are no small "rId" number match by their text as well.
  auto unusual = order(presentation({"rId07", "rId99999999999", "rId+2"}),
                       presentation_rels({{"rId+2", "slides/slide1.xml"},
                                          {"rId99999999999", "slides/slide2.xml"},
                                          {"rId07", "slides/slide3.xml"}}));
  ASSERT_TRUE(unusual);
  EXPECT_EQ(*unusual,
            (Names{"ppt/slides/slide3.xml", "ppt/slides/slide2.xml", "ppt/slides/slide1.xml"}));
  // Slide parts numbered with a leading zero or past any table by number are found by name.
  auto numbered = order(presentation({"rId1", "rId2", "rId3"}),
                        presentation_rels({{"rId1", "slides/slide02.xml"},
                                           {"rId2", "slides/slide123456789.xml"},
                                           {"rId3", "slides/slide1.xml"}}),
                        {"1", "02", "123456789"});
  ASSERT_TRUE(numbered);
  EXPECT_EQ(*numbered, (Names{"ppt/slides/slide02.xml", "ppt/slides/slide123456789.xml",
                              "ppt/slides/slide1.xml"}));
}

TEST_F(SlideOrder, FollowsALongListWithReferencesInIdsAndTargets) {
  // Three hundred slides listed backwards: the table of targets grows several times, and values
  // written with references are looked up by what they stand for.
  Names slides, ids, expected;
  std::vector<std::pair<std::string, std::string>> rels;
  for (int n = 1; n <= 300; ++n) {
    slides.push_back(std::to_string(n));
    rels.push_back({"rId" + std::to_string(n), "slides/slide" + std::to_string(n) + ".xml"});
    ids.insert(ids.begin(), "rId" + std::to_string(n));
    expected.insert(expected.begin(), "ppt/slides/slide" + std::to_string(n) + ".xml");
  }
  ids[293] = "rId&#55;";
  rels[41] = {"rId4&#50;", "slides/slide&#52;2.xml"};
  auto listed = order(presentation(ids), presentation_rels(rels), slides);
  ASSERT_TRUE(listed);
  EXPECT_EQ(*listed, expected);
}

TEST_F(SlideOrder, FallsBackToNaturalOrderWhenTheListDoesNotMatch) {
  const auto all = presentation_rels({{"rId1", "slides/slide3.xml"},
                                      {"rId2", "slides/slide1.xml"},
                                      {"rId3", "slides/slide2.xml"}});
  struct Case {
    const char* what;
    std::optional<std::string> xml;
    std::string rels;
  } cases[] = {
      {"no presentation part", std::nullopt, all},
      {"two of three listed", presentation({"rId1", "rId2"}), all},
      {"one listed twice", presentation({"rId1", "rId1", "rId2"}), all},
      {"an id without relationship", presentation({"rId1", "rId2", "rId9"}), all},
      {"an id reaching a layout", presentation({"rId1", "rId2", "rId4"}),
       presentation_rels({{"rId1", "slides/slide3.xml"},
                          {"rId2", "slides/slide1.xml"},
                          {"rId4", "layout:slides/slide2.xml"}})},
      {"a target outside the slides", presentation({"rId1", "rId2", "rId3"}),
       presentation_rels({{"rId1", "slides/slide3.xml"},
                          {"rId2", "slides/slide1.xml"},
                          {"rId3", "slides/slide9.xml"}})},
      {"a bare id only", "<p:presentation><p:sldId id=\"256\"/></p:presentation>", all},
      {"ids equal only by number", presentation({"rId01", "rId+2", "rId3"}), all},
  };
  for (const Case& c : cases) {
    auto slides = order(c.xml, c.rels);
    ASSERT_TRUE(slides) << c.what;
    EXPECT_EQ(*slides, kNatural) << c.what;
  }
  auto numbered = order(std::nullopt, "", {"10", "2", "1"});
  EXPECT_EQ(*numbered,
            (Names{"ppt/slides/slide1.xml", "ppt/slides/slide2.xml", "ppt/slides/slide10.xml"}));
}

TEST_F(SlideOrder, OtherPrefixesCountAndTheLaterOfTwoEqualIdsWins) {
  // Sorted by target, rId1 -> slide1 comes before rId1 -> slide3; the later one gives the target.
  auto slides = order(
      "<p:presentation><p:sldId x:id=\"rId1\"/><p:sldId x:id=\"rId2\"/><p:sldId "
      "x:id=\"rId3\"/></p:presentation>",
      presentation_rels({{"rId1", "slides/slide3.xml"},
                         {"rId1", "slides/slide1.xml"},
                         {"rId2", "slides/slide2.xml"},
                         {"rId3", "slides/slide1.xml"}}));
  ASSERT_TRUE(slides);
  EXPECT_EQ(*slides,
            (Names{"ppt/slides/slide3.xml", "ppt/slides/slide2.xml", "ppt/slides/slide1.xml"}));
}

TEST_F(SlideOrder, AnIllFormedPresentationIsAnError) {
  auto slides = order("<p:presentation><p:sldIdLst></p:presentation>", "");
  ASSERT_FALSE(slides);
  EXPECT_EQ(slides.error().kind(), PelvaneError::Kind::Xml);
}

TEST_F(SlideOrder, AddressesSlidesAndLayoutsByIndex) {
  std::vector<ZipEntry> entries = {{"ppt/slides/slide1.xml", "<p:sld/>"},
                                   {"ppt/slides/slide2.xml", "<p:sld/>"}};
  for (int n = 11; n >= 1; --n)
    entries.push_back({"ppt/slideLayouts/slideLayout" + std::to_string(n) + ".xml", "<l/>"});
  const std::string path = dir.file("layouts.pptx");
  test::write_zip(path, entries);
  auto archive = PackageArchive::open_file(path);
  ASSERT_TRUE(archive);

  EXPECT_EQ(*slide_part_at_index(*archive, 1), "ppt/slides/slide2.xml");
  EXPECT_EQ(*slide_part_at_index(*archive, 2), std::nullopt);
  EXPECT_EQ(*slide_layout_target_at_index(*archive, 0), "../slideLayouts/slideLayout1.xml");
  EXPECT_EQ(*slide_layout_target_at_index(*archive, 1), "../slideLayouts/slideLayout2.xml");
  auto past = slide_layout_target_at_index(*archive, 11);
  ASSERT_FALSE(past);
  EXPECT_EQ(past.error().to_string(), "xml text decode error: slide layout index 11 was not found");
}

TEST_F(SlideOrder, AnEntryThatCannotBeOpenedFailsTheListings) {
  ZipEntry locked{"docProps/secret.xml", "x"};
  locked.password = "pw";
  const std::string path = dir.file("locked.pptx");
  test::write_zip(path, {{"ppt/slides/slide1.xml", "<p:sld/>"},
                         {"ppt/slideLayouts/slideLayout1.xml", "<l/>"},
                         locked});
  auto archive = PackageArchive::open_file(path);
  ASSERT_TRUE(archive);
  for (auto error : {slide_part_at_index(*archive, 0).error(),
                     slide_layout_target_at_index(*archive, 0).error()}) {
    EXPECT_EQ(error.to_string(), "zip error: No password provided");
  }
}

// The oracle of the ids the slide list names: every attribute whose qualified name ends with
// ":id" of every tag of local name "sldId", read by the general reader and unescaped, in document
// order. (The section lists' entries name their slides by a bare "id" alone, so they add nothing.)
Names listed_relationship_ids(std::string_view presentation_xml) {
  Names ids;
  XmlReader reader(presentation_xml);
  for (auto event = reader.next(); event && !event->is_eof(); event = reader.next()) {
    if (!event->is_tag() || event->local_name() != "sldId") continue;
    for (const XmlAttribute& attribute : event->attributes())
      if (!attribute.malformed && attribute.name.ends_with(":id"))
        ids.push_back(unescape_xml(attribute.value).value_or(std::string(attribute.value)));
  }
  return ids;
}

TEST_F(SlideOrder, TakesEveryColonIdAttributeOfSlideIds) {
  const std::string xml =
      "<p:presentation><p:sldIdLst><p:sldId id=\"256\" r:id=\"rId&#50;\"/><sldId a:id=\"x\" "
      "b:id=\"y\"><p:extLst/></sldId><p:sldId id=\"258\"/><p:sldMasterId r:id=\"rId9\"/>"
      "</p:sldIdLst><p14:sldId id=\"256\"/></p:presentation>";
  const Names ids = listed_relationship_ids(xml);
  EXPECT_EQ(ids, (Names{"rId2", "x", "y"}));
  const std::map<std::string, std::string> targets = {
      {"rId2", "slides/slide3.xml"}, {"x", "slides/slide1.xml"}, {"y", "slides/slide2.xml"}};
  Names expected;
  for (const std::string& id : ids) expected.push_back("ppt/" + targets.at(id));
  auto slides = order(xml, presentation_rels({targets.begin(), targets.end()}));
  ASSERT_TRUE(slides);
  EXPECT_EQ(*slides, expected);
}

}  // namespace
}  // namespace pelvane
