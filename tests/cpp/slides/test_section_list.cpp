// Sections follow the slide list through every change of it: appending, reordering, deleting.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <numeric>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/slides/section_list.hpp"
#include "core/slides/slide_deletion_rewrites.hpp"
#include "core/slides/slide_list.hpp"

namespace pelvane {
namespace {

constexpr std::string_view kUri = "{521415D9-36F7-43E2-AB2F-B90AF26B5E84}";

// The section extension: `spec` "A:1 2|B:3" names sections and their slides (nothing after ":"
// for an empty one), or is the literal section list when it starts with "<".
std::string sections(std::string_view spec, std::string_view prefix = "p14") {
  std::string body(spec);
  if (!spec.starts_with("<")) {
    const std::string p = prefix.empty() ? "" : std::string(prefix) + ":";
    body = "<" + p + "sectionLst xmlns" + (prefix.empty() ? "" : ":" + std::string(prefix)) +
           "=\"s\">";
    std::istringstream groups{std::string(spec)};
    for (std::string group; std::getline(groups, group, '|');) {
      const std::string name = group.substr(0, group.find(':'));
      body += "<" + p + "section name=\"" + name + "\" id=\"{" + name + "}\"><" + p + "sldIdLst>";
      std::istringstream members{group.substr(group.find(':') + 1)};
      for (int k; members >> k;) body += "<" + p + "sldId id=\"" + std::to_string(300 + k) + "\"/>";
      body += "</" + p + "sldIdLst></" + p + "section>";
    }
    body += "</" + p + "sectionLst>";
  }
  return "<p:ext uri=\"" + std::string(kUri) + "\">" + body + "</p:ext>";
}

// Slide k of "1 2 3" has the id 300+k and the relationship rId{k}; `extensions` fill the root's
// extension list (none when empty).
std::string presentation(std::string_view slides, std::string_view extensions) {
  std::string text =
      "<p:presentation xmlns:p=\"p\" xmlns:r=\"r\"><p:sldMasterIdLst/><p:sldIdLst>";
  std::istringstream list{std::string(slides)};
  for (int k; list >> k;)
    text += "<p:sldId id=\"" + std::to_string(300 + k) + "\" r:id=\"rId" + std::to_string(k) + "\"/>";
  text += "</p:sldIdLst><p:sldSz cx=\"1\" cy=\"1\"/>";
  if (!extensions.empty()) text += "<p:extLst>" + std::string(extensions) + "</p:extLst>";
  return text + "</p:presentation>";
}

using Edit = std::function<Result<std::string>(std::string_view)>;

Edit append(std::uint64_t k) {
  return [k](std::string_view xml) { return append_slide_id(xml, 300 + k, "rId" + std::to_string(k)); };
}
Edit reorder(std::vector<std::uint64_t> order) {
  return [order](std::string_view xml) -> Result<std::string> {
    auto reordered = PELVANE_TRY(reorder_slide_ids(xml, order));
    return std::move(reordered.first);
  };
}
Edit remove(std::set<std::string> ids, std::optional<std::vector<std::string>> order = {}) {
  return [ids, order](std::string_view xml) {
    return rewrite_presentation_xml_for_slide_deletion(xml, ids, order);
  };
}

TEST(Sections, FollowEveryChangeOfTheSlideList) {
  const std::string guides = "<p:ext uri=\"{EFAFB233}\"><q:sldIdLst xmlns:q=\"q\"><q:sldId "
                             "id=\"309\"/></q:sldIdLst></p:ext>";
  const std::string two = sections("A:1 2|B:3 4");
  const struct {
    const char* what;
    Edit edit;
    std::string before;
    std::string after;
  } cases[] = {
      {"no sections: nothing added", append(3), presentation("1 2", ""), presentation("1 2 3", "")},
      {"a new slide joins the last section", append(5), presentation("1 2 3 4", two),
       presentation("1 2 3 4 5", sections("A:1 2|B:3 4 5"))},
      {"even an empty one", append(3), presentation("1 2", sections("A:1 2|B:")),
       presentation("1 2 3", sections("A:1 2|B:3"))},
      {"a self-closing list opens up, and a stale entry goes", append(2),
       presentation("1", sections("<p14:sectionLst><p14:section name=\"A\" id=\"{A}\"><p14:sldIdLst>"
                                  "<p14:sldId id=\"301\"/><p14:sldId id=\"309\"/></p14:sldIdLst>"
                                  "</p14:section><p14:section name=\"B\" id=\"{B}\"><p14:sldIdLst />"
                                  "</p14:section></p14:sectionLst>")),
       presentation("1 2", sections("<p14:sectionLst><p14:section name=\"A\" id=\"{A}\"><p14:sldIdLst>"
                                    "<p14:sldId id=\"301\"/></p14:sldIdLst></p14:section>"
                                    "<p14:section name=\"B\" id=\"{B}\"><p14:sldIdLst ><p14:sldId "
                                    "id=\"302\"/></p14:sldIdLst></p14:section></p14:sectionLst>"))},
      {"another prefix", append(2), presentation("1", sections("A:1", "s")),
       presentation("1 2", sections("A:1 2", "s"))},
      {"no prefix", append(2), presentation("1", sections("A:1", "")),
       presentation("1 2", sections("A:1 2", ""))},
      {"reordering inside sections keeps them", reorder({1, 0, 3, 2}), presentation("1 2 3 4", two),
       presentation("2 1 4 3", sections("A:2 1|B:4 3"))},
      {"the first slide moved last joins the last section", reorder({1, 2, 3, 0}),
       presentation("1 2 3 4", two), presentation("2 3 4 1", sections("A:2|B:3 4 1"))},
      {"the last slide moved first joins the first section", reorder({3, 0, 1, 2}),
       presentation("1 2 3 4", two), presentation("4 1 2 3", sections("A:4 1 2|B:3"))},
      {"of equal runs the one in the old order stays: the last moved first", reorder({2, 0, 1}),
       presentation("1 2 3", sections("A:1|B:2 3")), presentation("3 1 2", sections("A:3 1|B:2"))},
      {"the first moved last", reorder({1, 2, 0}), presentation("1 2 3", sections("A:1 2|B:3")),
       presentation("2 3 1", sections("A:2|B:3 1"))},
      {"then the earlier positions; an emptied section stays", reorder({1, 0}),
       presentation("1 2", sections("A:1|B:2")), presentation("2 1", sections("A:|B:2 1"))},
      {"other extensions stay; what a rewritten list holds besides entries moves ahead",
       reorder({1, 0}),
       presentation("1 2", guides + sections("<p14:sectionLst><p14:section name=\"A\" id=\"{A}\">"
                                             "<p14:sldIdLst>\n <p14:sldId id=\"301\" />\n"
                                             "</p14:sldIdLst><p:extLst/></p14:section><p14:section "
                                             "name=\"B\" id=\"{B}\"><p14:sldIdLst><p14:sldId "
                                             "id=\"302\"/></p14:sldIdLst></p14:section>"
                                             "</p14:sectionLst>")),
       presentation("2 1", guides + sections("<p14:sectionLst><p14:section name=\"A\" id=\"{A}\">"
                                             "<p14:sldIdLst>\n \n</p14:sldIdLst><p:extLst/>"
                                             "</p14:section><p14:section name=\"B\" id=\"{B}\">"
                                             "<p14:sldIdLst><p14:sldId id=\"302\"/><p14:sldId "
                                             "id=\"301\"/></p14:sldIdLst></p14:section>"
                                             "</p14:sectionLst>"))},
      {"a deleted slide leaves its section", remove({"rId2"}), presentation("1 2 3 4", two),
       presentation("1 3 4", sections("A:1|B:3 4"))},
      {"a section emptied by deletion stays", remove({"rId1", "rId2"}), presentation("1 2 3 4", two),
       presentation("3 4", sections("A:|B:3 4"))},
      {"survivors in a new order", remove({"rId2"}, std::vector<std::string>{"rId4", "rId1", "rId3"}),
       presentation("1 2 3 4", two), presentation("4 1 3", sections("A:4 1|B:3"))},
  };
  for (const auto& c : cases) {
    auto result = c.edit(c.before);
    ASSERT_TRUE(result) << c.what << ": " << result.error().to_string();
    EXPECT_EQ(*result, c.after) << c.what;
  }
}

// The slide ids of the slide list, and of each section in turn.
std::vector<std::uint64_t> ids_in(const std::string& text) {
  static const std::regex id(R"re(sldId id="(\d+)")re");
  std::vector<std::uint64_t> ids;
  for (std::sregex_iterator at(text.begin(), text.end(), id), end; at != end; ++at)
    ids.push_back(std::stoull((*at)[1]));
  return ids;
}

// Over random decks and random changes: the sections, read in order, give the slide order; no
// section is lost or renamed; a reorder that keeps every slide in its section changes none.
TEST(Sections, StayConsistentOverRandomChanges) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 400; ++round) {
    const int slide_count = 1 + static_cast<int>(random() % 9);
    const int section_count = 1 + static_cast<int>(random() % 4);
    std::vector<int> cuts(section_count - 1);
    for (int& cut : cuts) cut = static_cast<int>(random() % (slide_count + 1));
    std::sort(cuts.begin(), cuts.end());
    cuts.push_back(slide_count);
    std::string slides, spec;
    for (int k = 1, s = 0; s < section_count; ++s) {
      spec += (s ? "|" : "") + std::string(1, static_cast<char>('A' + s)) + ":";
      for (; k <= cuts[s]; ++k) spec += " " + std::to_string(k);
    }
    for (int k = 1; k <= slide_count; ++k) slides += " " + std::to_string(k);
    const std::string before = presentation(slides, sections(spec));

    std::vector<std::uint64_t> order(slide_count);
    std::iota(order.begin(), order.end(), 0);
    const int kind = static_cast<int>(random() % 4);
    bool memberships_kept = false;
    Edit edit;
    if (kind == 0) {
      edit = append(slide_count + 1);
    } else if (kind == 1) {
      std::shuffle(order.begin(), order.end(), random);
      edit = reorder(order);
    } else if (kind == 2) {  // shuffled inside each section only
      for (int s = 0, from = 0; s < section_count; from = cuts[s++])
        std::shuffle(order.begin() + from, order.begin() + cuts[s], random);
      memberships_kept = true;
      edit = reorder(order);
    } else {
      std::set<std::string> deleted;
      std::vector<std::string> survivors;
      for (int k = 1; k <= slide_count; ++k) {
        if (random() % 3 == 0) deleted.insert("rId" + std::to_string(k));
        else survivors.push_back("rId" + std::to_string(k));
      }
      std::shuffle(survivors.begin(), survivors.end(), random);
      edit = random() % 2 ? remove(deleted, survivors) : remove(deleted);
    }
    auto result = edit(before);
    ASSERT_TRUE(result) << before << ": " << result.error().to_string();
    const std::string& after = *result;
    const std::size_t ext = after.find("<p:extLst>");
    const std::vector<std::uint64_t> listed = ids_in(after.substr(0, ext));
    EXPECT_EQ(ids_in(after.substr(ext)), listed) << before << "\n" << after;
    static const std::regex section(R"re(<p14:section name="\w")re");
    EXPECT_EQ(std::distance(std::sregex_iterator(after.begin(), after.end(), section), {}),
              section_count);
    if (memberships_kept) {
      std::string slides_after;
      for (const std::uint64_t k : order) slides_after += " " + std::to_string(k + 1);
      std::string sections_after;
      for (int s = 0, from = 0; s < section_count; from = cuts[s++]) {
        sections_after += (s ? "|" : "") + std::string(1, static_cast<char>('A' + s)) + ":";
        for (int at = from; at < cuts[s]; ++at) sections_after += " " + std::to_string(order[at] + 1);
      }
      EXPECT_EQ(after, presentation(slides_after, sections(sections_after))) << before;
    }
  }
}

}  // namespace
}  // namespace pelvane
