#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/json/json_in.hpp"

namespace pelvane {
namespace {

// The caller's text of a failed reading, or "ok" when the reading succeeded.
template <class Result>
std::string outcome(const Result& result) {
  return result ? std::string("ok") : result.error().text();
}

std::string edits(std::string_view json) { return outcome(parse_edit_list(json)); }
std::string paths(std::string_view json) { return outcome(parse_freeform_operations(json)); }
std::string placeholders(std::string_view json) { return outcome(parse_placeholder_specs(json)); }
std::string guides(std::string_view json) { return outcome(parse_adjustment_guides(json)); }
std::string cell_texts(std::string_view json) { return outcome(parse_cell_texts(json)); }
std::string cells(std::string_view json) { return outcome(parse_workbook_cells(json)); }

EditOperation only_edit(std::string_view json) {
  auto result = parse_edit_list(json);
  EXPECT_TRUE(result) << json << ": " << (result ? "" : result.error().text());
  if (!result || result->size() != 1) return EditOperation{};
  return result->front();
}

struct Case {
  std::function<std::string(std::string_view)> reader;
  std::string json;
  std::string expected;
};

void expect_cases(const std::vector<Case>& cases) {
  for (const auto& c : cases) EXPECT_EQ(c.reader(c.json), c.expected) << c.json;
}

// ---- Faults in the JSON text, with the byte that ends them ----

TEST(JsonInSyntax, EachMessageWithItsPosition) {
  expect_cases({
      {edits, "", "EOF while parsing a value at line 1 column 0"},
      {edits, "  \n ", "EOF while parsing a value at line 2 column 1"},
      {edits, "[", "EOF while parsing a list at line 1 column 1"},
      {placeholders, "[{},", "EOF while parsing a value at line 1 column 4"},
      {edits, "[{\"type\"", "EOF while parsing an object at line 1 column 8"},
      {edits, "[{\"type", "EOF while parsing a string at line 1 column 7"},
      {edits, "[{\"type\" 1}]", "expected `:` at line 1 column 10"},
      {placeholders, "[{} {}]", "expected `,` or `]` at line 1 column 5"},
      {edits, "[{\"a\":1 \"b\":2}]", "expected `,` or `}` at line 1 column 9"},
      {edits, "[{\"a\":tru}]", "expected ident at line 1 column 10"},
      {edits, "[{\"a\":nul", "EOF while parsing a value at line 1 column 9"},
      {edits, "[{\"a\":@}]", "expected value at line 1 column 7"},
      {edits, "[{a:1}]", "key must be a string at line 1 column 3"},
      {edits, "[{\"a\":1,2}]", "key must be a string at line 1 column 9"},
      {edits, "[{\"a\":\"\\x\"}]", "invalid escape at line 1 column 9"},
      {edits, "[{\"a\":\"\\u12G4\"}]", "invalid escape at line 1 column 13"},
      {edits, "[{\"a\":\"\\u12", "EOF while parsing a string at line 1 column 11"},
      {edits, "[{\"a\":01}]", "invalid number at line 1 column 8"},
      {edits, "[{\"a\":-x}]", "invalid number at line 1 column 8"},
      {edits, "[{\"a\":1.}]", "invalid number at line 1 column 9"},
      {edits, "[{\"a\":1e+}]", "invalid number at line 1 column 10"},
      {edits, "[{\"a\":1e", "EOF while parsing a value at line 1 column 8"},
      {edits, "[{\"a\":1e400}]", "number out of range at line 1 column 11"},
      {edits, "[{\"a\":\"\xff\"}]", "invalid unicode code point at line 1 column 8"},
      {edits, "[{\"a\":\"x\ty\"}]",
       "control character (\\u0000-\\u001F) found while parsing a string "
       "at line 1 column 9"},
      {edits, "[{\"a\":\"\\udc00\"}]", "lone leading surrogate in hex escape at line 1 column 13"},
      {edits, "[{\"a\":\"\\ud800\\u0041\"}]",
       "lone leading surrogate in hex escape at line 1 column 19"},
      {edits, "[{\"a\":\"\\ud800x\"}]", "unexpected end of hex escape at line 1 column 14"},
      {edits, "[{\"a\":\"\\ud800\\n\"}]", "unexpected end of hex escape at line 1 column 15"},
      {placeholders, "[{},]", "trailing comma at line 1 column 5"},
      {edits, "[{\"a\":1,}]", "trailing comma at line 1 column 9"},
      {edits, "[] x", "trailing characters at line 1 column 4"},
      {edits, "[]\n\n  ]", "trailing characters at line 3 column 3"},
      // A line feed as the last byte read gives column 0.
      {edits, "[\n", "EOF while parsing a list at line 2 column 0"},
  });
}

TEST(JsonInSyntax, EveryReaderSharesTheScannerAndTheListFrame) {
  for (const auto& reader : {edits, paths, placeholders, guides, cell_texts, cells}) {
    EXPECT_EQ(reader("[]"), "ok");
    EXPECT_EQ(reader(" \t\r\n[ ] \n"), "ok");
    EXPECT_EQ(reader("{}"), "invalid type: map, expected a sequence at line 1 column 0");
    EXPECT_EQ(reader(" \"x\""),
              "invalid type: string \"x\", expected a sequence at line 1 column 4");
    EXPECT_EQ(reader("null"), "invalid type: null, expected a sequence at line 1 column 4");
    EXPECT_EQ(reader("["), "EOF while parsing a list at line 1 column 1");
    EXPECT_EQ(reader("[] []"), "trailing characters at line 1 column 4");
    EXPECT_EQ(reader("x"), "expected value at line 1 column 1");
  }
}

TEST(JsonInSyntax, StringsDecodeEscapesAndKeepUnicode) {
  auto result = parse_cell_texts(
      R"([[0,0,"a\"b\\c\/d\b\f\n\r\t"],[0,1,"\u00e9\ud83d\ude00é"],[0,2,"\u0000"]])");
  ASSERT_TRUE(result);
  EXPECT_EQ((*result)[0].text, "a\"b\\c/d\b\f\n\r\t");
  EXPECT_EQ((*result)[1].text, "\xc3\xa9\xf0\x9f\x98\x80\xc3\xa9");
  EXPECT_EQ((*result)[2].text, std::string(1, '\0'));
}

// ---- Nesting: the list is level 1, opening level 128 fails ----

