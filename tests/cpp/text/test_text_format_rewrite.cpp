// Exact outputs of the formatting rewrites on literal slide XML, and the places where the
// schema's order decides what they write, checked against the schema.
#include <functional>
#include <gtest/gtest.h>

#include "core/text/text_format_rewrite.hpp"
#include "rewrite_cases.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

using Case = RewriteCase;

void expect_cases(const std::vector<Case>& cases) { expect_rewrite_cases(cases); }

std::string run(std::string_view properties) {
  return "<a:r>" + std::string(properties) + "<a:t>x</a:t></a:r>";
}

// One shape holding the given text-body content.
std::string shape(std::string_view body) {
  return "<p:sp><p:nvSpPr/><p:txBody>" + std::string(body) + "</p:txBody></p:sp>";
}

// ---- Runs ----

Rewrite attribute(std::uint64_t run_index, std::string name, std::optional<std::string> value) {
  return [=](std::string_view xml) {
    return set_text_run_optional_attribute_at_index_in_slide(xml, run_index, name, value);
  };
}

Rewrite font(std::uint64_t run_index, std::optional<std::string> name) {
  return [=](std::string_view xml) {
    return set_text_run_font_name_at_index_in_slide(xml, run_index, name);
  };
}

TEST(RunFormattingRewrite, SetsOneAttributeOrTheFontOfOneRun) {
  const std::string three_runs = run("") + "<a:r/>" + "<a:r><a:t>c</a:t></a:r>";
  const std::string table_and_group =
      "<p:grpSp><p:sp><p:txBody><a:p>" + run("") + "</a:p></p:txBody></p:sp></p:grpSp>" +
      "<p:graphicFrame><a:tbl><a:tr><a:tc><a:txBody><a:p>" + run("") +
      "</a:p></a:txBody></a:tc></a:tr></a:tbl></p:graphicFrame>";
  expect_cases({
      {"a run without properties gains them first, with the one attribute", run(""),
       attribute(0, "b", "1"), run("<a:rPr b=\"1\"/>"), 1},
      {"clearing still inserts empty properties", run(""), attribute(0, "b", std::nullopt),
       run("<a:rPr/>"), 1},
      {"clearing the font likewise", run(""), font(0, std::nullopt), run("<a:rPr/>"), 1},
      {"a present attribute keeps its place", run("<a:rPr lang=\"en-US\" b=\"0\" dirty=\"0\"/>"),
       attribute(0, "b", "1"), run("<a:rPr lang=\"en-US\" b=\"1\" dirty=\"0\"/>"), 1},
      {"a missing one is appended", run("<a:rPr lang=\"en-US\"></a:rPr>"),
       attribute(0, "sz", "1800"), run("<a:rPr lang=\"en-US\" sz=\"1800\"></a:rPr>"), 1},
      {"no value removes it", run("<a:rPr i=\"1\" lang=\"en-US\"/>"),
       attribute(0, "i", std::nullopt), run("<a:rPr lang=\"en-US\"/>"), 1},
      {"the underline flag", run(""),
       [](auto xml) { return set_text_run_underline_at_index_in_slide(xml, 0, false); },
       run("<a:rPr u=\"none\"/>"), 1},
      {"a self-closing rPr is expanded for a font", run("<a:rPr lang=\"en-US\"/>"),
       font(0, "Arial"), run("<a:rPr lang=\"en-US\"><a:latin typeface=\"Arial\"/></a:rPr>"), 1},
      {"and kept without one", run("<a:rPr lang=\"en-US\"/>"), font(0, std::nullopt),
       run("<a:rPr lang=\"en-US\"/>"), 1},
      {"the new font at its place: after the outline and the fill, the old one gone",
       run("<a:rPr><a:ln><a:solidFill><a:srgbClr val=\"000000\"/></a:solidFill></a:ln>"
           "<a:solidFill><a:srgbClr val=\"FF0000\"/></a:solidFill><a:latin typeface=\"Old\"/>"
           "<a:cs typeface=\"C\"/></a:rPr>"),
       font(0, "A&'"),
       run("<a:rPr><a:ln><a:solidFill><a:srgbClr val=\"000000\"/></a:solidFill></a:ln>"
           "<a:solidFill><a:srgbClr val=\"FF0000\"/></a:solidFill>"
           "<a:latin typeface=\"A&amp;&apos;\"/><a:cs typeface=\"C\"/></a:rPr>"),
       1},
      {"a self-closing run is not numbered", three_runs, attribute(1, "b", "1"),
       run("") + "<a:r/>" + "<a:r><a:rPr b=\"1\"/><a:t>c</a:t></a:r>", 1},
      {"runs of groups and table cells in document order", table_and_group, attribute(1, "b", "1"),
       "<p:grpSp><p:sp><p:txBody><a:p>" + run("") + "</a:p></p:txBody></p:sp></p:grpSp>" +
           "<p:graphicFrame><a:tbl><a:tr><a:tc><a:txBody><a:p>" + run("<a:rPr b=\"1\"/>") +
           "</a:p></a:txBody></a:tc></a:tr></a:tbl></p:graphicFrame>",
       1},
      {"a run without children takes them before its end tag", "<a:r></a:r>",
       attribute(0, "b", "1"), "<a:r><a:rPr b=\"1\"/></a:r>", 1},
      {"an index equal to the number of runs", three_runs, attribute(2, "b", "1"), three_runs, 0},
  });
}

