// The formatting rewrites on every slide, layout and master of the real decks, with patches
// that set every property they have: what they write must still validate against the schema
// whenever the part did.
#include <functional>
#include <gtest/gtest.h>
#include <regex>

#include "core/package/part_names.hpp"
#include "core/shapes/shape_geometry.hpp"
#include "core/text/text_format_rewrite.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

using Rewrite = std::function<Result<RewriteOutput>(std::string_view)>;
using Text = PropertyChange<std::string_view>;
using Flag = PropertyChange<bool>;
using Size = PropertyChange<std::int64_t>;

bool is_formatted_part(std::string_view name) {
  const bool master = name.starts_with("ppt/slideMasters/slideMaster") && name.ends_with(".xml");
  return is_slide_part(name) || is_slide_layout_part(name) || master;
}

std::uint64_t start_tags(std::string_view xml, std::string_view local_name) {
  XmlReader reader(xml);
  std::uint64_t count = 0;
  for (;;) {
    const auto event = reader.next();
    if (!event || event->is_eof()) return count;
    if (event->is_start() && event->local_name() == local_name) ++count;
  }
}

// The rewrite applied to every paragraph of every shape in turn, each on the output of the one
// before. `at` must change something wherever the paragraph exists.
using ParagraphRewrite =
    std::function<Result<RewriteOutput>(std::string_view, std::uint64_t, std::uint64_t)>;

Rewrite every_paragraph(ParagraphRewrite at) {
  return [at](std::string_view xml) -> Result<RewriteOutput> {
    RewriteOutput out{std::string(xml), 0};
    const std::uint64_t shapes = start_tags(xml, "sp");
    for (std::uint64_t shape = 0; shape < shapes; ++shape) {
      for (std::uint64_t paragraph = 0;; ++paragraph) {
        RewriteOutput next = PELVANE_TRY(at(out.bytes, shape, paragraph));
        if (next.count == 0) break;
        out = {std::move(next.bytes), out.count + next.count};
      }
    }
    return out;
  };
}

