// Exact outputs of the text rewrites on literal slide XML.
#include <functional>
#include <gtest/gtest.h>

#include "core/text/text_rewrite.hpp"
#include "rewrite_cases.hpp"

namespace pelvane {
namespace {

using Case = RewriteCase;

void expect_cases(const std::vector<Case>& cases) { expect_rewrite_cases(cases); }

// One shape with the given text-body content.
std::string shape(std::string_view body) {
  return "<p:sp><p:nvSpPr/><p:txBody>" + std::string(body) + "</p:txBody></p:sp>";
}

Rewrite replace(std::string search, std::string replacement) {
  return [=](std::string_view xml) { return replace_text_nodes(xml, search, replacement); };
}

Rewrite run_text(std::uint64_t run, std::string text) {
  return [=](std::string_view xml) { return replace_text_run_at_index_in_slide(xml, run, text); };
}

TEST(ReplaceTextNodes, ReplacesWithinTextPiecesOfTextElements) {
  expect_cases({
      {"no overlap", "<a:t>aaaa</a:t>", replace("aa", "X"), "<a:t>XX</a:t>", 2},
      {"left to right", "<a:t>aaa</a:t>", replace("aa", "X"), "<a:t>Xa</a:t>", 1},
      {"replacement escaped", "<a:t>x</a:t>", replace("x", "<b>"), "<a:t>&lt;b&gt;</a:t>", 1},
      {"a matched piece is escaped whole, an unmatched one kept", "<a:t>a>b</a:t><a:t>b>d</a:t>",
       replace("a", "c"), "<a:t>c&gt;b</a:t><a:t>b>d</a:t>", 1},
      {"quotes of a matched piece", "<a:t>it's \"a\"</a:t>", replace("a", "b"),
       "<a:t>it&apos;s &quot;b&quot;</a:t>", 1},
      {"never across a reference", "<a:t>Fish &amp; Chips</a:t>", replace("Fish & Chips", "X"),
       "<a:t>Fish &amp; Chips</a:t>", 0},
      {"only text elements, any prefix",
       "<a:x n=\"ab\"><![CDATA[ab]]><!--ab-->ab</a:x><t>ab</t><x:t>ab</x:t><a:t/>",
       replace("ab", "c"),
       "<a:x n=\"ab\"><![CDATA[ab]]><!--ab-->ab</a:x><t>c</t><x:t>c</x:t><a:t/>", 2},
      {"empty search matches nothing", "<a:t>ab</a:t>", replace("", "c"), "<a:t>ab</a:t>", 0},
  });
}

TEST(ReplaceTextNodes, RefusesAPieceThatIsNotUtf8) {
  const auto out = replace_text_nodes("<a:t>ab\x80</a:t>", "a", "b");
  ASSERT_FALSE(out);
  EXPECT_EQ(out.error(), PelvaneError::xml_text_decode(
                             "cannot decode input using UTF-8: invalid utf-8 sequence of 1 bytes "
                             "from index 2"));
  // Outside text elements, and in the run rewrite, such bytes pass through.
  EXPECT_TRUE(replace_text_nodes("<a:x>ab\x80</a:x>", "a", "b"));
  EXPECT_EQ(replace_text_run_at_index_in_slide("<a:r/><a:x>\x80</a:x>", 0, "y")->bytes,
            "<a:r><a:t>y</a:t></a:r><a:x>\x80</a:x>");
}

TEST(ReplaceTextRun, ReplacesTheWholeTextOfOneRun) {
  expect_cases({
      {"self-closing runs count", "<a:r/><a:r><a:t>old</a:t></a:r>", run_text(1, "new"),
       "<a:r/><a:r><a:t>new</a:t></a:r>", 1},
      {"a self-closing run becomes a run", "<a:r b=\"1\"/>", run_text(0, "A<B"),
       "<a:r b=\"1\"><a:t>A&lt;B</a:t></a:r>", 1},
      {"text element after the properties", "<a:r><a:rPr b=\"1\"/></a:r>", run_text(0, "x"),
       "<a:r><a:rPr b=\"1\"/><a:t>x</a:t></a:r>", 1},
      {"a self-closing text element opens", "<a:r><a:t xml:space=\"preserve\"/></a:r>",
       run_text(0, "x"), "<a:r><a:t xml:space=\"preserve\">x</a:t></a:r>", 1},
      {"references go with the old text", "<a:r><a:t>A &amp; B</a:t></a:r>", run_text(0, "x"),
       "<a:r><a:t>x</a:t></a:r>", 1},
      {"comments stay ahead of the text", "<a:r><a:t><!--c-->old</a:t></a:r>", run_text(0, "x"),
       "<a:r><a:t><!--c-->x</a:t></a:r>", 1},
      {"empty text", "<a:r><a:t>old</a:t></a:r>", run_text(0, ""), "<a:r><a:t></a:t></a:r>", 1},
      {"later text elements kept", "<a:r><a:t>1</a:t><a:t>2</a:t></a:r>", run_text(0, "x"),
       "<a:r><a:t>x</a:t><a:t>2</a:t></a:r>", 1},
      {"the run's prefix", "<x:r></x:r><r></r>", run_text(0, "x"), "<x:r><x:t>x</x:t></x:r><r></r>",
       1},
      {"no prefix", "<r></r>", run_text(0, "x"), "<r><t>x</t></r>", 1},
      {"past the last run", "<a:r><a:rPr/><a:t>a</a:t></a:r>", run_text(1, "x"),
       "<a:r><a:rPr/><a:t>a</a:t></a:r>", 0},
  });
}

Rewrite shape_text(std::uint64_t shape_index, std::string text) {
  return [=](std::string_view xml) {
    return set_shape_text_at_index_in_slide(xml, shape_index, text);
  };
}

Rewrite paragraph_text(std::uint64_t shape_index, std::uint64_t paragraph, std::string text) {
  return [=](std::string_view xml) {
    return set_shape_paragraph_text_at_index_in_slide(xml, shape_index, paragraph, text);
  };
}

TEST(SetShapeText, ReplacesEveryParagraphOfOneShape) {
  const std::string old =
      "<a:bodyPr/><a:lstStyle/><a:p><a:pPr algn=\"r\"/><a:r><a:rPr b=\"1\"/>"
      "<a:t>x</a:t></a:r></a:p><a:p/><a:p><a:endParaRPr/></a:p>";
  const std::string tree =
      "<p:pic/><p:grpSp>" + shape("<a:p/>") + shape("<a:p/>") + "</p:grpSp>" + shape(old);
  const std::string kept = "<p:pic/><p:grpSp>" + shape("<a:p/>") + shape("<a:p/>") + "</p:grpSp>";
  const std::string ab = "<a:p><a:r><a:t>A</a:t></a:r></a:p><a:p><a:r><a:t>B</a:t></a:r></a:p>";
  expect_cases({
      {"groups count, pictures do not; properties go, body properties stay", tree,
       shape_text(2, "A\nB"), kept + shape("<a:bodyPr/><a:lstStyle/>" + ab), 3},
      {"a trailing line feed", shape("<a:p/>"), shape_text(0, "A\n"),
       shape("<a:p><a:r><a:t>A</a:t></a:r></a:p><a:p><a:r><a:t></a:t></a:r></a:p>"), 1},
      {"empty text", shape(""), shape_text(0, ""), shape("<a:p><a:r><a:t></a:t></a:r></a:p>"), 1},
      {"carriage returns stay in their piece", shape("<a:p/>"), shape_text(0, "A\r\nB"),
       shape("<a:p><a:r><a:t>A\r</a:t></a:r></a:p><a:p><a:r><a:t>B</a:t></a:r></a:p>"), 1},
      {"no text body", "<p:sp><p:spPr/></p:sp>", shape_text(0, "A"), "<p:sp><p:spPr/></p:sp>", 0},
      {"a self-closing text body", "<p:sp><p:txBody/></p:sp>", shape_text(0, "A"),
       "<p:sp><p:txBody/></p:sp>", 0},
      {"past the last shape", shape("<a:p/>"), shape_text(1, "A"), shape("<a:p/>"), 0},
  });
}

TEST(SetParagraphText, ReplacesTheCharacterContentOfOneParagraph) {
  const std::string two_runs =
      "<a:p><a:r><a:rPr b=\"1\"/><a:t>Hello </a:t></a:r><a:br/>"
      "<a:r><a:rPr i=\"1\"/><a:t>World</a:t></a:r></a:p>";
  expect_cases({
      {"first piece takes the text, later text elements are emptied", shape(two_runs),
       paragraph_text(0, 0, "Hi"),
       shape("<a:p><a:r><a:rPr b=\"1\"/><a:t>Hi</a:t></a:r><a:br/>"
             "<a:r><a:rPr i=\"1\"/><a:t></a:t></a:r></a:p>"),
       2},
      {"references count as pieces", shape("<a:p><a:r><a:t>Fish &amp; Chips</a:t></a:r></a:p>"),
       paragraph_text(0, 0, "F&C"), shape("<a:p><a:r><a:t>F&amp;C</a:t></a:r></a:p>"), 3},
      {"self-closing paragraphs do not count", shape("<a:p/><a:p><a:r><a:t>x</a:t></a:r></a:p>"),
       paragraph_text(0, 0, "a\nb"), shape("<a:p/><a:p><a:r><a:t>a\nb</a:t></a:r></a:p>"), 1},
      {"only end-of-paragraph properties", shape("<a:p><a:endParaRPr/></a:p>"),
       paragraph_text(0, 0, "x"), shape("<a:p><a:endParaRPr/></a:p>"), 0},
      {"an empty text element receives nothing", shape("<a:p><a:r><a:t></a:t></a:r></a:p>"),
       paragraph_text(0, 0, "x"), shape("<a:p><a:r><a:t></a:t></a:r></a:p>"), 0},
      {"paragraphs of the addressed shape only",
       shape("<a:p><a:r><a:t>0</a:t></a:r></a:p>") + shape("<a:p><a:r><a:t>1</a:t></a:r></a:p>"),
       paragraph_text(1, 0, "x"),
       shape("<a:p><a:r><a:t>0</a:t></a:r></a:p>") + shape("<a:p><a:r><a:t>x</a:t></a:r></a:p>"),
       1},
      {"past the last paragraph", shape(two_runs), paragraph_text(0, 1, "x"), shape(two_runs), 0},
  });
}

// Group numbering: a self-closing group takes no index; A (0) holds B (1) and, after a picture,
// the shape s1; C (2) holds s2.
const std::string kGroups = "<p:grpSp/><p:grpSp><p:nvGrpSpPr/><p:grpSp>" +
                            shape("<a:p><a:r><a:t>b1</a:t></a:r></a:p>") + "</p:grpSp><p:pic/>" +
                            shape("<a:p><a:r><a:t>s1</a:t></a:r></a:p>") + "</p:grpSp><p:grpSp>" +
                            shape("<a:p><a:r><a:t>s2</a:t></a:r></a:p>") + "</p:grpSp>";

std::string groups_with(std::string_view old_text, std::string_view new_text) {
  std::string xml = kGroups;
  const std::string from = "<a:t>" + std::string(old_text) + "</a:t>";
  xml.replace(xml.find(from), from.size(), "<a:t>" + std::string(new_text) + "</a:t>");
  return xml;
}

Rewrite child_text(std::uint64_t group, std::uint64_t child, std::string text) {
  return [=](std::string_view xml) {
    return set_group_shape_child_text_in_slide(xml, group, child, text);
  };
}

Rewrite child_paragraph(std::uint64_t group, std::uint64_t child, std::uint64_t paragraph,
                        std::string text) {
  return [=](std::string_view xml) {
    return set_group_shape_child_paragraph_text_in_slide(xml, group, child, paragraph, text);
  };
}

Rewrite child_run(std::uint64_t paragraph, std::uint64_t run, std::string text) {
  return [=](std::string_view xml) {
    return set_group_shape_child_run_text_in_slide(xml, 0, 0, paragraph, run, text);
  };
}

std::string group(std::string_view children) {
  return "<p:grpSp><p:nvGrpSpPr/>" + std::string(children) + "</p:grpSp>";
}

TEST(GroupChildText, AddressesDirectChildrenOfTheNthGroup) {
  expect_cases({
      {"A's direct child, past its nested group and a picture", kGroups, child_text(0, 0, "x"),
       groups_with("s1", "x"), 1},
      {"B's child", kGroups, child_text(1, 0, "x"), groups_with("b1", "x"), 1},
      {"C's child", kGroups, child_text(2, 0, "x"), groups_with("s2", "x"), 1},
      {"A has one child", kGroups, child_text(0, 1, "x"), kGroups, 0},
      {"two lines, two paragraphs", group(shape("<a:p/><a:p/>")), child_text(0, 0, "A\nB"),
       group(shape("<a:p><a:r><a:t>A</a:t></a:r></a:p><a:p><a:r><a:t>B</a:t></a:r></a:p>")), 2},
  });
}

TEST(GroupChildText, ParagraphTextFillsAppendsAndKeepsTheRest) {
  const std::string two_runs =
      "<a:p><a:r><a:rPr b=\"1\"/><a:t>Hello </a:t></a:r><a:r><a:t>World</a:t></a:r></a:p>";
  expect_cases({
      {"runs 'Hello ' and 'World'", group(shape(two_runs)), child_paragraph(0, 0, 0, "Hi"),
       group(shape("<a:p><a:r><a:rPr b=\"1\"/><a:t>Hi</a:t></a:r><a:r><a:t></a:t></a:r></a:p>")),
       2},
      {"references", group(shape("<a:p><a:r><a:t>Fish &amp; Chips</a:t></a:r></a:p>")),
       child_paragraph(0, 0, 0, "x"), group(shape("<a:p><a:r><a:t>x</a:t></a:r></a:p>")), 3},
      {"an empty text element receives the text",
       group(shape("<a:p><a:r><a:t></a:t></a:r><a:r><a:t>X</a:t></a:r></a:p>")),
       child_paragraph(0, 0, 0, "y"),
       group(shape("<a:p><a:r><a:t>y</a:t></a:r><a:r><a:t></a:t></a:r></a:p>")), 2},
      {"a self-closing text element receives nothing", group(shape("<a:p><a:r><a:t/></a:r></a:p>")),
       child_paragraph(0, 0, 0, "y"), group(shape("<a:p><a:r><a:t/></a:r></a:p>")), 0},
      {"one past the last paragraph appends, unsplit", group(shape("<a:bodyPr/><a:p/>")),
       child_paragraph(0, 0, 0, "a\nb"),
       group(shape("<a:bodyPr/><a:p/><a:p><a:r><a:t>a\nb</a:t></a:r></a:p>")), 1},
      {"further past appends nothing", group(shape("<a:p></a:p>")), child_paragraph(0, 0, 2, "a"),
       group(shape("<a:p></a:p>")), 0},
      {"a self-closing text body receives nothing", group("<p:sp><p:txBody/></p:sp>"),
       child_paragraph(0, 0, 0, "a"), group("<p:sp><p:txBody/></p:sp>"), 0},
  });
}

TEST(GroupChildText, RunTextReplacesOrAppendsWhereTheRunsEnd) {
  const std::string runs =
      "<a:p><a:pPr/><a:r/><a:fld><a:t>f</a:t></a:fld>"
      "<a:r><a:rPr/><a:t>b</a:t></a:r><a:endParaRPr/></a:p>";
  const auto with_runs = [&](std::string_view middle) {
    return group(shape("<a:p><a:pPr/><a:r/><a:fld><a:t>f</a:t></a:fld>" + std::string(middle) +
                       "<a:endParaRPr/></a:p>"));
  };
  expect_cases({
      {"a self-closing run counts and becomes a run", group(shape(runs)), child_run(0, 0, "a"),
       group(shape("<a:p><a:pPr/><a:r><a:t>a</a:t></a:r><a:fld><a:t>f</a:t></a:fld>"
                   "<a:r><a:rPr/><a:t>b</a:t></a:r><a:endParaRPr/></a:p>")),
       1},
      {"fields are not runs", group(shape(runs)), child_run(0, 1, "c"),
       with_runs("<a:r><a:rPr/><a:t>c</a:t></a:r>"), 1},
      {"one past the last run goes before the end-of-paragraph properties", group(shape(runs)),
       child_run(0, 2, "a\nb"),
       with_runs("<a:r><a:rPr/><a:t>b</a:t></a:r><a:r><a:t>a\nb</a:t></a:r>"), 1},
      {"without them, before the end tag", group(shape("<a:p><a:r><a:t>a</a:t></a:r></a:p>")),
       child_run(0, 1, "b"),
       group(shape("<a:p><a:r><a:t>a</a:t></a:r><a:r><a:t>b</a:t></a:r></a:p>")), 1},
      {"further past appends nothing", group(shape(runs)), child_run(0, 3, "x"), group(shape(runs)),
       0},
      {"past the last paragraph", group(shape(runs)), child_run(1, 0, "x"), group(shape(runs)), 0},
  });
}

Rewrite append_paragraph(std::uint64_t shape_index, std::string text) {
  return [=](std::string_view xml) {
    return append_shape_paragraph_text_in_slide(xml, shape_index, text);
  };
}

Rewrite append_run(std::uint64_t paragraph, std::string text) {
  return
      [=](std::string_view xml) { return append_shape_text_run_in_slide(xml, 0, paragraph, text); };
}

Rewrite line_break(std::uint64_t paragraph, std::uint64_t slot) {
  return [=](std::string_view xml) {
    return insert_shape_paragraph_line_break_in_slide(xml, 0, paragraph, slot);
  };
}

TEST(AppendText, ParagraphsAndRunsGoWhereTheSchemaAllows) {
  const std::string runs = "<a:p><a:r><a:t>a</a:t></a:r><a:r/><a:endParaRPr lang=\"en\"/></a:p>";
  expect_cases({
      {"a paragraph, unsplit and escaped", shape("<a:bodyPr/><a:p/>"),
       append_paragraph(0, "A\n<b>"),
       shape("<a:bodyPr/><a:p/><a:p><a:r><a:t>A\n&lt;b&gt;</a:t></a:r></a:p>"), 1},
      {"a shape inside a group by the overall count", shape("<a:p/>") + group(shape("<a:p/>")),
       append_paragraph(1, "x"),
       shape("<a:p/>") + group(shape("<a:p/><a:p><a:r><a:t>x</a:t></a:r></a:p>")), 1},
      {"no text body", "<p:sp/><p:sp><p:spPr/></p:sp>", append_paragraph(0, "x"),
       "<p:sp/><p:sp><p:spPr/></p:sp>", 0},
      {"a self-closing text body", "<p:sp><p:txBody/></p:sp>", append_paragraph(0, "x"),
       "<p:sp><p:txBody/></p:sp>", 0},
      {"a run before the end-of-paragraph properties", shape(runs), append_run(0, "b"),
       shape("<a:p><a:r><a:t>a</a:t></a:r><a:r/><a:r><a:t>b</a:t></a:r>"
             "<a:endParaRPr lang=\"en\"/></a:p>"),
       1},
      {"a run after the paragraph properties", shape("<a:p><a:pPr/></a:p>"), append_run(0, "b"),
       shape("<a:p><a:pPr/><a:r><a:t>b</a:t></a:r></a:p>"), 1},
      {"a self-closing paragraph is not addressed", shape("<a:p/><a:p></a:p>"), append_run(0, "b"),
       shape("<a:p/><a:p><a:r><a:t>b</a:t></a:r></a:p>"), 1},
      {"past the last paragraph", shape(runs), append_run(1, "b"), shape(runs), 0},
  });
}

TEST(AppendText, LineBreaksStandAtTheirRunSlot) {
  const std::string runs = "<a:p><a:r><a:t>a</a:t></a:r><a:br/><a:fld/><a:r/><a:endParaRPr/></a:p>";
  expect_cases({
      {"slot 0, before the first run", shape(runs), line_break(0, 0),
       shape("<a:p><a:br/><a:r><a:t>a</a:t></a:r><a:br/><a:fld/><a:r/><a:endParaRPr/></a:p>"), 1},
      {"breaks and fields are no runs; a self-closing run is", shape(runs), line_break(0, 1),
       shape("<a:p><a:r><a:t>a</a:t></a:r><a:br/><a:fld/><a:br/><a:r/><a:endParaRPr/></a:p>"), 1},
      {"the end slot, before the end-of-paragraph properties", shape(runs), line_break(0, 2),
       shape("<a:p><a:r><a:t>a</a:t></a:r><a:br/><a:fld/><a:r/><a:br/><a:endParaRPr/></a:p>"), 1},
      {"an empty paragraph", shape("<a:p></a:p>"), line_break(0, 0), shape("<a:p><a:br/></a:p>"),
       1},
      {"a self-closing paragraph counts and opens", shape("<a:p/><a:p x=\"1\"/>"), line_break(1, 0),
       shape("<a:p/><a:p x=\"1\"><a:br/></a:p>"), 1},
      {"past the last paragraph, whatever the slot", shape(runs), line_break(1, 9), shape(runs), 0},
  });
  for (const auto& [xml, slot] : std::vector<std::pair<std::string, std::uint64_t>>{
           {shape(runs), 3}, {shape("<a:p></a:p>"), 1}, {shape("<a:p/>"), 1}}) {
    const auto out = line_break(0, slot)(xml);
    ASSERT_FALSE(out) << xml;
    EXPECT_EQ(out.error(), PelvaneError::invalid_input("run slot out of range"));
  }
}

TEST(TextRewrites, RefuseTextXmlCannotHoldBeforeWritingAnything) {
  const std::string xml = group(shape("<a:p><a:r><a:t>a</a:t></a:r></a:p>"));
  const std::string bad = "a\x01";
  const Rewrite rewrites[] = {
      replace("a", bad),         run_text(0, bad),         shape_text(0, bad),
      paragraph_text(0, 0, bad), child_text(0, 0, bad),    child_paragraph(0, 0, 0, bad),
      child_run(0, 0, bad),      append_paragraph(0, bad), append_run(0, bad),
  };
  for (const Rewrite& rewrite : rewrites) {
    const auto out = rewrite(xml);
    ASSERT_FALSE(out);
    EXPECT_EQ(out.error(), PelvaneError::invalid_input(
                               "text contains a character that XML cannot hold: U+0001"));
  }
}

TEST(TextRewrites, ReportMalformedXmlAndCutBodies) {
  EXPECT_EQ(replace("a", "b")("<a:t>a</a:x>").error().kind(), PelvaneError::Kind::Xml);
  EXPECT_EQ(shape_text(0, "x")("<p:sp><p:txBody><a:bodyPr/>").error(),
            PelvaneError::xml_text_decode("unexpected end of XML while rewriting text body"));
  EXPECT_EQ(child_text(0, 0, "x")("<p:grpSp><p:sp><p:txBody><a:p><a:r>").error(),
            PelvaneError::xml_text_decode("unexpected end of XML while skipping element"));
}

}  // namespace
}  // namespace pelvane
