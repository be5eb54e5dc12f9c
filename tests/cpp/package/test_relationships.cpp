#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

#include "core/package/relationships.hpp"
#include "core/zip/package_archive.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

using test::TempDir;
using test::ZipEntry;

constexpr std::string_view kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";

std::string rels(std::string_view body) {
  return std::string(kHead) + std::string(body) + "</Relationships>";
}

std::string rel(std::string_view id, std::string_view target, std::string_view type = "t") {
  return "<Relationship Id=\"" + std::string(id) + "\" Type=\"" + std::string(type) +
         "\" Target=\"" + std::string(target) + "\"/>";
}

std::vector<std::string> ids_of(const std::vector<RelationshipSummary>& list) {
  std::vector<std::string> ids;
  for (const auto& r : list) ids.push_back(r.id);
  return ids;
}

TEST(ParseRelationships, SortsByIdThenTargetBytewiseAndStably) {
  auto list = parse_relationships(rels(rel("rId2", "b.xml") + rel("rId10", "c.xml") +
                                       rel("rId1", "z.xml") + rel("rId1", "a.xml") +
                                       "<Relationship Type=\"t\" Target=\"n.xml\"/>"));
  EXPECT_EQ(ids_of(list), (std::vector<std::string>{"", "rId1", "rId1", "rId10", "rId2"}));
  EXPECT_EQ(list[1].target, "a.xml");
  EXPECT_EQ(list[2].target, "z.xml");
}

TEST(ParseRelationships, ReadsFieldsByLocalNameAndUnescapes) {
  auto list = parse_relationships(
      "<pr:Relationships xmlns:pr=\"x\"><pr:Relationship Id=\"rId1\" Type=\"t\" "
      "Target=\"a&amp;b.xml\" "
      "TargetMode=\"External\"/><g><Relationship Id=\"rId2\" Target=\"&nbsp;\"/></g>"
      "<relationship Id=\"rId3\"/><Relationship Id=\"rId4\" x:Id=\"rId5\" Target=\"t\" "
      "Target=\"dup\"/>"
      "</pr:Relationships>");
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0], (RelationshipSummary{"rId1", "t", "a&b.xml", "External"}));
  EXPECT_EQ(list[1], (RelationshipSummary{"rId2", "", "", std::nullopt}));  // unknown entity
  EXPECT_EQ(list[2].id, "rId5");   // later local-name match wins
  EXPECT_EQ(list[2].target, "t");  // a repeated name is skipped
}

TEST(ParseRelationships, KeepsWhatWasReadBeforeAnXmlError) {
  auto list = parse_relationships("<Relationships>" + rel("rId1", "a.xml") + rel("rId2", "b.xml") +
                                  "</Wrong>" + rel("rId3", "c.xml"));
  EXPECT_EQ(ids_of(list), (std::vector<std::string>{"rId1", "rId2"}));
}

TEST(ReadRelationships, IsLenientAboutMissingAndUnopenableParts) {
  TempDir dir;
  const std::string path = dir.file("p.zip");
  ZipEntry locked{"ppt/slides/_rels/slide2.xml.rels", rels(rel("rId1", "x.xml"))};
  locked.password = "pw";
  test::write_zip(path, {{"ppt/slides/_rels/slide1.xml.rels", rels(rel("rId7", "../media/a.png"))},
                         locked,
                         {"_rels/x.xml.rels", rels(rel("rId3", "y.xml"))}});
  auto archive = PackageArchive::open_file(path);
  ASSERT_TRUE(archive);
  EXPECT_EQ(ids_of(*read_relationships(*archive, "ppt/slides/slide1.xml")),
            std::vector<std::string>{"rId7"});
  EXPECT_EQ(ids_of(*read_relationships(*archive, "x.xml")), std::vector<std::string>{"rId3"});
  EXPECT_TRUE(read_relationships(*archive, "ppt/slides/slide9.xml")->empty());
  auto unopenable = read_relationships(*archive, "ppt/slides/slide2.xml");
  ASSERT_TRUE(unopenable);
  EXPECT_TRUE(unopenable->empty());
}

