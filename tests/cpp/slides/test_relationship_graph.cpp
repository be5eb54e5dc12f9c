// The relationship graph of a package and the two walks that decide what deleting slides drops.
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/slides/relationship_graph.hpp"
#include "core/zip/package_archive.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

RelationshipSummary relationship(std::string target, std::optional<std::string> mode = {}) {
  return RelationshipSummary{"rId1", "t", std::move(target), std::move(mode)};
}

TEST(RelationshipGraph, SourcePartOfARelationshipsPart) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"_rels/.rels", ""},
      {"ppt/slides/_rels/slide1.xml.rels", "ppt/slides/slide1.xml"},
      {"ppt/_rels/presentation.xml.rels.rels", "ppt/presentation.xml"},
      {"a/_rels/b/_rels/c.xml.rels", "a/_rels/b/c.xml"},
      {"ppt/slides/slide1.xml.rels", "ppt/slides/slide1.xml"},
      {"_rels/x.rels", "x"},
  };
  for (const auto& [name, source] : cases)
    EXPECT_EQ(relationships_source_part(name), source) << name;
}

// Only the root's targets lose every leading "/"; others resolve as any target does.
TEST(RelationshipGraph, EdgesOfInternalRelationshipsWithATarget) {
  const std::vector<RelationshipSummary> relationships = {
      relationship("/ppt/presentation.xml"),    relationship("//docProps/app.xml", "Internal"),
      relationship("./a/../b.xml", "INTERNAL"), relationship("http://x", "External"),
      relationship("c.xml", "Other"),           relationship(""),
  };
  EXPECT_EQ(
      relationship_edges("", relationships),
      (std::vector<RelationshipEdge>{
          {"ppt/presentation.xml", false}, {"docProps/app.xml", true}, {"./a/../b.xml", true}}));
  EXPECT_EQ(relationship_edges("ppt/slides/slide1.xml", relationships),
            (std::vector<RelationshipEdge>{{"ppt/presentation.xml", false},
                                           {"/docProps/app.xml", true},
                                           {"ppt/slides/b.xml", true}}));
}

TEST(RelationshipGraph, WalksFindWhatOnlyDeletedSlidesReach) {
  const std::string s1 = "ppt/slides/slide1.xml", s2 = "ppt/slides/slide2.xml";
  const RelationshipGraph graph = {
      {"", {{"ppt/presentation.xml", false}}},
      {"ppt/presentation.xml", {{s1, false}, {s2, false}, {"ppt/theme.xml", false}}},
      {s1,
       {{"ppt/notes1.xml", false},
        {"ppt/image1.png", false},
        {"ppt/chart1.xml", false},
        {"ppt/image2.png", true}}},
      {"ppt/notes1.xml", {{s1, false}}},  // a cycle
      {"ppt/chart1.xml", {{"ppt/book1.xlsx", false}}},
      // A jump link back to the deleted slide, and the shared picture through an Internal mode.
      {s2, {{s1, false}, {"ppt/image1.png", true}}},
  };
  const std::vector<std::string> targets{s1}, survivors{s2};
  EXPECT_EQ(deleted_closure(graph, targets), (PartNameSet{s1, "ppt/notes1.xml", "ppt/image1.png",
                                                          "ppt/chart1.xml", "ppt/book1.xlsx"}));
  EXPECT_EQ(kept_closure(graph, survivors, PartNameSet{s1}),
            (PartNameSet{"", "ppt/presentation.xml", s2, "ppt/theme.xml", "ppt/image1.png"}));
}

TEST(RelationshipGraph, ReadsEveryRelationshipsPartALaterOneReplacingTheEarlier) {
  const auto rels = [](std::string_view targets) {
    std::string text = "<Relationships>";
    for (char target : targets)
      text += "<Relationship Id=\"r\" Type=\"t\" Target=\"" + std::string(1, target) + ".xml\"/>";
    return text + "</Relationships>";
  };
  const std::string bytes = test::zip_bytes({
      {"_rels/.rels", rels("p")},
      {"ppt/slides/_rels/slide1.xml.rels", rels("ab")},
      {"ppt/slides/slide1.xml", rels("z")},
      {"ppt/slides/_rels/slide1.xml.rels.rels", rels("c")},
  });
  auto archive = PackageArchive::open_bytes(bytes);
  ASSERT_TRUE(archive);
  auto graph = read_relationship_graph(*archive);
  ASSERT_TRUE(graph);
  EXPECT_EQ(*graph, (RelationshipGraph{{"", {{"p.xml", false}}},
                                       {"ppt/slides/slide1.xml", {{"ppt/slides/c.xml", false}}}}));
}

}  // namespace
}  // namespace pelvane
