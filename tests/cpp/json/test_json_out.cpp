#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "core/json/json_out.hpp"
#include "core/model/models.hpp"

namespace pelvane {
namespace {

struct Leaf {
  std::vector<std::vector<std::int64_t>> grid;
  template <class V>
  void visit(V& v) const {
    v.field("grid", grid);
  }
};

struct Root {
  std::string path;
  std::vector<Leaf> leaves;
  std::optional<std::string> note;
  std::optional<Leaf> extra;
  template <class V>
  void visit(V& v) const {
    v.field("path", path);
    v.field("leaves", leaves);
    v.field("note", note);
    v.field("extra", extra);
  }
};

struct Empty {
  template <class V>
  void visit(V&) const {}
};

struct Scalars {
  std::string text;
  std::uint64_t big = 0;
  std::int64_t negative = 0;
  bool flag = false;
  std::vector<std::optional<bool>> maybe;
  template <class V>
  void visit(V& v) const {
    v.field("text", text);
    v.field("big", big);
    v.field("negative", negative);
    v.field("flag", flag);
    v.field("maybe", maybe);
  }
};

TEST(JsonOut, EmptyManifestMatchesTheDocumentedText) {
  const auto text = to_json(PackageManifest{.path = "deck.pptx", .parts = {}});
  ASSERT_TRUE(text);
  EXPECT_EQ(*text, "{\n  \"path\": \"deck.pptx\",\n  \"parts\": []\n}");
}

TEST(JsonOut, ManifestRecordsAreIndentedInsideTheList) {
  PackageManifest manifest{
      .path = "d.pptx",
      .parts = {{.name = "a.xml", .size = 3, .sha256 = "ab", .kind = PartKind::Xml},
                {.name = "ppt/vbaProject.bin", .size = 0, .sha256 = "cd", .kind = PartKind::Vba}}};
  EXPECT_EQ(*to_json(manifest),
            "{\n"
            "  \"path\": \"d.pptx\",\n"
            "  \"parts\": [\n"
            "    {\n"
            "      \"name\": \"a.xml\",\n"
            "      \"size\": 3,\n"
            "      \"sha256\": \"ab\",\n"
            "      \"kind\": \"xml\"\n"
            "    },\n"
            "    {\n"
            "      \"name\": \"ppt/vbaProject.bin\",\n"
            "      \"size\": 0,\n"
            "      \"sha256\": \"cd\",\n"
            "      \"kind\": \"vba\"\n"
            "    }\n"
            "  ]\n"
            "}");
  EXPECT_TRUE(manifest.has_vba());
  manifest.parts.pop_back();
  EXPECT_FALSE(manifest.has_vba());
}

TEST(JsonOut, FiveLevelsNestAndAbsentValuesAreNull) {
  const Root root{
      .path = "p", .leaves = {{.grid = {{1, -2}, {}}}}, .note = std::nullopt, .extra = Leaf{}};
  EXPECT_EQ(*to_json(root),
            "{\n"
            "  \"path\": \"p\",\n"
            "  \"leaves\": [\n"
            "    {\n"
            "      \"grid\": [\n"
            "        [\n"
            "          1,\n"
            "          -2\n"
            "        ],\n"
            "        []\n"
            "      ]\n"
            "    }\n"
            "  ],\n"
            "  \"note\": null,\n"
            "  \"extra\": {\n"
            "    \"grid\": []\n"
            "  }\n"
            "}");
  EXPECT_EQ(*to_json(Empty{}), "{}");
}

TEST(JsonOut, EscapesOnlyQuoteBackslashAndControlCharacters) {
  struct Case {
    std::string input;
    std::string written;
  };
  const Case cases[] = {
      {"say \"hi\"", R"("say \"hi\"")"},
      {"C:\\dir", R"("C:\\dir")"},
      {"\b\t\n\f\r", R"("\b\t\n\f\r")"},
      {std::string("\x00\x01\x0b\x1f", 4), R"("\u0000\u0001\u000b\u001f")"},
      {"a/b\x7f", "\"a/b\x7f\""},
      {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
       "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
      {"<&>'", "\"<&>'\""},
  };
  for (const Case& c : cases) {
    JsonWriter writer;
    writer.write_string(c.input);
    EXPECT_EQ(writer.take(), c.written) << c.input;
  }
}

// Long strings are tested many bytes at a time: a byte that needs an escape must be found at
// every position of a block and in the bytes after the last whole block, and bytes from 0x20
// up (0x7F and 0x80..0xFF included) must pass untouched.
TEST(JsonOut, EscapesAtEveryPositionOfALongString) {
  const std::string specials[] = {"\"", "\\", std::string(1, '\0'), "\x1f", "\n"};
  const std::string escaped[] = {R"(\")", R"(\\)", R"(\u0000)", R"(\u001f)", R"(\n)"};
  for (std::size_t length = 1; length <= 40; ++length) {
    for (std::size_t at = 0; at < length; ++at) {
      for (std::size_t k = 0; k < std::size(specials); ++k) {
        std::string input(length, ' ');
        for (std::size_t i = 0; i < length; ++i) input[i] = "a \x7f\xc3\xa9~"[i % 6];
        input.replace(at, 1, specials[k]);
        const std::string expected =
            '"' + input.substr(0, at) + escaped[k] + input.substr(at + 1) + '"';
        JsonWriter writer;
        writer.write_string(input);
        ASSERT_EQ(writer.take(), expected) << "length " << length << " at " << at;
      }
    }
  }
}

TEST(JsonOut, WritesScalarsAndNeverEndsWithALineBreak) {
  const Scalars scalars{.text = "",
                        .big = UINT64_MAX,
                        .negative = INT64_MIN,
                        .flag = true,
                        .maybe = {true, std::nullopt, false}};
  const auto text = *to_json(scalars);
  EXPECT_EQ(text,
            "{\n"
            "  \"text\": \"\",\n"
            "  \"big\": 18446744073709551615,\n"
            "  \"negative\": -9223372036854775808,\n"
            "  \"flag\": true,\n"
            "  \"maybe\": [\n"
            "    true,\n"
            "    null,\n"
            "    false\n"
            "  ]\n"
            "}");
}

TEST(JsonOut, RefusesAPathThatIsNotUtf8) {
  const auto bad = to_json(PackageManifest{.path = "deck\xff.pptx", .parts = {}});
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error(), "path contains invalid UTF-8 characters");
  // Only the path is checked; other texts are built as UTF-8 by the engine.
  EXPECT_TRUE(to_json(PackageManifest{.path = "deck\xc3\xa9.pptx", .parts = {}}));
  for (const char* invalid : {"\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82"}) {
    EXPECT_FALSE(is_valid_utf8(invalid)) << invalid;
  }
}

}  // namespace
}  // namespace pelvane