TEST(RunFormattingRewrite, FontSizesAreHundredthsOfAPointTruncated) {
  const std::pair<std::int64_t, const char*> sizes[] = {
      {12700, "100"}, {228600, "1800"}, {126, "0"}, {-126, "0"}, {-127, "-1"}, {0, "0"}};
  for (const auto& [emu, text] : sizes) EXPECT_EQ(font_size_value(emu), text) << emu;
}

using Pairs = std::vector<std::pair<std::uint64_t, TextRunFormattingPatch>>;

Rewrite batch(Pairs pairs) {
  return [=](std::string_view xml) { return set_text_run_formatting_batch_in_slide(xml, pairs); };
}

TEST(RunFormattingRewrite, BatchMergesPatchesPerRunInOnePass) {
  using Text = PropertyChange<std::string_view>;
  using Flag = PropertyChange<bool>;
  TextRunFormattingPatch bold_red{.bold = Flag::to(true), .color = Text::to("FF0000")};
  TextRunFormattingPatch plain_arial{.bold = Flag::to(false), .name = Text::to("Arial")};
  TextRunFormattingPatch italic_12pt{.italic = Flag::to(true),
                                     .size = PropertyChange<std::int64_t>::to(12700)};
  const std::string coloured =
      "<a:rPr><a:solidFill><a:schemeClr val=\"tx1\"/></a:solidFill>"
      "<a:latin typeface=\"Old\"/></a:rPr>";
  expect_cases({
      {"two patches on one run: the later bold wins, the count is 3", run("<a:rPr lang=\"en\"/>"),
       batch({{0, bold_red}, {0, plain_arial}}),
       run("<a:rPr lang=\"en\" b=\"0\"><a:solidFill><a:srgbClr val=\"FF0000\"/></a:solidFill>"
           "<a:latin typeface=\"Arial\"/></a:rPr>"),
       3},
      {"two runs in one pass, counts added", run("") + run(""),
       batch({{1, plain_arial}, {0, italic_12pt}}),
       run("<a:rPr i=\"1\" sz=\"100\"/>") +
           run("<a:rPr b=\"0\"><a:latin typeface=\"Arial\"/></a:rPr>"),
       4},
      {"clearing the colour and the name removes them and writes none", run(coloured),
       batch({{0, {.name = Text::removed(), .color = Text::removed()}}}), run("<a:rPr></a:rPr>"),
       2},
      {"a self-closing rPr given bold stays self-closing", run("<a:rPr b=\"1\" lang=\"en\"/>"),
       batch({{0, {.bold = Flag::to(false)}}}), run("<a:rPr b=\"0\" lang=\"en\"/>"), 1},
      {"a self-closing rPr given a colour is expanded", run("<x:rPr/>"),
       batch({{0, {.color = Text::to("00FF00")}}}),
       run("<x:rPr><a:solidFill><a:srgbClr val=\"00FF00\"/></a:solidFill></x:rPr>"), 1},
      {"an empty patch inserts empty properties and counts 0", run(""), batch({{0, {}}}),
       run("<a:rPr/>"), 0},
      {"a patch past the last run", run(""), batch({{1, bold_red}}), run(""), 0},
      {"an empty list", run(""), batch({}), run(""), 0},
  });
}

// ---- Paragraphs ----

using Spacing = ParagraphSpacingValue;

struct ParagraphProperties {
  PropertyChange<std::string_view> alignment;
  bool set_level = false;
  std::uint64_t level = 0;
  ParagraphSpacingPatch spacing;
};

Rewrite paragraph(ParagraphProperties p, std::uint64_t shape_index = 0,
                  std::uint64_t paragraph_index = 0) {
  return [=](std::string_view xml) {
    return set_shape_paragraph_properties_in_slide(xml, shape_index, paragraph_index, p.alignment,
                                                   p.set_level, p.level, p.spacing);
  };
}

