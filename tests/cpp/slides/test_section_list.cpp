// Sections follow the slide list through every change of it: appending, reordering, deleting.
#include <functional>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

#include "core/slides/slide_deletion_rewrites.hpp"
#include "core/slides/slide_list.hpp"

namespace pelvane {
namespace {

// A presentation with the sections "A:1 2|B:3" (slide k: id k, relationship rId{k}; "B/": an empty
// list written as one tag), listing `slides` or else the sections' slides in their order. A comment
// before each section numbers its place, and each section ends with an extension list.
std::string deck(const std::string& plan, const std::string& slides = "",
                 const std::string& p = "p14", const std::string& other_extension = "") {
  std::string sections, in_sections;
  std::string listed = "<p:presentation xmlns:p=\"p\" xmlns:r=\"r\"><p:sldIdLst>";
  std::istringstream groups(plan);
  int place = 0;
  for (std::string group; std::getline(groups, group, '|');) {
    const std::string name = group.substr(0, 1), list = "<" + p + ":sldIdLst";
    sections += "<!--" + std::to_string(++place) + "--><" + p + ":section name=\"" + name +
                "\" id=\"{" + name + "}\">" + list;
    std::istringstream members(group.substr(2));
    for (int k; members >> k; in_sections += " " + std::to_string(k))
      sections += "><" + p + ":sldId id=\"" + std::to_string(k) + "\"/";
    sections += (group[1] == '/' ? "/>" : "></" + p + ":sldIdLst>") + "<" + p + ":extLst/></" + p +
                ":section>";
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
Edit remove(PartNameSet ids, std::optional<Names> order = {}) {
  return [=](auto xml) { return rewrite_presentation_xml_for_slide_deletion(xml, ids, order); };
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
      // Sections whose slides stay together move with them (above, a section broken apart).
      {"reversed", reorder({3, 2, 1, 0}), deck("A:1 2|B:3 4"), deck("B:4 3|A:2 1")},
      {"two swapped", reorder({1, 0}), deck("A:1|B:2"), deck("B:2|A:1")},
      {"swapped, reordered inside", reorder({4, 2, 3, 0, 1}), deck("A:1 2|B:3 4 5"),
       deck("B:5 3 4|A:1 2")},
      {"empty ones stay after the one they followed", reorder({2, 3, 0, 1}),
       deck("F/|A:1 2|E:|B:3 4"), deck("F/|B:3 4|A:1 2|E:")},
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