TEST(ResolveTarget, AppliesTheTargetToTheSourceDirectory) {
  struct Case {
    const char* source;
    const char* target;
    const char* expected;
  } cases[] = {
      {"ppt/slides/slide1.xml", "../media/image1.png", "ppt/media/image1.png"},
      {"ppt/presentation.xml", "slides/slide1.xml", "ppt/slides/slide1.xml"},
      {"ppt/slides/slide1.xml", "./a//b.xml", "ppt/slides/a/b.xml"},
      {"ppt/slides/slide1.xml", "../../../x.xml", "x.xml"},
      {"ppt/slides/slide1.xml", "/ppt/../x.xml", "ppt/../x.xml"},
      {"x.xml", "y.xml", "y.xml"},
      {"ppt/slides/slide1.xml", "", "ppt/slides"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(resolve_target(c.source, c.target), c.expected) << c.source << " " << c.target;
    // Appended after other names, a target leaves them as they are, however far ".." climbs.
    std::string held = "a/b";
    append_resolved_target(c.source, c.target, held);
    EXPECT_EQ(held, std::string("a/b") + c.expected) << c.source << " " << c.target;
  }
}

TEST(MakeRelativeTarget, LeadsFromTheSourceDirectoryToTheTarget) {
  struct Case {
    const char* source;
    const char* target;
    const char* expected;
  } cases[] = {
      {"ppt/slides/slide1.xml", "ppt/slides/slide2.xml", "slide2.xml"},
      {"ppt/slides/slide1.xml", "ppt/charts/chart3.xml", "../charts/chart3.xml"},
      {"ppt/slides/slide1.xml", "docProps/a.xml", "../../docProps/a.xml"},
      {"ppt/slides/slide1.xml", "ppt/x.xml", "../x.xml"},
      {"a.xml", "ppt/x.xml", "ppt/x.xml"},
      {"ppt/charts/chart3.xml", "ppt/charts/style3.xml", "style3.xml"},
  };
  for (const Case& c : cases) {
    const std::string relative = make_relative_target(c.source, c.target);
    EXPECT_EQ(relative, c.expected) << c.source << " -> " << c.target;
    EXPECT_EQ(resolve_target(c.source, relative), c.target);  // the two agree
  }
}

TEST(RelationshipsByType, MatchesTypeEndsOncePerRelationship) {
  auto list =
      parse_relationships(rels(rel("rId1", "a", "x/comments") + rel("rId2", "b", "x/slide") +
                               rel("rId3", "c", "x/comment")));
  EXPECT_EQ(ids_of(relationships_by_type(list, {"/comments", "/comment"})),
            (std::vector<std::string>{"rId1", "rId3"}));
  EXPECT_TRUE(relationships_by_type(list, {}).empty());
}

TEST(NextRelationshipId, NumbersAfterTheLargestCountedId) {
  struct Case {
    std::vector<const char*> ids;
    const char* expected;
  } cases[] = {
      {{}, "rId1"},
      {{"rId2", "rId10", "rIdX", "foo"}, "rId11"},
      {{"rId1", "rId7"}, "rId8"},
      {{"rId+5"}, "rId6"},
      {{"rId005"}, "rId6"},
      {{"rId-5", "rId", "rId5 ", "rid6", "rId+", "RId9"}, "rId1"},
      {{"rId18446744073709551614"}, "rId18446744073709551615"},
      {{"rId18446744073709551616", "rId3"}, "rId4"},  // past 64 bits: not counted
  };
  for (const Case& c : cases) {
    std::string body;
    for (const char* id : c.ids) body += rel(id, "x.xml");
    auto next = next_relationship_id(rels(body));
    ASSERT_TRUE(next);
    EXPECT_EQ(*next, c.expected);
  }
}

TEST(NextRelationshipId, RefusesWhenNoLargerIdExists) {
  auto next = next_relationship_id(rels(rel("rId18446744073709551615", "x.xml")));
  ASSERT_FALSE(next);
  EXPECT_EQ(next.error().kind(), PelvaneError::Kind::InvalidInput);
}

TEST(AddingRelationships, InsertsBeforeTheLastClosingMarker) {
  const std::string empty = empty_relationships_xml();
  EXPECT_EQ(empty.size(), 157u);
  EXPECT_EQ(empty, std::string(kHead) + "</Relationships>\n");

  auto added = add_relationship(empty, "rId1", "t", "a&b.png");
  ASSERT_TRUE(added);
  EXPECT_EQ(*added,
            std::string(kHead) +
                "<Relationship Id=\"rId1\" Type=\"t\" Target=\"a&amp;b.png\"/></Relationships>\n");
  auto appended = append_relationship(empty, "rId1", "t", "a&b.png");
  ASSERT_TRUE(appended);
  EXPECT_EQ(*appended,
            std::string(kHead) +
                "<Relationship Id=\"rId1\" Type=\"t\" Target=\"a&b.png\"/></Relationships>\n");

  auto twice = add_relationship("<!--</Relationships>--></Relationships>", "rId1", "t", "x");
  EXPECT_EQ(
      *twice,
      "<!--</Relationships>--><Relationship Id=\"rId1\" Type=\"t\" Target=\"x\"/></Relationships>");

  // A part without relationships may be written as one self-closing tag.
  EXPECT_EQ(*add_relationship("<Relationships xmlns=\"n\"/>\n", "rId1", "t", "x"),
            "<Relationships xmlns=\"n\"><Relationship Id=\"rId1\" Type=\"t\" Target=\"x\"/>"
            "</Relationships>\n");
  auto missing = add_relationship("<Types/>", "rId1", "t", "x");
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().to_string(),
            "invalid input: relationships part is missing </Relationships>");
  auto missing_literal = append_relationship("<!--<Relationships/>-->", "rId1", "t", "x");
  ASSERT_FALSE(missing_literal);
  EXPECT_EQ(missing_literal.error().to_string(),
            "xml text decode error: expected closing marker </Relationships>");
}