TEST(ParagraphProperties, SetsAlignmentLevelAndSpacing) {
  using Text = PropertyChange<std::string_view>;
  const std::string runs = "<a:r><a:t>x</a:t></a:r>";
  expect_cases({
      {"new properties before the first run, algn then lvl", shape("<a:p>" + runs + "</a:p>"),
       paragraph({Text::to("ctr"), true, 2}),
       shape("<a:p><a:pPr algn=\"ctr\" lvl=\"2\"/>" + runs + "</a:p>"), 2},
      {"a paragraph without children, after a self-closing one that is not counted",
       shape("<a:p/><a:p></a:p>"), paragraph({Text::to("r")}),
       shape("<a:p/><a:p><a:pPr algn=\"r\"/></a:p>"), 1},
      {"algn removed, lvl appended, still self-closing",
       shape("<a:p><a:pPr algn=\"l\" marL=\"5\"/></a:p>"), paragraph({Text::removed(), true, 3}),
       shape("<a:p><a:pPr marL=\"5\" lvl=\"3\"/></a:p>"), 2},
      {"level 0 removes lvl", shape("<a:p><a:pPr lvl=\"1\"></a:pPr></a:p>"),
       paragraph({{}, true, 0}), shape("<a:p><a:pPr></a:pPr></a:p>"), 1},
      {"level 0 on new properties writes nothing", shape("<a:p/><a:p>" + runs + "</a:p>"),
       paragraph({{}, true, 0}, 0, 0), shape("<a:p/><a:p><a:pPr/>" + runs + "</a:p>"), 1},
      {"a self-closing pPr expanded for a multiple", shape("<a:p><a:pPr algn=\"l\"/></a:p>"),
       paragraph({.spacing = {.line_spacing = Spacing::proportional(0.9)}}),
       shape("<a:p><a:pPr algn=\"l\"><a:lnSpc><a:spcPct val=\"90000\"/></a:lnSpc></a:pPr></a:p>"),
       1},
      {"a cleared spacing goes with its content and counts",
       shape("<a:p><a:pPr><a:spcBef><a:spcPts val=\"600\"/></a:spcBef><a:buNone/></a:pPr></a:p>"),
       paragraph({.spacing = {.space_before = Spacing::clear()}}),
       shape("<a:p><a:pPr><a:buNone/></a:pPr></a:p>"), 1},
      {"a line spacing replaced right after the start tag",
       shape("<a:p><a:pPr><a:lnSpc><a:spcPct val=\"100000\"/></a:lnSpc><a:buNone/></a:pPr></a:p>"),
       paragraph({.spacing = {.line_spacing = Spacing::exact(12700)}}),
       shape("<a:p><a:pPr><a:lnSpc><a:spcPts val=\"100\"/></a:lnSpc><a:buNone/></a:pPr></a:p>"), 1},
      {"nothing requested counts 0 and still adds properties", shape("<a:p>" + runs + "</a:p>"),
       paragraph({}), shape("<a:p><a:pPr/>" + runs + "</a:p>"), 0},
      {"only removals give an empty start and end tag", shape("<a:p>" + runs + "</a:p>"),
       paragraph({.spacing = {.space_after = Spacing::clear()}}),
       shape("<a:p><a:pPr></a:pPr>" + runs + "</a:p>"), 1},
      {"a picture is not a shape; a grouped shape is",
       "<p:pic/><p:grpSp><p:sp/>" + shape("<a:p></a:p>") + "</p:grpSp>",
       paragraph({Text::to("ctr")}),
       "<p:pic/><p:grpSp><p:sp/>" + shape("<a:p><a:pPr algn=\"ctr\"/></a:p>") + "</p:grpSp>", 1},
      {"past the last paragraph", shape("<a:p></a:p>"), paragraph({Text::to("ctr")}, 0, 1),
       shape("<a:p></a:p>"), 0},
      {"past the last shape", shape("<a:p></a:p>"), paragraph({Text::to("ctr")}, 1, 0),
       shape("<a:p></a:p>"), 0},
  });
}

TEST(ParagraphProperties, SpacingIsRoundedHalfAwayFromZeroWithinRange) {
  const std::pair<Spacing, const char*> values[] = {
      {Spacing::exact(12700), "<a:spcPts val=\"100\"/>"},
      {Spacing::exact(190), "<a:spcPts val=\"1\"/>"},
      {Spacing::exact(191), "<a:spcPts val=\"2\"/>"},
      {Spacing::exact(-191), "<a:spcPts val=\"-2\"/>"},
      {Spacing::exact(-63), "<a:spcPts val=\"0\"/>"},
      {Spacing::proportional(1.15), "<a:spcPct val=\"115000\"/>"},
      {Spacing::proportional(1e300), "<a:spcPct val=\"9223372036854775807\"/>"},
      {Spacing::proportional(-1e300), "<a:spcPct val=\"-9223372036854775808\"/>"},
  };
  for (const auto& [value, measure] : values) {
    const auto out = set_shape_paragraph_properties_in_slide(shape("<a:p></a:p>"), 0, 0, {}, false,
                                                             0, {.space_after = value});
    ASSERT_TRUE(out);
    EXPECT_EQ(out->bytes,
              shape("<a:p><a:pPr><a:spcAft>" + std::string(measure) + "</a:spcAft></a:pPr></a:p>"));
  }
}

Rewrite paragraph_font(ParagraphFontPatch patch) {
  return [=](std::string_view xml) {
    return set_shape_paragraph_font_properties_in_slide(xml, 0, 0, patch);
  };
}