TEST(FormattingRewritesOnRealDecks, WrittenPartsStillValidate) {
  const auto folder = test::decks_dir();
  if (!folder) GTEST_SKIP() << test::missing_decks_reason();
  PELVANE_SKIP_WITHOUT_SCHEMAS();
  const std::vector<test::DeckPart> parts = test::deck_parts(*folder, is_formatted_part);
  ASSERT_FALSE(parts.empty());
  std::vector<std::string> sources;
  for (const test::DeckPart& part : parts) sources.push_back(part.xml);
  const std::vector<std::string> before = test::pml_schema_errors(sources);

  const TextRunFormattingPatch run_patch{.bold = Flag::to(true),
                                         .italic = Flag::to(false),
                                         .underline = Flag::to(true),
                                         .size = Size::to(228600),
                                         .name = Text::to("Arial"),
                                         .color = Text::to("1F497D")};
  const ParagraphSpacingPatch spacing{.line_spacing = ParagraphSpacingValue::proportional(1.15),
                                      .space_before = ParagraphSpacingValue::exact(76200),
                                      .space_after = ParagraphSpacingValue::exact(38100)};
  const ParagraphFontPatch font_patch{.bold = Flag::to(true),
                                      .italic = Flag::to(true),
                                      .underline = Flag::to(false),
                                      .size = Size::to(304800),
                                      .name = Text::to("Georgia"),
                                      .color = Text::to("C0504D"),
                                      .fill_type = Text::to("solid"),
                                      .language = Text::to("en-US")};
  const ParagraphFontPatch fill_kind_patch{.fill_type = Text::to("background")};
  const TextFramePropertiesPatch frame_patch{
      .margins = {{"bIns", 45720}, {"lIns", 91440}, {"rIns", 91440}, {"tIns", 45720}},
      .set_word_wrap = true,
      .word_wrap = "square",
      .set_vertical_anchor = true,
      .vertical_anchor = "ctr",
      .set_auto_size = true,
      .auto_size = "normAutofit"};
  const std::pair<const char*, Rewrite> rewrites[] = {
      {"bold at run 0",
       [](auto xml) {
         return set_text_run_optional_attribute_at_index_in_slide(xml, 0, "b", "1");
       }},
      {"size at run 0",
       [](auto xml) {
         return set_text_run_optional_attribute_at_index_in_slide(xml, 0, "sz",
                                                                  font_size_value(304800));
       }},
      {"underline at run 0",
       [](auto xml) { return set_text_run_underline_at_index_in_slide(xml, 0, true); }},
      {"font at run 0",
       [](auto xml) { return set_text_run_font_name_at_index_in_slide(xml, 0, "Arial"); }},
      {"every run formatted",
       [&](auto xml) {
         std::vector<std::pair<std::uint64_t, TextRunFormattingPatch>> runs;
         const std::uint64_t count = start_tags(xml, "r");
         for (std::uint64_t i = 0; i < count; ++i) runs.emplace_back(i, run_patch);
         return set_text_run_formatting_batch_in_slide(xml, runs);
       }},
      {"properties of every paragraph", every_paragraph([&](auto xml, auto shape, auto paragraph) {
         return set_shape_paragraph_properties_in_slide(xml, shape, paragraph, Text::to("ctr"),
                                                        true, 1, spacing);
       })},
      {"default properties of every paragraph",
       every_paragraph([&](auto xml, auto shape, auto paragraph) {
         return set_shape_paragraph_font_properties_in_slide(xml, shape, paragraph, font_patch);
       })},
      {"default fill kind of every paragraph",
       every_paragraph([&](auto xml, auto shape, auto paragraph) {
         return set_shape_paragraph_font_properties_in_slide(xml, shape, paragraph,
                                                             fill_kind_patch);
       })},
      {"text frame of every shape",
       [&](auto xml) -> Result<RewriteOutput> {
         RewriteOutput out{std::string(xml), 0};
         const std::uint64_t shapes = start_tags(xml, "sp");
         for (std::uint64_t shape = 0; shape < shapes; ++shape)
           out = PELVANE_TRY(set_text_frame_properties_in_slide(out.bytes, shape, frame_patch));
         return out;
       }},
      {"geometry of shape 0",
       [](auto xml) {
         return set_shape_geometry_at_index_in_slide(xml, 0, 914400, 457200, 1828800, 914400);
       }},
      {"geometry of group 0, child 0",
       [](auto xml) {
         return set_group_shape_child_geometry_in_slide(xml, 0, 0, 914400, 457200, 1828800, 914400);
       }},
  };

  std::vector<std::string> labels;
  std::vector<std::string> outputs;
  std::size_t coloured_runs = 0;     // parts whose runs carried a fill of their own
  std::size_t field_properties = 0;  // parts with fields holding properties of their own
  const std::regex coloured_run("<a:rPr[^>]*[^/]><a:solidFill>");
  const std::regex field_with_properties("<a:fld[^>]*><a:rPr[^>]*/><a:pPr/>");
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (!before[i].empty()) continue;
    if (std::regex_search(parts[i].xml, coloured_run)) ++coloured_runs;
    if (std::regex_search(parts[i].xml, field_with_properties)) ++field_properties;
    for (const auto& [what, rewrite] : rewrites) {
      auto out = rewrite(parts[i].xml);
      ASSERT_TRUE(out) << parts[i].label << " " << what << ": " << out.error().to_string();
      if (out->count == 0) continue;
      labels.push_back(parts[i].label + " " + what);
      outputs.push_back(std::move(out->bytes));
    }
  }
  EXPECT_GT(coloured_runs, 0u);
  EXPECT_GT(field_properties, 0u);
  const std::vector<std::string> after = test::pml_schema_errors(outputs);
  for (std::size_t k = 0; k < outputs.size(); ++k) EXPECT_EQ(after[k], "") << labels[k];
}

}  // namespace
}  // namespace pelvane
