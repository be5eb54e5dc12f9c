// The group-child and appending rewrites on every slide of the real decks: what they write must
// still validate against the schema whenever the slide did.
#include <functional>
#include <gtest/gtest.h>

#include "core/package/part_names.hpp"
#include "core/text/text_rewrite.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

using IndexedRewrite = std::function<Result<RewriteOutput>(std::string_view, std::uint64_t)>;

// The output at the largest index the rewrite accepts with a change: the append position (one
// past the last paragraph, run or run slot). None when no index changes anything.
std::optional<std::string> at_end_position(std::string_view xml, const IndexedRewrite& rewrite) {
  std::optional<std::string> last;
  for (std::uint64_t index = 0; index < 256; ++index) {
    auto out = rewrite(xml, index);
    if (out && out->count > 0) last = std::move(out->bytes);
  }
  return last;
}

TEST(TextRewritesOnRealDecks, WrittenSlidesStillValidate) {
  const auto folder = test::decks_dir();
  if (!folder) GTEST_SKIP() << test::missing_decks_reason();
  PELVANE_SKIP_WITHOUT_SCHEMAS();
  const std::vector<test::DeckPart> slides = test::deck_parts(*folder, is_slide_part);
  ASSERT_FALSE(slides.empty());
  std::vector<std::string> sources;
  for (const test::DeckPart& slide : slides) sources.push_back(slide.xml);
  const std::vector<std::string> before = test::pml_schema_errors(sources);

  const std::string text = "appended";
  using Rewrite = std::function<Result<RewriteOutput>(std::string_view)>;
  const std::pair<const char*, Rewrite> at_start[] = {
      {"child text",
       [&](auto xml) { return set_group_shape_child_text_in_slide(xml, 0, 0, text); }},
      {"child paragraph 0",
       [&](auto xml) { return set_group_shape_child_paragraph_text_in_slide(xml, 0, 0, 0, text); }},
      {"child run 0",
       [&](auto xml) { return set_group_shape_child_run_text_in_slide(xml, 0, 0, 0, 0, text); }},
      {"append paragraph",
       [&](auto xml) { return append_shape_paragraph_text_in_slide(xml, 0, text); }},
      {"append run", [&](auto xml) { return append_shape_text_run_in_slide(xml, 0, 0, text); }},
      {"line break at slot 0",
       [&](auto xml) { return insert_shape_paragraph_line_break_in_slide(xml, 0, 0, 0); }},
  };
  const std::pair<const char*, IndexedRewrite> at_end[] = {
      {"child paragraph at the end",
       [&](auto xml, auto i) {
         return set_group_shape_child_paragraph_text_in_slide(xml, 0, 0, i, text);
       }},
      {"child run at the end",
       [&](auto xml, auto i) {
         return set_group_shape_child_run_text_in_slide(xml, 0, 0, 0, i, text);
       }},
      {"line break at the end slot",
       [&](auto xml, auto i) { return insert_shape_paragraph_line_break_in_slide(xml, 0, 0, i); }},
  };

  std::vector<std::string> labels;
  std::vector<std::string> outputs;
  std::size_t runs_before_end_properties = 0;
  for (std::size_t i = 0; i < slides.size(); ++i) {
    if (!before[i].empty()) continue;
    for (const auto& [what, rewrite] : at_start) {
      auto out = rewrite(slides[i].xml);
      ASSERT_TRUE(out) << slides[i].label << " " << what << ": " << out.error().to_string();
      labels.push_back(slides[i].label + " " + what);
      outputs.push_back(std::move(out->bytes));
      if (outputs.back().find(text + "</a:t></a:r><a:endParaRPr") != std::string::npos)
        ++runs_before_end_properties;
    }
    for (const auto& [what, rewrite] : at_end) {
      if (auto out = at_end_position(slides[i].xml, rewrite)) {
        labels.push_back(slides[i].label + " " + what);
        outputs.push_back(std::move(*out));
      }
    }
  }
  // The decks' paragraphs mostly end with end-of-paragraph properties: the appended runs must
  // have met some.
  EXPECT_GT(runs_before_end_properties, 0u);
  const std::vector<std::string> after = test::pml_schema_errors(outputs);
  for (std::size_t k = 0; k < outputs.size(); ++k) EXPECT_EQ(after[k], "") << labels[k];
}

}  // namespace
}  // namespace pelvane