TEST(ParagraphFontProperties, SetsTheDefaultRunProperties) {
  using Text = PropertyChange<std::string_view>;
  using Flag = PropertyChange<bool>;
  using Size = PropertyChange<std::int64_t>;
  const std::string runs = "<a:r><a:t>x</a:t></a:r>";
  const auto in_properties = [](std::string_view children) {
    return shape("<a:p><a:pPr algn=\"l\">" + std::string(children) + "</a:pPr></a:p>");
  };
  const std::string scheme_fill = "<a:solidFill><a:schemeClr val=\"tx1\"/></a:solidFill>";
  const std::string red = "<a:solidFill><a:srgbClr val=\"FF0000\"/></a:solidFill>";
  expect_cases({
      {"new properties holding new defaults before the first run", shape("<a:p>" + runs + "</a:p>"),
       paragraph_font({.bold = Flag::to(true), .size = Size::to(228600)}),
       shape("<a:p><a:pPr><a:defRPr b=\"1\" sz=\"1800\"/></a:pPr>" + runs + "</a:p>"), 2},
      {"properties without defaults take them last", in_properties("<a:buNone/>"),
       paragraph_font({.underline = Flag::to(true)}),
       in_properties("<a:buNone/><a:defRPr u=\"sng\"/>"), 1},
      {"a self-closing pPr keeps its attributes around the new defaults",
       shape("<a:p><a:pPr algn=\"l\"/></a:p>"), paragraph_font({.underline = Flag::to(false)}),
       in_properties("<a:defRPr u=\"none\"/>"), 1},
      {"b removed, i appended", in_properties("<a:defRPr b=\"1\" sz=\"1200\"/>"),
       paragraph_font({.bold = Flag::removed(), .italic = Flag::to(false)}),
       in_properties("<a:defRPr sz=\"1200\" i=\"0\"/>"), 2},
      {"a colour replaces the old fill, first among the children",
       in_properties("<a:defRPr>" + scheme_fill + "<a:latin typeface=\"A\"/></a:defRPr>"),
       paragraph_font({.color = Text::to("FF0000")}),
       in_properties("<a:defRPr>" + red + "<a:latin typeface=\"A\"/></a:defRPr>"), 1},
      {"a removed colour leaves no fill", in_properties("<a:defRPr>" + scheme_fill + "</a:defRPr>"),
       paragraph_font({.color = Text::removed()}), in_properties("<a:defRPr></a:defRPr>"), 1},
      {"fill kind background", in_properties("<a:defRPr/>"),
       paragraph_font({.fill_type = Text::to("background")}),
       in_properties("<a:defRPr><a:noFill/></a:defRPr>"), 1},
      {"fill kind solid", in_properties("<a:defRPr/>"),
       paragraph_font({.fill_type = Text::to("solid")}),
       in_properties("<a:defRPr><a:solidFill/></a:defRPr>"), 1},
      {"an unknown fill kind writes no fill but removes the old",
       in_properties("<a:defRPr>" + scheme_fill + "</a:defRPr>"),
       paragraph_font({.fill_type = Text::to("Solid")}), in_properties("<a:defRPr></a:defRPr>"), 1},
      {"the colour wins over the fill kind", in_properties("<a:defRPr/>"),
       paragraph_font({.color = Text::to("00FF00"), .fill_type = Text::to("background")}),
       in_properties("<a:defRPr><a:solidFill><a:srgbClr val=\"00FF00\"/></a:solidFill>"
                     "</a:defRPr>"),
       2},
      {"a removed name drops the font",
       in_properties("<a:defRPr><a:latin typeface=\"A\"/></a:defRPr>"),
       paragraph_font({.name = Text::removed()}), in_properties("<a:defRPr></a:defRPr>"), 1},
      {"a name after the fill", in_properties("<a:defRPr>" + scheme_fill + "</a:defRPr>"),
       paragraph_font({.name = Text::to("Arial")}),
       in_properties("<a:defRPr>" + scheme_fill + "<a:latin typeface=\"Arial\"/></a:defRPr>"), 1},
      {"language set", in_properties("<a:defRPr/>"),
       paragraph_font({.language = Text::to("en-US")}), in_properties("<a:defRPr lang=\"en-US\"/>"),
       1},
      {"language removed", in_properties("<a:defRPr lang=\"de-DE\" b=\"1\"/>"),
       paragraph_font({.language = Text::removed()}), in_properties("<a:defRPr b=\"1\"/>"), 1},
      {"a self-closing defRPr given a name", in_properties("<a:defRPr/>"),
       paragraph_font({.name = Text::to("Arial")}),
       in_properties("<a:defRPr><a:latin typeface=\"Arial\"/></a:defRPr>"), 1},
      {"nothing set counts 0 and still adds properties", shape("<a:p>" + runs + "</a:p>"),
       paragraph_font({}), shape("<a:p><a:pPr><a:defRPr/></a:pPr>" + runs + "</a:p>"), 0},
      {"size 126 and -127", shape("<a:p></a:p><a:p></a:p>"),
       [](auto xml) -> Result<RewriteOutput> {
         const RewriteOutput first = PELVANE_TRY(
             set_shape_paragraph_font_properties_in_slide(xml, 0, 0, {.size = Size::to(126)}));
         return set_shape_paragraph_font_properties_in_slide(first.bytes, 0, 1,
                                                             {.size = Size::to(-127)});
       },
       shape("<a:p><a:pPr><a:defRPr sz=\"0\"/></a:pPr></a:p>"
             "<a:p><a:pPr><a:defRPr sz=\"-1\"/></a:pPr></a:p>"),
       1},
  });
}

