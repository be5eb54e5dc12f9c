// Sections follow the slide list through every change of it: appending, reordering, deleting.
#include <functional>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/slides/slide_deletion_rewrites.hpp"
#include "core/slides/slide_list.hpp"

namespace pelvane {
namespace {

// A presentation with the sections "A:1 2|B:3" (slide k: id k, relationship rId{k}; "B/": an empty
// list written as one tag), listing `slides` or else the sections' slides in their order.
std::string deck(const std::string& plan, const std::string& slides = "",
                 const std::string& p = "p14", const std::string& other_extension = "") {
  std::string sections, in_sections;
  std::string listed = "<p:presentation xmlns:p=\"p\" xmlns:r=\"r\"><p:sldIdLst>";
  std::istringstream groups(plan);
  for (std::string group; std::getline(groups, group, '|');) {
    const std::string name = group.substr(0, 1), list = "<" + p + ":sldIdLst";
    sections += "<" + p + ":section name=\"" + name + "\" id=\"{" + name + "}\">" + list;
    std::istringstream members(group.substr(2));
    for (int k; members >> k; in_sections += " " + std::to_string(k))
      sections += "><" + p + ":sldId id=\"" + std::to_string(k) + "\"/";
    sections += (group[1] == '/' ? "/>" : "></" + p + ":sldIdLst>") + "</" + p + ":section>";
  }
  std::istringstream ids(slides.empty() ? in_sections : slides);
  for (int k; ids >> k;)
    listed += "<p:sldId id=\"" + std::to_string(k) + "\" r:id=\"rId" + std::to_string(k) + "\"/>";
  return listed + "</p:sldIdLst><p:extLst>" + other_extension +
         "<p:ext uri=\"{521415D9-36F7-43E2-AB2F-B90AF26B5E84}\"><" + p + ":sectionLst xmlns:" + p +
         "=\"s\">" + sections + "</" + p + ":sectionLst></p:ext></p:extLst></p:presentation>";
}

using Edit = std::function<Result<std::string>(std::string_view)>;
Edit append(std::uint64_t k) {
  return [k](auto xml) { return append_slide_id(xml, k, "rId" + std::to_string(k)); };
}
Edit reorder(std::vector<std::uint64_t> order) {
  return [order](auto xml) -> Result<std::string> {
    return PELVANE_TRY(reorder_slide_ids(xml, order)).first;
  };
}
using Names = std::vector<std::string>;
Edit remove(std::set<std::string> ids, std::optional<Names> order = {}) {
  return [=](auto xml) { return rewrite_presentation_xml_for_slide_deletion(xml, ids, order); };
}

// Slides listed in the order `slides` ("312": ids 3, 1, 2) and two sections set apart by text,
// `first` then `second`.
std::string spaced(std::string_view slides, const std::string& first, const std::string& second) {
  std::string listed;
  for (const char k : slides) listed += std::string("<p:sldId id=\"") + k + "\"/>";
  return "<p:presentation xmlns:p=\"p\"><p:sldIdLst>" + listed + "</p:sldIdLst><p:extLst><p:ext " +
         "uri=\"{521415D9-36F7-43E2-AB2F-B90AF26B5E84}\"><s:sectionLst xmlns:s=\"s\">\n " + first +
         "\n <!-- B -->" + second + "\n</s:sectionLst></p:ext></p:extLst></p:presentation>";
}
// A section named `name` holding the slides `slides`, and after its list `more`.
std::string section(char name, std::string_view slides, const std::string& more = "") {
  std::string entries;
  for (const char k : slides) entries += std::string("<s:sldId id=\"") + k + "\"/>";
  return std::string("<s:section name=\"") + name + "\"><s:sldIdLst>" + entries + "</s:sldIdLst>" +
         more + "</s:section>";
}

TEST(Sections, FollowEveryChangeOfTheSlideList) {
  const std::string guides = "<p:ext uri=\"{E}\"><q:sldIdLst xmlns:q=\"q\"/></p:ext>";
  const struct {
    const char* what;
    Edit edit;
    std::string before, after;
  } cases[] = {
      {"a new slide joins the last section", append(3), deck("A:1 2|B:"), deck("A:1 2|B:3")},
      {"one-tag list opens; stale entry goes", append(2), deck("A:1 9|B/", "1"), deck("A:1|B:2")},
      {"another prefix", append(2), deck("A:1", "", "s"), deck("A:1 2", "", "s")},
      {"inside sections; other extensions stay", reorder({1, 0, 3, 2}),
       deck("A:1 2|B:3 4", "", "p14", guides), deck("A:2 1|B:4 3", "", "p14", guides)},
      // Of equal runs, the one with its slides in the old order wins, then the earlier positions.
      {"the last slide moved first", reorder({2, 0, 1}), deck("A:1|B:2 3"), deck("A:3 1|B:2")},
      {"the first slide moved last", reorder({1, 2, 0}), deck("A:1 2|B:3"), deck("A:2|B:3 1")},
      {"a section broken apart: the longest run keeps", reorder({2, 0, 1, 3}), deck("A:1 2|B:3 4"),
       deck("A:3 1 2|B:4")},
      // Sections whose slides stay together move with them.
      {"reversed", reorder({3, 2, 1, 0}), deck("A:1 2|B:3 4"), deck("B:4 3|A:2 1")},
      {"two swapped", reorder({1, 0}), deck("A:1|B:2"), deck("B:2|A:1")},
      {"swapped, reordered inside", reorder({4, 2, 3, 0, 1}), deck("A:1 2|B:3 4 5"),
       deck("B:5 3 4|A:1 2")},
      {"empty ones stay after the one they followed", reorder({2, 3, 0, 1}),
       deck("F/|A:1 2|E:|B:3 4"), deck("F/|B:3 4|A:1 2|E:")},
      {"a moved section goes whole; what stands between stays", reorder({2, 1, 0}),
       spaced("123", section('A', "1"), section('B', "23", "<s:extLst/>")),
       spaced("321", section('B', "32", "<s:extLst/>"), section('A', "1"))},
      {"deleted slides leave", remove({"rId1", "rId3"}), deck("A:1|B:2 3 4"), deck("A:|B:2 4")},
      {"survivors in a new order", remove({"rId2"}, Names{"rId4", "rId1", "rId3"}),
       deck("A:1 2|B:3 4"), deck("A:4 1|B:3")},
  };
  for (const auto& c : cases) {
    auto result = c.edit(c.before);
    ASSERT_TRUE(result) << c.what << ": " << result.error().to_string();
    EXPECT_EQ(*result, c.after) << c.what;
  }
}

}  // namespace
}  // namespace pelvane