TEST(CollectRelationshipIds, TakesPrefixedIdEmbedAndLinkAttributes) {
  XmlReader reader(
      "<p:sld xmlns:r=\"r\"><p:cNvPr id=\"5\"/><a:blip r:embed=\"rId3\"/><a:blip r:embed=\"rId3\"/>"
      "<a:hlinkClick r:id=\"rId2\"/><v r:link=\"rId&#52;\"/><x:y q:id=\"rId9\"/></p:sld>");
  std::set<std::string> ids;
  for (auto event = reader.next(); event && !event->is_eof(); event = reader.next()) {
    if (event->is_tag()) collect_relationship_ids(*event, ids);
  }
  EXPECT_EQ(ids, (std::set<std::string>{"rId2", "rId3", "rId4", "rId9"}));
}

TEST(ExtractRelId, TakesTheFirstAttributeEndingInColonId) {
  XmlReader reader("<p:sldId id=\"256\" r:id=\"rId7\"/><p:sldId id=\"257\"/>");
  auto first = reader.next();
  auto second = reader.next();
  ASSERT_TRUE(first && second);
  std::string buffer;
  EXPECT_EQ(rel_id_from_attributes(*first, buffer), "rId7");
  EXPECT_EQ(rel_id_from_attributes(*second, buffer), "");
}