TEST(ParagraphFontProperties, PatchesFollowTheirOperations) {
  edit::SetParagraphFontProperties operation;
  operation.set_bold = true;  // bold null: removed
  operation.set_name = true;
  operation.name = "Arial";
  operation.color = "FF0000";  // not set: left alone
  operation.set_language = true;
  operation.language_id = "en-US";
  const ParagraphFontPatch patch = ParagraphFontPatch::from(operation);
  EXPECT_EQ(patch, (ParagraphFontPatch{.bold = PropertyChange<bool>::removed(),
                                       .name = PropertyChange<std::string_view>::to("Arial"),
                                       .language = PropertyChange<std::string_view>::to("en-US")}));
  EXPECT_EQ(patch.change_count(), 3u);

  edit::SetTextRunFormatting run_operation;
  run_operation.set_size = true;
  run_operation.size = 12700;
  run_operation.set_color = true;
  run_operation.bold = true;  // not set: left alone
  EXPECT_EQ(TextRunFormattingPatch::from(run_operation),
            (TextRunFormattingPatch{.size = PropertyChange<std::int64_t>::to(12700),
                                    .color = PropertyChange<std::string_view>::removed()}));
}

// ---- Text frame ----

Rewrite frame(TextFramePropertiesPatch patch, std::uint64_t shape_index = 0) {
  return [=](std::string_view xml) {
    return set_text_frame_properties_in_slide(xml, shape_index, patch);
  };
}

TEST(TextFrameProperties, SetsInsetsWrappingAnchoringAndAutoFit) {
  const std::string paragraph = "<a:p></a:p>";
  const auto body = [&](std::string_view properties) {
    return shape(std::string(properties) + paragraph);
  };
  expect_cases({
      {"an empty patch returns the input unread", "<not xml", frame({}), "<not xml", 0},
      {"the example: insets, wrap and an auto-fit on a new element", shape(paragraph),
       frame({.margins = {{"tIns", 200}, {"lIns", 100}},
              .set_word_wrap = true,
              .word_wrap = "square",
              .set_auto_size = true,
              .auto_size = "normAutofit"}),
       body("<a:bodyPr lIns=\"100\" tIns=\"200\" wrap=\"square\"><a:normAutofit/></a:bodyPr>"), 4},
      {"an anchor alone", shape(paragraph),
       frame({.set_vertical_anchor = true, .vertical_anchor = "ctr"}),
       body("<a:bodyPr anchor=\"ctr\"/>"), 1},
      {"wrap removed; a new element gains nothing",
       body("<a:bodyPr wrap=\"none\" rtlCol=\"0\"/>") + shape(paragraph),
       [](auto xml) -> Result<RewriteOutput> {
         const TextFramePropertiesPatch patch{.set_word_wrap = true};
         const RewriteOutput first = PELVANE_TRY(set_text_frame_properties_in_slide(xml, 0, patch));
         return set_text_frame_properties_in_slide(first.bytes, 1, patch);
       },
       body("<a:bodyPr rtlCol=\"0\"/>") + body("<a:bodyPr/>"), 1},
      {"auto-fit removed everywhere, none written",
       body("<a:bodyPr><a:spAutoFit/><a:scene3d><a:normAutofit/></a:scene3d></a:bodyPr>"),
       frame({.set_auto_size = true}), body("<a:bodyPr><a:scene3d></a:scene3d></a:bodyPr>"), 1},
      {"auto-fit kept when not set; a bad value of an unset flag is ignored",
       body("<a:bodyPr><a:spAutoFit/></a:bodyPr>"),
       frame({.margins = {{"bIns", 0}}, .word_wrap = "tight", .auto_size = "fit"}),
       body("<a:bodyPr bIns=\"0\"><a:spAutoFit/></a:bodyPr>"), 1},
      {"insets after the tag's own attributes, in key order, signs kept",
       body("<a:bodyPr rtlCol=\"0\"/>"),
       frame({.margins = {{"tIns", -127}, {"rIns", 3}, {"lIns", 1}, {"bIns", 4}}}),
       body("<a:bodyPr rtlCol=\"0\" bIns=\"4\" lIns=\"1\" rIns=\"3\" tIns=\"-127\"/>"), 4},
      {"an anchor keeps its place", body("<a:bodyPr anchor=\"t\" rtlCol=\"0\"/>"),
       frame({.set_vertical_anchor = true, .vertical_anchor = "b"}),
       body("<a:bodyPr anchor=\"b\" rtlCol=\"0\"/>"), 1},
      {"or goes", body("<a:bodyPr anchor=\"t\" rtlCol=\"0\"/>"),
       frame({.set_vertical_anchor = true}), body("<a:bodyPr rtlCol=\"0\"/>"), 1},
      {"an auto-fit with a font scale replaced by a bare one of the same name",
       body("<a:bodyPr><a:normAutofit fontScale=\"90000\"/></a:bodyPr>"),
       frame({.set_auto_size = true, .auto_size = "normAutofit"}),
       body("<a:bodyPr><a:normAutofit/></a:bodyPr>"), 1},
      {"a self-closing bodyPr expanded under its own prefix", body("<x:bodyPr/>"),
       frame({.set_auto_size = true, .auto_size = "noAutofit"}),
       body("<x:bodyPr><a:noAutofit/></x:bodyPr>"), 1},
      {"a new bodyPr before a self-closing list style", shape("<a:lstStyle/>" + paragraph),
       frame({.margins = {{"lIns", 0}}}), shape("<a:bodyPr lIns=\"0\"/><a:lstStyle/>" + paragraph),
       1},
      {"in an empty body before its end tag", shape(""), frame({.margins = {{"lIns", 0}}}),
       shape("<a:bodyPr lIns=\"0\"/>"), 1},
      {"a self-closing body or none is left alone", "<p:sp><p:txBody/></p:sp><p:sp/><p:sp/>",
       frame({.margins = {{"lIns", 0}}}), "<p:sp><p:txBody/></p:sp><p:sp/><p:sp/>", 0},
      {"a grouped shape counts, a self-closing one does not",
       "<p:sp/><p:grpSp>" + shape(paragraph) + "</p:grpSp>" + shape(paragraph),
       frame({.margins = {{"lIns", 0}}}, 1),
       "<p:sp/><p:grpSp>" + shape(paragraph) + "</p:grpSp>" + body("<a:bodyPr lIns=\"0\"/>"), 1},
      {"two margins and three flags count 5", body("<a:bodyPr/>"),
       frame({.margins = {{"lIns", 1}, {"rIns", 2}},
              .set_word_wrap = true,
              .word_wrap = "none",
              .set_vertical_anchor = true,
              .vertical_anchor = "dist",
              .set_auto_size = true}),
       body("<a:bodyPr lIns=\"1\" rIns=\"2\" wrap=\"none\" anchor=\"dist\"/>"), 5},
  });
}

