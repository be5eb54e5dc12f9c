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

// A relationships part whose elements have these targets and target modes (none: no
// TargetMode attribute).
std::string rels(const std::vector<std::pair<std::string, std::optional<std::string>>>& targets) {
  std::string text = "<Relationships>";
  for (const auto& [target, mode] : targets) {
    text += "<Relationship Id=\"r\" Type=\"t\" Target=\"" + target + "\"";
    if (mode) text += " TargetMode=\"" + *mode + "\"";
    text += "/>";
  }
  return text + "</Relationships>";
}

TEST(RelationshipGraph, SourcePartOfARelationshipsPart) {
  const std::pair<std::string_view, std::string_view> cases[] = {
      {"_rels/.rels", ""},
      {"ppt/slides/_rels/slide1.xml.rels", "ppt/slides/slide1.xml"},
      {"ppt/_rels/presentation.xml.rels.rels", "ppt/presentation.xml"},
      {"a/_rels/b/_rels/c.xml.rels", "a/_rels/b/c.xml"},
      {"ppt/slides/slide1.xml.rels", "ppt/slides/slide1.xml"},
      {"_rels/x.rels", "x"},
      {"a//_rels/x.rels", "a//x"},
      {"x/_rels.rels", "x"},
      {"_rels.rels", ""},
  };
  for (const auto& [name, source] : cases)
    EXPECT_EQ(relationships_source_part(name), source) << name;
}

// Only the root's targets lose every leading "/"; others resolve as any target does.
TEST(RelationshipGraph, EdgesOfInternalRelationshipsWithATarget) {
  const std::string relationships = rels({{"/ppt/presentation.xml", {}},
                                          {"//docProps/app.xml", "Internal"},
                                          {"./a/../b.xml", "INTERNAL"},
                                          {"http://x", "External"},
                                          {"c.xml", "Other"},
                                          {"", {}},
                                          {"&amp;d.xml", "Int&#101;rnal"}});
  EXPECT_EQ(relationship_edges("", relationships),
            (RelationshipEdges{{"ppt/presentation.xml", false},
                               {"docProps/app.xml", true},
                               {"./a/../b.xml", true},
                               {"&d.xml", true}}));
  EXPECT_EQ(relationship_edges("ppt/slides/slide1.xml", relationships),
            (RelationshipEdges{{"ppt/presentation.xml", false},
                               {"/docProps/app.xml", true},
                               {"ppt/slides/b.xml", true},
                               {"ppt/slides/&d.xml", true}}));
}

TEST(RelationshipGraph, WalksFindWhatOnlyDeletedSlidesReach) {
  const std::string s1 = "ppt/slides/slide1.xml", s2 = "ppt/slides/slide2.xml";
  RelationshipGraph graph({
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
  });
  const PartNameViews deleted{s1, "ppt/notes1.xml", "ppt/image1.png", "ppt/chart1.xml",
                              "ppt/book1.xlsx"};
  EXPECT_EQ(deleted_closure(graph, PartNameViews{s1}), deleted);
  PartNameViews named = deleted;
  named.insert({"", "ppt/presentation.xml", s2, "ppt/theme.xml", "ppt/image2.png"});
  EXPECT_EQ(kept_parts(graph, PartNameViews{s2}, PartNameViews{s1}, named),
            (PartNameViews{"", "ppt/presentation.xml", s2, "ppt/theme.xml", "ppt/image1.png"}));
}

// A later relationships part of one source stands for it; a part is read only when its edges
// are asked for, so a damaged one fails only the walk that comes to it.
TEST(RelationshipGraph, ReadsARelationshipsPartWhenAWalkComesToIt) {
  const std::string bytes = test::zip_bytes({
      {.name = "_rels/.rels", .bytes = rels({{"p.xml", {}}}), .deflate = false},
      {.name = "ppt/slides/_rels/slide1.xml.rels", .bytes = rels({{"a.xml", {}}})},
      {.name = "ppt/slides/slide1.xml", .bytes = rels({{"z.xml", {}}})},
      {.name = "ppt/slides/_rels/slide1.xml.rels.rels", .bytes = rels({{"c.xml", {}}})},
      {.name = "ppt/slides/_rels/slide2.xml.rels",
       .bytes = rels({{"DAMAGED", {}}}),
       .deflate = false},
  });
  test::TempDir dir;
  const std::string path = dir.file("deck.pptx");
  std::string damaged = bytes;
  damaged.replace(damaged.find("DAMAGED"), 7, "damaged");  // the CRC-32 no longer matches
  test::write_file(path, damaged);
  auto archive = PackageArchive::open_file(path);
  ASSERT_TRUE(archive);
  auto graph = RelationshipGraph::of_package(*archive);
  // Bytes the caller read stand only for the very part the graph would read.
  const std::string given = rels({{"given.xml", {}}});
  graph.use_read_part("ppt/slides/_rels/slide1.xml.rels", given);
  EXPECT_EQ(**graph.edges(""), (RelationshipEdges{{"p.xml", false}}));
  EXPECT_EQ(**graph.edges("ppt/slides/slide1.xml"),
            (RelationshipEdges{{"ppt/slides/c.xml", false}}));
  EXPECT_EQ(*graph.edges("ppt/presentation.xml"), nullptr);
  const PartNameViews deleted{"ppt/slides/slide2.xml"};
  EXPECT_EQ(deleted_closure(graph, deleted).error().to_string(), "io error: CRC error");
  auto read_before = RelationshipGraph::of_package(*archive);
  read_before.use_read_part("ppt/slides/_rels/slide2.xml.rels", given);
  EXPECT_EQ(**read_before.edges("ppt/slides/slide2.xml"),
            (RelationshipEdges{{"ppt/slides/given.xml", false}}));
}

TEST(RelationshipGraph, PartsStoredAlikeResolveAgainstTheirOwnSource) {
  // Three parts with the same stored bytes: the edges of the later ones are taken from the first
  // of the same folder, and resolved again in another folder.
  const std::string alike = rels({{"../slideLayouts/l1.xml", {}}, {"x.xml", "External"}});
  const std::string bytes = test::zip_bytes({
      {.name = "ppt/slides/_rels/slide1.xml.rels", .bytes = alike},
      {.name = "ppt/slides/_rels/slide2.xml.rels", .bytes = alike},
      {.name = "ppt/a/b/_rels/part.xml.rels", .bytes = alike},
      {.name = "ppt/slides/_rels/slide3.xml.rels", .bytes = rels({{"other.xml", {}}})},
  });
  test::TempDir dir;
  const std::string path = dir.file("deck.pptx");
  test::write_file(path, bytes);
  auto archive = PackageArchive::open_file(path);
  ASSERT_TRUE(archive);
  auto graph = RelationshipGraph::of_package(*archive);
  const std::vector<std::pair<std::string, RelationshipEdges>> expected = {
      {"ppt/slides/slide1.xml", {{"ppt/slideLayouts/l1.xml", false}}},
      {"ppt/slides/slide2.xml", {{"ppt/slideLayouts/l1.xml", false}}},
      {"ppt/a/b/part.xml", {{"ppt/a/slideLayouts/l1.xml", false}}},
      {"ppt/slides/slide3.xml", {{"ppt/slides/other.xml", false}}},
  };
  for (const auto& [source, edges] : expected) EXPECT_EQ(**graph.edges(source), edges) << source;
}

}  // namespace
}  // namespace pelvane