TEST(RemoveRelationships, DropsTheNamedElementsAndKeepsEveryOtherByte) {
  const std::string part = rels("\n  " + rel("rId1", "a.xml") + "\n  " + rel("rId3", "c.xml") +
                                "\n  " + rel("rId10", "d.xml") + "\n");
  auto removed = remove_relationships_by_id(part, {"rId3"});
  ASSERT_TRUE(removed);
  EXPECT_EQ(removed->second, 1u);
  EXPECT_EQ(removed->first,
            rels("\n  " + rel("rId1", "a.xml") + "\n  \n  " + rel("rId10", "d.xml") + "\n"));

  // An element with content goes whole, a nested one uncounted with its parent; one met after
  // plain tags is removed alike.
  const struct {
    std::string_view part;
    std::uint64_t removed;
  } with_content[] = {
      {"<Relationships><Relationship Id=\"rId3\"><Relationship Id=\"rId4\"/>x</Relationship>"
       "<Relationship Id=\"rId5\"/></Relationships>",
       1},
      {"<Relationships><Relationship Id=\"rId3\"/><Relationship Id=\"rId4\">x</Relationship>"
       "<Relationship Id=\"rId5\"/></Relationships>",
       2},
  };
  for (const auto& [input, count] : with_content) {
    auto nested = remove_relationships_by_id(input, {"rId3", "rId4"});
    ASSERT_TRUE(nested);
    EXPECT_EQ(nested->first, "<Relationships><Relationship Id=\"rId5\"/></Relationships>");
    EXPECT_EQ(nested->second, count);
  }

  auto untouched = remove_relationships_by_id(part, {"rId9", "rid1"});
  EXPECT_EQ(untouched->first, part);
  EXPECT_EQ(untouched->second, 0u);
  EXPECT_EQ(remove_relationships_by_id("not xml <", {})->first, "not xml <");

  auto cut = remove_relationships_by_id("<Relationships><Relationship Id=\"rId3\">", {"rId3"});
  ASSERT_FALSE(cut);
  EXPECT_EQ(cut.error().to_string(),
            "xml text decode error: unexpected EOF while removing relationship");
  auto broken = remove_relationships_by_id("<a></b>", {"rId1"});
  ASSERT_FALSE(broken);
  EXPECT_EQ(broken.error().kind(), PelvaneError::Kind::Xml);

  // An end tag is written "</name>", a blank before its ">" dropped.
  auto blank = remove_relationships_by_id(
      "<Relationships><x></x ><Relationship Id=\"rId3\"/></Relationships >", {"rId3"});
  ASSERT_TRUE(blank);
  EXPECT_EQ(blank->first, "<Relationships><x></x></Relationships>");
}

// A removal that visits the elements sees those a scan sees: inside removed elements too, and up
// to a reader error or an end inside a removed element.
TEST(RemoveRelationships, VisitsWhatAScanVisits) {
  const std::string_view parts[] = {
      "<Relationships><Relationship Id=\"rId3\" Target=\"a\"><Relationship Id=\"rId4\" "
      "Target=\"b\"/></Relationship><Relationship Id=\"rId5\" Target=\"c\"/></Relationships>",
      "<Relationships><Relationship Id=\"rId5\" Target=\"c\"/><Relationship Id=\"rId3\">"
      "<Relationship Id=\"rId6\" Target=\"d\"/>",
      "<Relationships><Relationship Id=\"rId1\" Target=\"e\"/></b><Relationship Id=\"rId2\"/>",
  };
  for (const std::string_view part : parts) {
    std::vector<std::string> scanned, visited;
    scan_relationships(part, [&](const RelationshipText& text) {
      scanned.push_back(std::string(text.id) + ">" + std::string(text.target));
    });
    (void)remove_relationships_where(
        part, [](std::string_view id) { return id == "rId3"; },
        [&](const RelationshipText& text) {
          visited.push_back(std::string(text.id) + ">" + std::string(text.target));
        });
    EXPECT_EQ(visited, scanned) << part;
    EXPECT_FALSE(scanned.empty());
  }
}

TEST(RewriteRelationshipTargets, ChangesOnlyTheMappedTargets) {
  const std::string part = rels(rel("rId1", "../charts/chart1.xml") +
                                "<Relationship Id=\"rId2\" Type=\"t\" "
                                "Target=\"../charts/chart1.xml\" TargetMode=\"Internal\"/>" +
                                "<Relationship Id=\"rId3\" Type=\"t\"></Relationship>");
  auto rewritten = rewrite_relationship_targets(
      part, {{"rId2", "../charts/chart5.xml"}, {"rId3", "a&b.xml"}, {"rId9", "x"}});
  ASSERT_TRUE(rewritten);
  EXPECT_EQ(*rewritten,
            rels(rel("rId1", "../charts/chart1.xml") +
                 "<Relationship Id=\"rId2\" Type=\"t\" Target=\"../charts/chart5.xml\" "
                 "TargetMode=\"Internal\"/>" +
                 "<Relationship Id=\"rId3\" Type=\"t\" Target=\"a&amp;b.xml\"></Relationship>"));
  EXPECT_EQ(*rewrite_relationship_targets("not xml <", {}), "not xml <");
  EXPECT_FALSE(rewrite_relationship_targets("<a></b>", {{"rId1", "x"}}));
}

}  // namespace
}  // namespace pelvane