TEST(TextFrameProperties, RefusesUnsupportedValuesBeforeReading) {
  const std::pair<TextFramePropertiesPatch, const char*> refused[] = {
      {{.margins = {{"tIns", 1}, {"xIns", 2}}}, "unsupported text frame margin attribute: xIns"},
      {{.margins = {{"aIns", 1}, {"tIns", 2}}, .set_word_wrap = true, .word_wrap = "tight"},
       "unsupported text frame margin attribute: aIns"},
      {{.margins = {{"LIns", 1}}}, "unsupported text frame margin attribute: LIns"},
      {{.set_word_wrap = true,
        .word_wrap = "tight",
        .set_vertical_anchor = true,
        .vertical_anchor = "top"},
       "unsupported text frame word wrap value: tight"},
      {{.set_vertical_anchor = true,
        .vertical_anchor = "top",
        .set_auto_size = true,
        .auto_size = "NormAutofit"},
       "unsupported text frame vertical anchor value: top"},
      {{.set_auto_size = true, .auto_size = "NormAutofit"},
       "unsupported text frame auto-size value: NormAutofit"},
  };
  for (const auto& [patch, message] : refused) {
    const auto out = set_text_frame_properties_in_slide("<not xml", 0, patch);
    ASSERT_FALSE(out) << message;
    EXPECT_EQ(out.error(), PelvaneError::invalid_input(message));
  }
}

// ---- Where the schema's order decides ----

std::string slide_with_body(std::string_view body) {
  return "<p:sld xmlns:a=\"http://schemas.openxmlformats.org/drawingml/2006/main\" "
         "xmlns:p=\"http://schemas.openxmlformats.org/presentationml/2006/main\"><p:cSld>"
         "<p:spTree><p:nvGrpSpPr><p:cNvPr id=\"1\" name=\"\"/><p:cNvGrpSpPr/><p:nvPr/>"
         "</p:nvGrpSpPr><p:grpSpPr/><p:sp><p:nvSpPr><p:cNvPr id=\"2\" name=\"T\"/><p:cNvSpPr/>"
         "<p:nvPr/></p:nvSpPr><p:spPr/><p:txBody>" +
         std::string(body) + "</p:txBody></p:sp></p:spTree></p:cSld></p:sld>";
}

std::string slide_with_paragraph(std::string_view content) {
  return slide_with_body("<a:bodyPr/><a:p>" + std::string(content) + "</a:p>");
}