TEST(JsonInNesting, LevelsUpTo127AreReadAndThe128thFails) {
  const auto nested = [](int levels_inside) {
    // The list (1), the edit (2), then `levels_inside` arrays under an ignored key.
    return R"([{"type":"delete_shape","slide_index":0,"shape_index":0,"note":)" +
           std::string(static_cast<std::size_t>(levels_inside), '[') +
           std::string(static_cast<std::size_t>(levels_inside), ']') + "}]";
  };
  EXPECT_EQ(edits(nested(125)), "ok");
  const std::string deep = nested(126);
  const std::size_t bracket = deep.find(std::string(126, '[')) + 125;
  EXPECT_EQ(edits(deep),
            "recursion limit exceeded at line 1 column " + std::to_string(bracket + 1));

  // Read straight: the same limit, also inside a skipped value.
  EXPECT_EQ(placeholders("[{\"other\":" + std::string(125, '[') + std::string(125, ']') + "}]"),
            "ok");
  EXPECT_EQ(placeholders("[{\"other\":" + std::string(126, '[') + "]}]"),
            "recursion limit exceeded at line 1 column 136");
}

TEST(JsonInNesting, DeepOrLongInputDoesNotExhaustTheStack) {
  const std::string deep = "[{\"a\":" + std::string(1'000'000, '[');
  for (const auto& reader : {edits, paths, placeholders}) {
    EXPECT_EQ(reader(deep), "recursion limit exceeded at line 1 column 132");
  }
  EXPECT_EQ(cells(std::string(1'000'000, '[')),
            "invalid type: sequence, expected a string at line 1 column 2");
  std::string long_list = "[";
  for (int i = 0; i < 100'000; ++i) long_list += "[\"A1\",\"s\",\"x\"],";
  long_list.back() = ']';
  auto result = parse_workbook_cells(long_list);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->size(), 100'000u);
}

// ---- Numbers: integers stay integers within -2^63 .. 2^64-1, everything else is a double ----

TEST(JsonInNumbers, RangesAndDescriptions) {
  struct NumberCase {
    std::string number;
    std::string as_usize;  // reading `row` of a cell text triple
    std::string as_i64;    // reading the value of an adjustment guide
  };
  const auto usize_type = [](std::string what) {
    return "invalid type: " + what + ", expected usize";
  };
  const auto i64_type = [](std::string what) { return "invalid type: " + what + ", expected i64"; };
  const std::vector<NumberCase> table = {
      {"0", "ok", "ok"},
      {"-0", usize_type("floating point `-0.0`"), i64_type("floating point `-0.0`")},
      {"18446744073709551615", "ok", "invalid value: integer `18446744073709551615`, expected i64"},
      {"18446744073709551616", usize_type("floating point `1.8446744073709552e+19`"),
       i64_type("floating point `1.8446744073709552e+19`")},
      {"9223372036854775807", "ok", "ok"},
      {"-9223372036854775808", "invalid value: integer `-9223372036854775808`, expected usize",
       "ok"},
      {"-9223372036854775809", usize_type("floating point `-9.223372036854776e+18`"),
       i64_type("floating point `-9.223372036854776e+18`")},
      {"1e400", "number out of range", "number out of range"},
      {"-1e400", "number out of range", "number out of range"},
      {"1e-400", usize_type("floating point `0.0`"), i64_type("floating point `0.0`")},
      {"1.0", usize_type("floating point `1.0`"), i64_type("floating point `1.0`")},
      {"1e16", usize_type("floating point `1e+16`"), i64_type("floating point `1e+16`")},
      {"1e15", usize_type("floating point `1000000000000000.0`"),
       i64_type("floating point `1000000000000000.0`")},
      {"1e-7", usize_type("floating point `1e-7`"), i64_type("floating point `1e-7`")},
      {"0.00001", usize_type("floating point `0.00001`"), i64_type("floating point `0.00001`")},
      {"1.5E20", usize_type("floating point `1.5e+20`"), i64_type("floating point `1.5e+20`")},
      {"-12.5", usize_type("floating point `-12.5`"), i64_type("floating point `-12.5`")},
      {"-1", "invalid value: integer `-1`, expected usize", "ok"},
  };
  for (const auto& row : table) {
    const std::string cell = "[[" + row.number + ",0,\"x\"]]";
    const std::string guide = "[[\"adj\"," + row.number + "]]";
    const std::string cell_end = std::to_string(2 + row.number.size());
    const std::string guide_end = std::to_string(8 + row.number.size());
    EXPECT_EQ(cell_texts(cell),
              row.as_usize == "ok" ? "ok" : row.as_usize + " at line 1 column " + cell_end)
        << row.number;
    EXPECT_EQ(guides(guide),
              row.as_i64 == "ok" ? "ok" : row.as_i64 + " at line 1 column " + guide_end)
        << row.number;
  }
  auto extremes = parse_cell_texts("[[18446744073709551615,0,\"\"]]");
  ASSERT_TRUE(extremes);
  EXPECT_EQ((*extremes)[0].row, UINT64_MAX);
  auto lowest = parse_adjustment_guides("[[\"a\",-9223372036854775808]]");
  ASSERT_TRUE(lowest);
  EXPECT_EQ((*lowest)[0].value, INT64_MIN);
}

TEST(JsonInNumbers, OtherKindsOfValueAreDescribed) {
  const std::string head = R"([{"type":"delete_shape","slide_index":0,"shape_index":)";
  const auto fault = [&](std::string value) { return edits(head + value + "}]"); };
  const auto at_end = [&](std::string value) {
    return " at line 1 column " + std::to_string(head.size() + value.size() + 2);
  };
  for (const auto& [value, what] : std::vector<std::pair<std::string, std::string>>{
           {"null", "null"},
           {"true", "boolean `true`"},
           {"false", "boolean `false`"},
           {"\"3\"", "string \"3\""},
           {R"("q\"b\\s\t\r\n\u0001\u007f\u0085é")", R"(string "q\"b\\s\t\r\n\u{1}\u{7f}\u{85}é")"},
           {"[1]", "sequence"},
           {"{\"a\":1}", "map"},
       }) {
    EXPECT_EQ(fault(value), "invalid type: " + what + ", expected usize" + at_end(value)) << value;
  }
}

// ---- The edit list: frame, tag and positions ----

TEST(JsonInEditList, FrameAndTagFaults) {
  expect_cases({
      {edits, R"([{"slide_index":0}])", "missing field `type` at line 1 column 18"},
      {edits, R"([{"Type":"delete_shape"}])", "missing field `type` at line 1 column 24"},
      {edits, R"([{"type":"delete_shape","type":"x"}])",
       "duplicate field `type` at line 1 column 30"},
      {edits, R"([{"type":"delete_shape","type"  :"x"}])",
       "duplicate field `type` at line 1 column 32"},
      {edits, R"([{"type":5}])",
       "invalid type: integer `5`, expected variant identifier at line 1 column 10"},
      {edits, R"([{"type":null}])",
       "invalid type: null, expected variant identifier at line 1 column 13"},
      {edits, R"([{"type":["delete_shape"]}])",
       "invalid type: sequence, expected variant identifier at line 1 column 9"},
      {edits, "[5]",
       "invalid type: integer `5`, expected internally tagged enum EditOperation at line 1 "
       "column 2"},
      {edits, R"([ "delete_shape"])",
       "invalid type: string \"delete_shape\", expected internally tagged enum EditOperation at "
       "line 1 column 16"},
      {edits, "[[]]", "missing field `type` at line 1 column 3"},
      {edits, "[[5, 0]]",
       "invalid type: integer `5`, expected variant identifier at line 1 column 3"},
  });
  const std::string bogus = edits(R"([{"type":"bogus"}])");
  EXPECT_EQ(
      bogus.rfind("unknown variant `bogus`, expected one of `reorder_slides`, `delete_shape`", 0),
      0u);
  EXPECT_NE(bogus.find("`delete_shape`, `delete_group_shape_child`, `set_shape_text`"),
            std::string::npos);
  EXPECT_NE(bogus.find("`insert_table_column`, `delete_table_column` at line 1 column 16"),
            std::string::npos);
  EXPECT_EQ(edits(R"([["Delete_shape",0,1]])").substr(0, 33), "unknown variant `Delete_shape`, e");
}

TEST(JsonInEditList, FieldFaultsArePlacedAfterLookingPastTheEdit) {
  expect_cases({
      // Before the closing bracket of the list, after it, or on the next edit's line.
      {edits, R"([{"type":"delete_shape","slide_index":0}])",
       "missing field `shape_index` at line 1 column 41"},
      {edits, "[{\"type\":\"delete_shape\",\"slide_index\":0}  ]",
       "missing field `shape_index` at line 1 column 43"},
      {edits, "[{\"type\":\"delete_shape\",\"slide_index\":0} , \t{}]",
       "missing field `shape_index` at line 1 column 44"},
      {edits, "[{\"type\":\"delete_shape\",\"slide_index\":0} x]",
       "missing field `shape_index` at line 1 column 41"},
      {edits,
       "[\n  {\"type\": \"delete_shape\", \"slide_index\": 0},\n  {\"type\": \"delete_shape\"}\n]",
       "missing field `shape_index` at line 3 column 2"},
      {edits, R"([["delete_shape", 0]])",
       "invalid length 1, expected struct variant EditOperation::DeleteShape with 2 elements at "
       "line 1 column 21"},
      {edits, R"([["reorder_slides", [1, 0], 5]])",
       "invalid length 2, expected 1 element in sequence at line 1 column 31"},
  });
}

TEST(JsonInEditList, FaultOrderWithinAndAcrossEdits) {
  expect_cases({
      // The whole edit is read before its fields: a later syntax fault wins over a field fault.
      {edits, R"([{"type":"delete_shape","slide_index":-1,"x":tru}])",
       "expected ident at line 1 column 49"},
      // The tag is resolved when met: a bad tag wins over what follows, syntax included.
      {edits, R"([{"type":"bogus","x":@}])", edits(R"([{"type":"bogus"}])")},
      {edits, R"([{"x":@,"type":"bogus"}])", "expected value at line 1 column 7"},
      // A repeated tag wins over field faults before it.
      {edits, R"([{"type":"delete_shape","slide_index":-1,"type":"delete_shape"}])",
       "duplicate field `type` at line 1 column 47"},
      // Edits after a faulty one are not examined.
      {edits, R"([{"type":"delete_shape"},{"type":"bogus"}])",
       "missing field `slide_index` at line 1 column 25"},
      // Buffered: a repeated field is found only after the syntax check.
      {edits, R"([{"type":"delete_shape","slide_index":0,"slide_index":}])",
       "expected value at line 1 column 55"},
      // Straight: the repeated key is refused before its value is read.
      {placeholders, R"([{"placeholder_type":null,"placeholder_type":}])",
       "duplicate field `placeholder_type` at line 1 column 44"},
  });
  // The bogus-tag message above carries the position of the tag, not of the later fault.
  EXPECT_NE(edits(R"([{"type":"bogus","x":@}])").find("at line 1 column 16"), std::string::npos);
}

// ---- Kind readers: keys, lengths, defaults ----

TEST(JsonInEditKinds, ObjectFormKeys) {
  const auto message = [](std::string text, std::size_t column) {
    return text + " at line 1 column " + std::to_string(column);
  };
  std::vector<Case> cases;
  const auto add = [&](std::string json, std::string text) {
    cases.push_back({edits, json, message(text, json.size())});
  };
  add(R"([{"type":"delete_shape"}])", "missing field `slide_index`");
  add(R"([{"type":"delete_shape","shape_index":1}])", "missing field `slide_index`");
  add(R"([{"type":"delete_shape","slide_index":0,"shape_index":1,"slide_index":0}])",
      "duplicate field `slide_index`");
  add(R"([{"type":"delete_group_shape_child","slide_index":0,"child_shape_id":7}])",
      "missing field `group_shape_id`");
  add(R"([{"type":"set_shape_text","slide_index":0,"shape_index":0,"text":"x"}])",
      "missing field `replacement`");
  add(R"([{"type":"set_paragraph_text","replacement":5}])",
      "invalid type: integer `5`, expected a string");
  add(R"([{"type":"set_group_shape_child_run_text","slide_index":0,"group_index":0,"paragraph_index":0,"replacement":""}])",
      "missing field `child_index`");
  add(R"([{"type":"set_text_run_formatting","slide_index":0,"run_index":0,"set_bold":true,"set_italic":true,"set_underline":true,"set_name":true}])",
      "missing field `set_size`");
  add(R"([{"type":"set_text_run_formatting","slide_index":0,"run_index":0,"set_bold":null}])",
      "invalid type: null, expected a boolean");
  add(R"([{"type":"set_paragraph_properties","slide_index":0,"shape_index":0,"paragraph_index":0,"set_alignment":false,"set_level":false}])",
      "missing field `level`");
  add(R"([{"type":"set_paragraph_properties","slide_index":0,"shape_index":0,"paragraph_index":0,"set_level":false}])",
      "missing field `set_alignment`");
  add(R"([{"type":"set_paragraph_font_properties","slide_index":0,"shape_index":0,"paragraph_index":0,"set_italic":true,"set_underline":true,"set_size":true}])",
      "missing field `set_bold`");
  add(R"([{"type":"set_paragraph_font_properties","set_language":null}])",
      "invalid type: null, expected a boolean");
  add(R"([{"type":"set_shape_geometry","slide_index":0,"shape_index":0,"x_emu":0,"cx_emu":0}])",
      "missing field `y_emu`");
  add(R"([{"type":"set_shape_geometry","x_emu":10.5}])",
      "invalid type: floating point `10.5`, expected i64");
  add(R"([{"type":"set_text_frame_properties","slide_index":0,"shape_index":0,"properties":{},"properties":{}}])",
      "duplicate field `properties`");
  add(R"([{"type":"set_table_cell_merge","slide_index":0,"table_index":0,"row_min":0,"col_min":0,"col_max":0}])",
      "missing field `row_max`");
  add(R"([{"type":"set_table_cell_merge","paragraphs":null}])",
      "invalid type: null, expected a sequence");
  add(R"([{"type":"set_table_cell_merge","paragraphs":["a",1]}])",
      "invalid type: integer `1`, expected a string");
  add(R"([{"type":"set_table_style_flags","slide_index":0,"table_index":0}])",
      "missing field `flags`");
  add(R"([{"type":"set_table_style_flags","flags":[]}])", "invalid type: sequence, expected a map");
  add(R"([{"type":"insert_table_column","slide_index":0,"table_index":0,"row_index":1}])",
      "missing field `col_index`");
  add(R"([{"type":"reorder_slides","slide_indices":null}])",
      "invalid type: null, expected a sequence");
  add(R"([{"type":"reorder_slides","slide_indices":[0,-1]}])",
      "invalid value: integer `-1`, expected usize");
  add(R"([{"type":"set_text_run_font_size","size":9223372036854775808}])",
      "invalid value: integer `9223372036854775808`, expected i64");
  expect_cases(cases);
}

TEST(JsonInEditKinds, UnknownKeysAreIgnoredWhateverTheyHold) {
  const EditOperation expected = edit::DeleteShape{2, 3};
  EXPECT_EQ(
      only_edit(
          R"([{"note":null,"shape_index":3,"type":"delete_shape","note":{"x":[-1.5,"y"]},"Slide_index":"z","slide_index":2,"run_index":-7}])"),
      expected);
  const EditOperation bold_none = edit::SetTextRunBold{0, 1, std::nullopt};
  EXPECT_EQ(
      only_edit(R"([{"type":"set_text_run_bold","slide_index":0,"run_index":1,"Bold":true}])"),
      bold_none);
  EXPECT_EQ(
      only_edit(R"([{"type":"set_text_run_bold","slide_index":0,"run_index":1,"bold":null}])"),
      bold_none);
  EXPECT_EQ(
      edits(
          R"([{"type":"set_text_run_bold","slide_index":0,"run_index":1,"bold":null,"bold":null}])"),
      "duplicate field `bold` at line 1 column 84");
}

TEST(JsonInEditKinds, ArrayFormLengthsAndDefaultedTails) {
  const std::string formatting12 =
      R"("set_text_run_formatting",0,0,true,null,false,null,true,true,false,null,true,"Arial")";
  const std::string font13 =
      R"("set_paragraph_font_properties",0,0,0,true,true,false,null,false,null,true,5,false,null)";
  const std::string properties7 = R"("set_paragraph_properties",0,0,0,true,"ctr",false,0)";
  const std::string merge7 = R"("set_table_cell_merge",0,0,0,1,0,1,"merge")";
  struct LengthCase {
    std::string inner;
    std::string expected;  // "ok" or the message without its position
  };
  const std::vector<LengthCase> table = {
      {formatting12, "ok"},
      {formatting12 + ",true", "ok"},
      {formatting12 + ",true,\"FF0000\"", "ok"},
      {R"("set_text_run_formatting",0,0,true,null,false,null,true,true,false,null,true)",
       "invalid length 11, expected struct variant EditOperation::SetTextRunFormatting with 14 "
       "elements"},
      {formatting12 + ",true,null,1", "invalid length 15, expected 14 elements in sequence"},
      {formatting12 + ",null", "invalid type: null, expected a boolean"},
      {font13, "ok"},
      {font13 + ",true,\"00FF00\",true", "ok"},
      {R"("set_paragraph_font_properties",0,0,0,true,true,false,null,false,null,true,5,false)",
       "invalid length 12, expected struct variant EditOperation::SetParagraphFontProperties "
       "with 19 elements"},
      {font13 + ",false,null,false,null,false,null,0",
       "invalid length 20, expected 19 elements in sequence"},
      {properties7, "ok"},
      {properties7 + ",{}", "ok"},
      {R"("set_paragraph_properties",0,0,0,true,null,false)",
       "invalid length 6, expected struct variant EditOperation::SetParagraphProperties with 8 "
       "elements"},
      // Leaving out the alignment shifts the later values onto the wrong fields.
      {R"("set_paragraph_properties",0,0,0,true,false,0,{})",
       "invalid type: boolean `false`, expected a string"},
      {properties7 + ",{},1", "invalid length 9, expected 8 elements in sequence"},
      {R"("set_text_frame_properties",0,0)", "ok"},
      {R"("set_text_frame_properties",0)",
       "invalid length 1, expected struct variant EditOperation::SetTextFrameProperties with 3 "
       "elements"},
      {R"("set_text_frame_properties",0,0,{},{})",
       "invalid length 4, expected 3 elements in sequence"},
      {merge7, "ok"},
      {merge7 + ",[\"a\"]", "ok"},
      {merge7 + ",[],1", "invalid length 9, expected 8 elements in sequence"},
      {R"("set_text_run_bold",0,1)",
       "invalid length 2, expected struct variant EditOperation::SetTextRunBold with 3 elements"},
      {R"("set_text_run_bold",0,1,null)", "ok"},
      {R"("insert_table_row")",
       "invalid length 0, expected struct variant EditOperation::InsertTableRow with 3 elements"},
      {R"("delete_table_column",0,0,0,0)", "invalid length 4, expected 3 elements in sequence"},
      // Values are converted before their count is compared; the surplus is not examined.
      {R"("append_text_run",0,0,"x","t",5)", "invalid type: string \"x\", expected usize"},
      {R"("set_shape_text",0,1,"x",@)", "expected value"},
      {R"("set_shape_text",0,1,"x",{"deep":[-1]})",
       "invalid length 4, expected 3 elements in sequence"},
  };
  for (const auto& row : table) {
    const std::string json = "[[" + row.inner + "]]";
    std::string result = edits(json);
    if (row.expected != "ok" && row.expected != "expected value") {
      EXPECT_EQ(result, row.expected + " at line 1 column " + std::to_string(json.size())) << json;
    } else if (row.expected == "ok") {
      EXPECT_EQ(result, "ok") << json;
    } else {
      EXPECT_EQ(result.substr(0, row.expected.size()), row.expected) << json;
    }
  }
  auto defaults = parse_edit_list("[[" + formatting12 + "],[" + font13 + ",true,\"00FF00\",true]]");
  ASSERT_TRUE(defaults);
  const auto& formatting = std::get<edit::SetTextRunFormatting>((*defaults)[0]);
  EXPECT_FALSE(formatting.set_color);
  EXPECT_EQ(formatting.color, std::nullopt);
  EXPECT_EQ(formatting.name, "Arial");
  const auto& font = std::get<edit::SetParagraphFontProperties>((*defaults)[1]);
  EXPECT_TRUE(font.set_color);
  EXPECT_EQ(font.color, "00FF00");
  EXPECT_TRUE(font.set_fill_type);
  EXPECT_EQ(font.fill_type, std::nullopt);
  EXPECT_FALSE(font.set_language);
}

// One accepted sample of each of the 30 kinds, in object form (keys shuffled, "type" anywhere)
// and array form, both giving the same record.
TEST(JsonInEditKinds, EveryKindIsReadInBothForms) {
  ParagraphSpacingPatch spacing;
  spacing.line_spacing = ParagraphSpacingValue::proportional(1.5);
  spacing.space_after = ParagraphSpacingValue::clear();
  TextFramePropertiesPatch frame;
  frame.margins = {{"bIns", -5}, {"lIns", 91440}};
  frame.set_word_wrap = true;
  frame.word_wrap = "none";
  frame.set_auto_size = true;

  struct KindCase {
    std::string object;
    std::string array;
    EditOperation expected;
  };
  const std::vector<KindCase> table = {
      {R"({"slide_indices":[2,0,1],"type":"reorder_slides"})", R"(["reorder_slides",[2,0,1]])",
       edit::ReorderSlides{{2, 0, 1}}},
      {R"({"type":"delete_shape","shape_index":4,"slide_index":1})", R"(["delete_shape",1,4])",
       edit::DeleteShape{1, 4}},
      {R"({"child_shape_id":7,"slide_index":0,"type":"delete_group_shape_child","group_shape_id":5})",
       R"(["delete_group_shape_child",0,5,7])", edit::DeleteGroupShapeChild{0, 5, 7}},
      {R"({"type":"set_shape_text","slide_index":0,"shape_index":1,"replacement":"Hi"})",
       R"(["set_shape_text",0,1,"Hi"])", edit::SetShapeText{0, 1, "Hi"}},
      {R"({"replacement":"","child_index":2,"group_index":1,"slide_index":0,"type":"set_group_shape_child_text"})",
       R"(["set_group_shape_child_text",0,1,2,""])", edit::SetGroupShapeChildText{0, 1, 2, ""}},
      {R"({"type":"set_group_shape_child_paragraph_text","slide_index":0,"group_index":1,"child_index":2,"paragraph_index":3,"replacement":"p"})",
       R"(["set_group_shape_child_paragraph_text",0,1,2,3,"p"])",
       edit::SetGroupShapeChildParagraphText{0, 1, 2, 3, "p"}},
      {R"({"type":"set_group_shape_child_run_text","slide_index":0,"group_index":1,"child_index":2,"paragraph_index":3,"run_index":4,"replacement":"r"})",
       R"(["set_group_shape_child_run_text",0,1,2,3,4,"r"])",
       edit::SetGroupShapeChildRunText{0, 1, 2, 3, 4, "r"}},
      {R"({"type":"set_paragraph_text","slide_index":0,"shape_index":1,"paragraph_index":2,"replacement":"x"})",
       R"(["set_paragraph_text",0,1,2,"x"])", edit::SetParagraphText{0, 1, 2, "x"}},
      {R"({"type":"replace_text_run","slide_index":1,"run_index":18446744073709551615,"replacement":"é"})",
       R"(["replace_text_run",1,18446744073709551615,"é"])",
       edit::ReplaceTextRun{1, UINT64_MAX, "é"}},
      {R"({"type":"set_text_run_bold","slide_index":0,"run_index":1,"bold":true})",
       R"(["set_text_run_bold",0,1,true])", edit::SetTextRunBold{0, 1, true}},
      {R"({"type":"set_text_run_italic","slide_index":0,"run_index":1,"italic":false})",
       R"(["set_text_run_italic",0,1,false])", edit::SetTextRunItalic{0, 1, false}},
      {R"({"type":"set_text_run_underline","slide_index":0,"run_index":1})",
       R"(["set_text_run_underline",0,1,null])", edit::SetTextRunUnderline{0, 1, std::nullopt}},
      {R"({"type":"set_text_run_font_size","slide_index":0,"run_index":1,"size":-254000})",
       R"(["set_text_run_font_size",0,1,-254000])", edit::SetTextRunFontSize{0, 1, -254000}},
      {R"({"type":"set_text_run_font_name","slide_index":0,"run_index":1,"name":""})",
       R"(["set_text_run_font_name",0,1,""])", edit::SetTextRunFontName{0, 1, ""}},
      {R"({"type":"set_text_run_formatting","slide_index":0,"run_index":1,"set_bold":true,"bold":true,"set_italic":false,"set_underline":true,"underline":null,"set_size":true,"size":0,"set_name":false,"name":"Arial","set_color":true,"color":"FF0000"})",
       R"(["set_text_run_formatting",0,1,true,true,false,null,true,null,true,0,false,"Arial",true,"FF0000"])",
       edit::SetTextRunFormatting{0, 1, true, true, false, std::nullopt, true, std::nullopt, true,
                                  0, false, "Arial", true, "FF0000"}},
      {R"({"type":"append_paragraph_text","slide_index":0,"shape_index":1,"text":"t"})",
       R"(["append_paragraph_text",0,1,"t"])", edit::AppendParagraphText{0, 1, "t"}},
      {R"({"type":"append_text_run","slide_index":0,"shape_index":1,"paragraph_index":2,"text":"t"})",
       R"(["append_text_run",0,1,2,"t"])", edit::AppendTextRun{0, 1, 2, "t"}},
      {R"({"type":"insert_paragraph_line_break","slide_index":0,"shape_index":1,"paragraph_index":2,"run_slot":3})",
       R"(["insert_paragraph_line_break",0,1,2,3])", edit::InsertParagraphLineBreak{0, 1, 2, 3}},
      {R"({"type":"set_paragraph_properties","slide_index":0,"shape_index":1,"paragraph_index":2,"set_alignment":true,"alignment":"ctr","set_level":false,"level":3,"spacing":{"space_after":{"value":9,"kind":"clear"},"line_spacing":{"kind":"multiple","value":1.5}}})",
       R"(["set_paragraph_properties",0,1,2,true,"ctr",false,3,[["multiple",1.5],null,[0]]])",
       edit::SetParagraphProperties{0, 1, 2, true, "ctr", false, 3, spacing}},
      {R"({"type":"set_paragraph_font_properties","slide_index":0,"shape_index":1,"paragraph_index":2,"set_bold":true,"set_italic":false,"set_underline":false,"set_size":true,"size":2400,"set_name":false,"set_language":true,"language_id":"de-DE"})",
       R"(["set_paragraph_font_properties",0,1,2,true,null,false,null,false,null,true,2400,false,null,false,null,false,null,true,"de-DE"])",
       edit::SetParagraphFontProperties{0, 1, 2, true, std::nullopt, false, std::nullopt, false,
                                        std::nullopt, true, 2400, false, std::nullopt, false,
                                        std::nullopt, false, std::nullopt, true, "de-DE"}},
      {R"({"type":"set_shape_geometry","slide_index":0,"shape_index":1,"x_emu":-5,"y_emu":6,"cx_emu":0,"cy_emu":8})",
       R"(["set_shape_geometry",0,1,-5,6,0,8])", edit::SetShapeGeometry{0, 1, -5, 6, 0, 8}},
      {R"({"type":"set_group_shape_child_geometry","slide_index":0,"group_index":1,"child_index":2,"x_emu":3,"y_emu":4,"cx_emu":5,"cy_emu":6})",
       R"(["set_group_shape_child_geometry",0,1,2,3,4,5,6])",
       edit::SetGroupShapeChildGeometry{0, 1, 2, 3, 4, 5, 6}},
      {R"({"type":"set_text_frame_properties","slide_index":0,"shape_index":1,"properties":{"set_auto_size":true,"margins":{"lIns":1,"bIns":-5,"lIns":91440},"set_word_wrap":true,"word_wrap":"none"}})",
       R"(["set_text_frame_properties",0,1,[{"bIns":-5,"lIns":91440},true,"none",false,null,true]])",
       edit::SetTextFrameProperties{0, 1, frame}},
      {R"({"type":"replace_table_cell_text","slide_index":0,"table_index":1,"row_index":2,"col_index":3,"replacement":"c"})",
       R"(["replace_table_cell_text",0,1,2,3,"c"])", edit::ReplaceTableCellText{0, 1, 2, 3, "c"}},
      {R"({"type":"set_table_cell_merge","slide_index":0,"table_index":1,"row_min":3,"row_max":1,"col_min":0,"col_max":2,"kind":"other","paragraphs":["a","b"]})",
       R"(["set_table_cell_merge",0,1,3,1,0,2,"other",["a","b"]])",
       edit::SetTableCellMerge{0, 1, 3, 1, 0, 2, "other", {"a", "b"}}},
      {R"({"type":"set_table_style_flags","slide_index":0,"table_index":1,"flags":{"lastRow":true,"bandCol":false,"firstRow":true,"firstRow":false,"FirstRow":true}})",
       R"(["set_table_style_flags",0,1,{"FirstRow":true,"bandCol":false,"firstRow":false,"lastRow":true}])",
       edit::SetTableStyleFlags{
           0, 1, {{"FirstRow", true}, {"bandCol", false}, {"firstRow", false}, {"lastRow", true}}}},
      {R"({"type":"insert_table_row","slide_index":0,"table_index":1,"row_index":2})",
       R"(["insert_table_row",0,1,2])", edit::InsertTableRow{0, 1, 2}},
      {R"({"type":"delete_table_row","slide_index":0,"table_index":1,"row_index":2})",
       R"(["delete_table_row",0,1,2])", edit::DeleteTableRow{0, 1, 2}},
      {R"({"type":"insert_table_column","slide_index":0,"table_index":1,"col_index":2})",
       R"(["insert_table_column",0,1,2])", edit::InsertTableColumn{0, 1, 2}},
      {R"({"type":"delete_table_column","slide_index":0,"table_index":1,"col_index":2})",
       R"(["delete_table_column",0,1,2])", edit::DeleteTableColumn{0, 1, 2}},
  };
  ASSERT_EQ(table.size(), 30u);
  std::string whole = "[";
  for (std::size_t i = 0; i < table.size(); ++i) {
    EXPECT_EQ(table[i].expected.index(), i);
    EXPECT_EQ(only_edit("[" + table[i].object + "]"), table[i].expected) << table[i].object;
    EXPECT_EQ(only_edit("[" + table[i].array + "]"), table[i].expected) << table[i].array;
    whole += table[i].object + ",\n" + table[i].array + (i + 1 < table.size() ? ",\n" : "]");
  }
  // The list keeps every edit in the order given.
  auto all = parse_edit_list(whole);
  ASSERT_TRUE(all) << all.error().text();
  ASSERT_EQ(all->size(), 60u);
  for (std::size_t i = 0; i < all->size(); ++i) EXPECT_EQ((*all)[i], table[i / 2].expected);
  EXPECT_EQ((*all)[59].tag(), "delete_table_column");
}

// ---- Nested records: spacing values and patches, text-frame patches ----

TEST(JsonInNestedRecords, SpacingValuesAndPatches) {
  const std::string head =
      R"([{"type":"set_paragraph_properties","slide_index":0,"shape_index":0,"paragraph_index":0,"set_alignment":false,"set_level":false,"level":0,"spacing":)";
  const auto spacing = [&](std::string value) { return head + value + "}]"; };
  const auto fails = [&](std::string value, std::string message) {
    const std::string json = spacing(value);
    EXPECT_EQ(edits(json), message + " at line 1 column " + std::to_string(json.size())) << value;
  };
  const auto line = [&](std::string value) {
    auto result = parse_edit_list(spacing(R"({"line_spacing":)" + value + "}"));
    EXPECT_TRUE(result) << value << ": " << (result ? "" : result.error().text());
    return result ? std::get<edit::SetParagraphProperties>(result->front()).spacing.line_spacing
                  : std::nullopt;
  };
  EXPECT_EQ(line(R"({"kind":"emu","value":914400})"), ParagraphSpacingValue::exact(914400));
  EXPECT_EQ(line(R"({"value":914400,"kind":"emu"})"), ParagraphSpacingValue::exact(914400));
  EXPECT_EQ(line(R"({"kind":1,"value":-12700})"), ParagraphSpacingValue::exact(-12700));
  EXPECT_EQ(line(R"([2,1.5])"), ParagraphSpacingValue::proportional(1.5));
  EXPECT_EQ(line(R"(["multiple",1])"), ParagraphSpacingValue::proportional(1.0));
  EXPECT_EQ(line(R"({"kind":"clear","value":"anything","value":1})"),
            ParagraphSpacingValue::clear());
  EXPECT_EQ(line("null"), std::nullopt);

  const std::string tags = "one of `clear`, `emu`, `multiple`";
  fails(R"({"line_spacing":{"kind":"Emu","value":1}})", "unknown variant `Emu`, expected " + tags);
  fails(R"({"line_spacing":{"kind":3}})",
        "invalid value: integer `3`, expected variant index 0 <= i < 3");
  for (const auto& [tag, what] : std::vector<std::pair<std::string, std::string>>{
           {"-1", "integer `-1`"},
           {"1.0", "floating point `1.0`"},
           {"18446744073709551616", "floating point `1.8446744073709552e+19`"},
           {"true", "boolean `true`"},
           {"null", "null"},
           {"[0]", "sequence"}}) {
    fails(R"({"line_spacing":{"kind":)" + tag + "}}",
          "invalid type: " + what + ", expected variant identifier");
  }
  fails(R"({"line_spacing":{"kind":"emu","kind":"emu","value":1}})", "duplicate field `kind`");
  fails(R"({"line_spacing":{"value":1}})", "missing field `kind`");
  fails(R"({"line_spacing":[]})", "missing field `kind`");
  fails(R"({"line_spacing":{"kind":"emu"}})", "missing field `value`");
  fails(R"({"line_spacing":{"kind":"emu","value":1,"value":2}})", "duplicate field `value`");
  fails(R"({"line_spacing":{"kind":"emu","value":1.5}})",
        "invalid type: floating point `1.5`, expected i64");
  fails(R"({"line_spacing":{"kind":"emu","value":914400.0}})",
        "invalid type: floating point `914400.0`, expected i64");
  fails(R"({"line_spacing":{"kind":"multiple","value":"1"}})",
        "invalid type: string \"1\", expected f64");
  fails(R"({"line_spacing":["clear",1]})", "invalid length 1, expected 0 elements in sequence");
  fails(R"({"line_spacing":["emu"]})",
        "invalid length 0, expected struct variant ParagraphSpacingValue::Emu with 1 element");
  fails(R"({"line_spacing":["emu",1,2]})", "invalid length 2, expected 1 element in sequence");
  fails(R"({"line_spacing":"emu"})",
        "invalid type: string \"emu\", expected internally tagged enum ParagraphSpacingValue");
  fails(R"({"line_spacing":null,"line_spacing":null})", "duplicate field `line_spacing`");
  fails("[null,null,null,null]", "invalid length 4, expected 3 elements in sequence");
  fails("null", "invalid type: null, expected struct ParagraphSpacingPatch");
  fails("\"x\"", "invalid type: string \"x\", expected struct ParagraphSpacingPatch");

  for (const std::string empty : {"{}", "[]", R"({"Line_spacing":{"kind":"bogus"}})"}) {
    auto result = parse_edit_list(spacing(empty));
    ASSERT_TRUE(result) << empty;
    EXPECT_EQ(std::get<edit::SetParagraphProperties>(result->front()).spacing,
              ParagraphSpacingPatch{});
  }
}

TEST(JsonInNestedRecords, TextFramePatch) {
  const std::string head =
      R"([{"type":"set_text_frame_properties","slide_index":0,"shape_index":0)";
  const auto read = [&](std::string properties) {
    return parse_edit_list(head + R"(,"properties":)" + properties + "}]");
  };
  const auto fails = [&](std::string properties, std::string message) {
    const std::string json = head + R"(,"properties":)" + properties + "}]";
    EXPECT_EQ(edits(json), message + " at line 1 column " + std::to_string(json.size()))
        << properties;
  };
  for (const std::string empty : {"{}", "[]"}) {
    auto result = read(empty);
    ASSERT_TRUE(result);
    EXPECT_EQ(std::get<edit::SetTextFrameProperties>(result->front()).properties,
              TextFramePropertiesPatch{});
  }
  auto absent = parse_edit_list(head + "}]");
  ASSERT_TRUE(absent);
  EXPECT_EQ(std::get<edit::SetTextFrameProperties>(absent->front()).properties,
            TextFramePropertiesPatch{});

  auto margins = read(R"({"margins":{"tIns":3,"bIns":0,"lIns":-1,"bIns":2},"word_wrap":"square"})");
  ASSERT_TRUE(margins);
  const auto& patch = std::get<edit::SetTextFrameProperties>(margins->front()).properties;
  EXPECT_EQ(patch.margins,
            (std::map<std::string, std::int64_t>{{"bIns", 2}, {"lIns", -1}, {"tIns", 3}}));
  EXPECT_FALSE(patch.set_word_wrap);
  EXPECT_EQ(patch.word_wrap, "square");

  fails("null", "invalid type: null, expected struct TextFramePropertiesPatch");
  fails(R"({"set_auto_size":null})", "invalid type: null, expected a boolean");
  fails(R"({"margins":{},"margins":{}})", "duplicate field `margins`");
  fails(R"({"margins":null})", "invalid type: null, expected a map");
  fails(R"({"margins":[]})", "invalid type: sequence, expected a map");
  fails(R"({"margins":{"lIns":1.5}})", "invalid type: floating point `1.5`, expected i64");
  fails(R"({"margins":{"lIns":"1"}})", "invalid type: string \"1\", expected i64");
  fails(R"({"margins":{"lIns":9223372036854775808}})",
        "invalid value: integer `9223372036854775808`, expected i64");
  fails(R"({"vertical_anchor":5})", "invalid type: integer `5`, expected a string");
  fails(R"([{},true,"x",false,null,false,null,null])",
        "invalid length 8, expected 7 elements in sequence");
}

// ---- Freeform path steps (buffered like edits) ----

TEST(JsonInFreeformPaths, StepsAndFaults) {
  auto steps = parse_freeform_operations(
      R"([{"x":1,"y":2,"type":"move_to"},["line_to",5,-7],{"type":"close","x":"ignored"},["close"],{"type":"move_to","x":-9223372036854775808,"y":0}])");
  ASSERT_TRUE(steps) << steps.error().text();
  EXPECT_EQ(*steps, (std::vector<FreeformPathOperation>{
                        FreeformPathOperation::move_to(1, 2), FreeformPathOperation::line_to(5, -7),
                        FreeformPathOperation::close(), FreeformPathOperation::close(),
                        FreeformPathOperation::move_to(INT64_MIN, 0)}));
  expect_cases({
      {paths, R"([{"type":"move_to","x":1}])", "missing field `y` at line 1 column 26"},
      {paths, R"([{"type":"move_to"}])", "missing field `x` at line 1 column 20"},
      {paths, R"([{"type":"move_to","type":"move_to"}])",
       "duplicate field `type` at line 1 column 25"},
      {paths, R"([{"type":"move_to","x":1,"x":2,"y":0}])",
       "duplicate field `x` at line 1 column 38"},
      {paths, R"([{"TYPE":"close"}])", "missing field `type` at line 1 column 17"},
      {paths, "[[]]", "missing field `type` at line 1 column 3"},
      {paths, R"([{"x":"1","type":"Line_to"}])",
       "unknown variant `Line_to`, expected one of `move_to`, `line_to`, `close` at line 1 column "
       "26"},
      {paths, R"([{"type":1}])",
       "invalid type: integer `1`, expected variant identifier at line 1 column 10"},
      {paths, R"(["close"])",
       "invalid type: string \"close\", expected internally tagged enum FreeformPathOperation at "
       "line 1 column 8"},
      {paths, "[null]",
       "invalid type: null, expected internally tagged enum FreeformPathOperation at line 1 "
       "column 5"},
      {paths, R"([["close",1]])",
       "invalid length 1, expected 0 elements in sequence at line 1 column 13"},
      {paths, R"([["line_to",5]])",
       "invalid length 1, expected struct variant FreeformPathOperation::LineTo with 2 elements at "
       "line 1 column 15"},
      {paths, R"([["line_to",5,6,"x"]])",
       "invalid length 3, expected 2 elements in sequence at line 1 column 21"},
      {paths, R"([{"type":"move_to","x":9223372036854775808,"y":0}])",
       "invalid value: integer `9223372036854775808`, expected i64 at line 1 column 50"},
      {paths, R"([{"type":"move_to","x":1.5,"y":0}, ["close"]])",
       "invalid type: floating point `1.5`, expected i64 at line 1 column 35"},
  });
}

// ---- Placeholder specifications (read straight) ----

TEST(JsonInPlaceholderSpecs, RecordsAndFaultsWhereTheReaderStands) {
  auto specs = parse_placeholder_specs(
      R"([{}, {"placeholder_type":"title","other":[1,{"x":null}]}, [null,"vert","half","1"], {"placeholder_idx":null,"Placeholder_type":"x"}])");
  ASSERT_TRUE(specs) << specs.error().text();
  ASSERT_EQ(specs->size(), 4u);
  EXPECT_EQ((*specs)[0], PlaceholderShapeSpec{});
  EXPECT_EQ((*specs)[1].placeholder_type, "title");
  EXPECT_EQ((*specs)[2], (PlaceholderShapeSpec{std::nullopt, "vert", "half", "1"}));
  EXPECT_EQ((*specs)[3], PlaceholderShapeSpec{});
  expect_cases({
      {placeholders, R"([{"placeholder_idx":1}, {}])",
       "invalid type: integer `1`, expected a string at line 1 column 21"},
      {placeholders, R"([{"placeholder_idx":[1]}])",
       "invalid type: sequence, expected a string at line 1 column 20"},
      {placeholders, R"([{"placeholder_size":null, "placeholder_size" : "x"}])",
       "duplicate field `placeholder_size` at line 1 column 46"},
      {placeholders, R"([["a","b","c"]])",
       "invalid length 3, expected struct PlaceholderShapeSpec with 4 elements at line 1 column "
       "14"},
      {placeholders, "[ [ ] ]",
       "invalid length 0, expected struct PlaceholderShapeSpec with 4 elements at line 1 column 5"},
      {placeholders, R"([["a","b","c","d","e"]])", "trailing characters at line 1 column 19"},
      {placeholders, R"([["a","b","c","d" , ]])", "trailing comma at line 1 column 21"},
      {placeholders, R"([["a",5,"c","d","e"]])",
       "invalid type: integer `5`, expected a string at line 1 column 7"},
      {placeholders, R"(["title"])",
       "invalid type: string \"title\", expected struct PlaceholderShapeSpec at line 1 column 8"},
      {placeholders, "[null]",
       "invalid type: null, expected struct PlaceholderShapeSpec at line 1 column 5"},
  });
}

// ---- Tuple forms (read straight) ----

TEST(JsonInTupleForms, GuidesAndCellTexts) {
  auto guide_list = parse_adjustment_guides(R"([["adj",50000],["adj2",-1],["adj",0]])");
  ASSERT_TRUE(guide_list);
  EXPECT_EQ(*guide_list, (std::vector<AdjustmentGuide>{{"adj", 50000}, {"adj2", -1}, {"adj", 0}}));
  auto texts = parse_cell_texts(R"([[0,1,"a"],[2,0,""]])");
  ASSERT_TRUE(texts);
  EXPECT_EQ(*texts, (std::vector<TableCellText>{{0, 1, "a"}, {2, 0, ""}}));
  expect_cases({
      {guides, R"([{"name":"adj","value":1}])",
       "invalid type: map, expected a tuple of size 2 at line 1 column 1"},
      {guides, R"([["adj"]])", "invalid length 1, expected a tuple of size 2 at line 1 column 8"},
      {guides, R"([["adj",1,2]])", "trailing characters at line 1 column 11"},
      {guides, R"([["adj","1"]])", "invalid type: string \"1\", expected i64 at line 1 column 11"},
      {guides, R"([[5,1]])", "invalid type: integer `5`, expected a string at line 1 column 3"},
      {cell_texts, R"([[0,1]])", "invalid length 2, expected a tuple of size 3 at line 1 column 6"},
      {cell_texts, R"([[0,1,"a",4]])", "trailing characters at line 1 column 11"},
      {cell_texts, R"([[0,1,"a",]])", "trailing comma at line 1 column 11"},
      {cell_texts, R"([[-1,0,"x"]])",
       "invalid value: integer `-1`, expected usize at line 1 column 4"},
      {cell_texts, R"([[0,1.0,"x"]])",
       "invalid type: floating point `1.0`, expected usize at line 1 column 7"},
      {cell_texts, R"(["row"])",
       "invalid type: string \"row\", expected a tuple of size 3 at line 1 column 6"},
  });
}

TEST(JsonInTupleForms, WorkbookCellKinds) {
  auto updates = parse_workbook_cells(
      R"([["A1","n","1e3"],["B2","s",""],["C3","e","dropped"],["A1","n","x"]])");
  ASSERT_TRUE(updates);
  EXPECT_EQ(*updates, (std::vector<WorkbookCellUpdate>{{"A1", WorkbookCellValue::number("1e3")},
                                                       {"B2", WorkbookCellValue::string("")},
                                                       {"C3", WorkbookCellValue::clear()},
                                                       {"A1", WorkbookCellValue::number("x")}}));
  for (const std::string kind : {"N", "", "ss", "b", "\u00e9"}) {
    const auto result = parse_workbook_cells(R"([["A1","s","x"],["A2",")" + kind + R"(","1"]])");
    ASSERT_FALSE(result);
    EXPECT_FALSE(result.error().has_position);
    EXPECT_EQ(result.error().text(), "unsupported workbook cell kind: " + kind);
  }
  // The kinds are checked once the whole text has been read.
  EXPECT_EQ(cells(R"([["A1","x","1"],["A2","n",1]])"),
            "invalid type: integer `1`, expected a string at line 1 column 27");
  EXPECT_EQ(cells(R"([["A1","n"]])"),
            "invalid length 2, expected a tuple of size 3 at line 1 column 11");
  EXPECT_EQ(cells(R"([["A1","n","1","x"]])"), "trailing characters at line 1 column 16");
}

}  // namespace
}  // namespace pelvane