// Each before and after is a valid slide; the after must be exactly what the rewrite writes.
TEST(SchemaPlaces, NewChildrenGoWhereTheSchemaAllowsThem) {
  using Text = PropertyChange<std::string_view>;
  using Flag = PropertyChange<bool>;
  const std::string red = "<a:solidFill><a:srgbClr val=\"FF0000\"/></a:solidFill>";
  const std::string green = "<a:solidFill><a:srgbClr val=\"00FF00\"/></a:solidFill>";
  const std::string outline =
      "<a:ln w=\"9525\"><a:solidFill><a:schemeClr val=\"tx1\"/>"
      "</a:solidFill></a:ln>";
  const std::string outline_without_fill = "<a:ln w=\"9525\"></a:ln>";
  const std::string underline_fill =
      "<a:uFill><a:solidFill><a:srgbClr val=\"0000FF\"/></a:solidFill></a:uFill>";
  const std::string text_run = "<a:r><a:rPr lang=\"en-US\">" + red + "</a:rPr><a:t>x</a:t></a:r>";
  const std::string field =
      "<a:fld id=\"{9B72A71B-5A03-4006-A249-88022B89F593}\" type=\"slidenum\">"
      "<a:rPr lang=\"en-GB\"/><a:pPr/><a:t>1</a:t></a:fld><a:endParaRPr lang=\"en-GB\"/>";
  const std::string extensions = "<a:extLst><a:ext uri=\"{0}\"/></a:extLst>";
  const std::string warp = "<a:prstTxWarp prst=\"textArchUp\"><a:avLst/></a:prstTxWarp>";
  const auto run_with = [](std::string_view properties) {
    return slide_with_paragraph("<a:r><a:rPr>" + std::string(properties) +
                                "</a:rPr><a:t>x</a:t></a:r>");
  };
  const auto defaults_with = [](std::string_view properties) {
    return slide_with_paragraph("<a:pPr><a:defRPr>" + std::string(properties) +
                                "</a:defRPr></a:pPr><a:r><a:t>x</a:t></a:r>");
  };
  const auto spacing = [](ParagraphSpacingPatch patch) -> Rewrite {
    return [=](std::string_view xml) {
      return set_shape_paragraph_properties_in_slide(xml, 0, 0, {}, false, 0, patch);
    };
  };
  const std::vector<Case> cases = {
      {"a coloured run given a font: the font after the fill", slide_with_paragraph(text_run),
       font(0, "Arial"),
       slide_with_paragraph("<a:r><a:rPr lang=\"en-US\">" + red +
                            "<a:latin typeface=\"Arial\"/></a:rPr><a:t>x</a:t></a:r>"),
       1},
      {"run properties with an outline and an underline fill given a colour",
       run_with(outline + red + underline_fill + "<a:latin typeface=\"Old\"/>"),
       batch({{0, {.color = Text::to("00FF00")}}}),
       run_with(outline_without_fill + green + underline_fill + "<a:latin typeface=\"Old\"/>"), 1},
      {"run properties with an outline only given a colour and a font",
       run_with(outline + "<a:cs typeface=\"C\"/>"),
       batch({{0, {.name = Text::to("Arial"), .color = Text::to("00FF00")}}}),
       run_with(outline_without_fill + green +
                "<a:latin typeface=\"Arial\"/><a:cs typeface=\"C\"/>"),
       2},
      {"run properties with an underline line given no colour",
       run_with(red + "<a:uLn w=\"12700\">" + red + "</a:uLn>"),
       batch({{0, {.color = Text::removed()}}}), run_with("<a:uLn w=\"12700\"></a:uLn>"), 1},
      {"default properties with an outline and an underline fill given a colour",
       defaults_with(outline + red + underline_fill), paragraph_font({.color = Text::to("00FF00")}),
       defaults_with(outline_without_fill + green + underline_fill), 1},
      {"default properties with an outline given a fill kind and a font",
       defaults_with(outline + "<a:ea typeface=\"E\"/>"),
       paragraph_font({.name = Text::to("Arial"), .fill_type = Text::to("background")}),
       defaults_with(outline_without_fill +
                     "<a:noFill/><a:latin typeface=\"Arial\"/><a:ea typeface=\"E\"/>"),
       2},
      {"line spacing, then space after",
       slide_with_paragraph("<a:pPr><a:lnSpc><a:spcPct val=\"90000\"/></a:lnSpc></a:pPr>"),
       spacing({.space_after = Spacing::exact(1270)}),
       slide_with_paragraph("<a:pPr><a:lnSpc><a:spcPct val=\"90000\"/></a:lnSpc>"
                            "<a:spcAft><a:spcPts val=\"10\"/></a:spcAft></a:pPr>"),
       1},
      {"space after, then line spacing and space before",
       slide_with_paragraph("<a:pPr><a:spcAft><a:spcPts val=\"10\"/></a:spcAft><a:buNone/>"
                            "</a:pPr>"),
       spacing({.line_spacing = Spacing::proportional(1.0), .space_before = Spacing::exact(2540)}),
       slide_with_paragraph("<a:pPr><a:lnSpc><a:spcPct val=\"100000\"/></a:lnSpc>"
                            "<a:spcBef><a:spcPts val=\"20\"/></a:spcBef>"
                            "<a:spcAft><a:spcPts val=\"10\"/></a:spcAft><a:buNone/></a:pPr>"),
       2},
      {"properties holding an extension list given bold",
       slide_with_paragraph("<a:pPr>" + extensions + "</a:pPr>"),
       paragraph_font({.bold = Flag::to(true)}),
       slide_with_paragraph("<a:pPr><a:defRPr b=\"1\"/>" + extensions + "</a:pPr>"), 1},
      {"a warped body given an auto-fit",
       slide_with_body("<a:bodyPr>" + warp + "<a:spAutoFit/></a:bodyPr><a:p/>"),
       frame({.set_auto_size = true, .auto_size = "normAutofit"}),
       slide_with_body("<a:bodyPr>" + warp + "<a:normAutofit/></a:bodyPr><a:p/>"), 1},
      {"a field paragraph given alignment and level: the field's pPr is its own",
       slide_with_paragraph(field), paragraph({Text::to("ctr"), true, 1}),
       slide_with_paragraph("<a:pPr algn=\"ctr\" lvl=\"1\"/>" + field), 2},
      {"a field paragraph given bold", slide_with_paragraph(field),
       paragraph_font({.bold = Flag::to(true)}),
       slide_with_paragraph("<a:pPr><a:defRPr b=\"1\"/></a:pPr>" + field), 1},
  };
  expect_cases(cases);
  PELVANE_SKIP_WITHOUT_SCHEMAS();
  std::vector<std::string> documents;
  for (const Case& c : cases) {
    documents.push_back(c.xml);
    documents.push_back(c.expected);
  }
  const std::vector<std::string> errors = test::pml_schema_errors(documents);
  for (std::size_t i = 0; i < documents.size(); ++i)
    EXPECT_EQ(errors[i], "") << cases[i / 2].what << (i % 2 == 0 ? " (before)" : " (after)");
}

TEST(FormattingFailures, CallerTextsThatXmlCannotHoldAreRefused) {
  using Text = PropertyChange<std::string_view>;
  const std::string xml = shape("<a:p>" + run("") + "</a:p>");
  const Rewrite rewrites[] = {
      font(0,
           "Ari\x01"
           "al"),
      attribute(0, "lang", "en\x02"),
      batch({{5, {.name = Text::to("Arial")}}, {7, {.color = Text::to("\x0b")}}}),
      paragraph({Text::to("c\x1ftr")}),
      paragraph_font({.color = Text::to("\xef\xbf\xbe")}),
      paragraph_font({.language = Text::to("en\x01")}),
  };
  const char* codes[] = {"0001", "0002", "000B", "001F", "FFFE", "0001"};
  for (std::size_t i = 0; i < std::size(rewrites); ++i) {
    const auto out = rewrites[i](xml);
    ASSERT_FALSE(out) << i;
    EXPECT_EQ(out.error(),
              PelvaneError::invalid_input(
                  std::string("text contains a character that XML cannot hold: U+") + codes[i]))
        << i;
  }
}

TEST(FormattingFailures, ReaderFailuresAndInputEndingInADroppedChildPassUp) {
  using Text = PropertyChange<std::string_view>;
  const std::string body_start = "<p:sp><p:txBody>";
  // Malformed input fails with the reader's error.
  const std::pair<std::string, Rewrite> malformed[] = {
      {"<a:r><a:rPr></a:r>", font(0, "Arial")},
  };
  for (const auto& [xml, rewrite] : malformed) {
    const auto out = rewrite(xml);
    ASSERT_FALSE(out) << xml;
    EXPECT_EQ(out.error().kind(), PelvaneError::Kind::Xml) << xml;
  }
  // Input that ends inside a child being dropped.
  const std::pair<std::string, Rewrite> truncated[] = {
      {"<a:r><a:rPr><a:latin>", font(0, "Arial")},
      {"<a:r><a:rPr><a:solidFill>", batch({{0, {.color = Text::to("FF0000")}}})},
      {body_start + "<a:p><a:pPr><a:lnSpc>",
       paragraph({.spacing = {.line_spacing = Spacing::clear()}})},
      {body_start + "<a:p><a:pPr><a:defRPr><a:latin>", paragraph_font({.name = Text::removed()})},
      {body_start + "<a:bodyPr><a:normAutofit>", frame({.set_auto_size = true})},
  };
  for (const auto& [xml, rewrite] : truncated) {
    const auto out = rewrite(xml);
    ASSERT_FALSE(out) << xml;
    EXPECT_EQ(out.error(),
              PelvaneError::xml_text_decode("unexpected end of XML while skipping element"))
        << xml;
  }
}

}  // namespace
}  // namespace pelvane
