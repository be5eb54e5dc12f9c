// Entry names that readers read in different ways are told, each by its stored bytes; names
// that every reader reads alike are not.
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/zip/entry_names.hpp"
#include "core/zip/zip_format.hpp"

namespace pelvane {
namespace {

// A Unicode path field naming `name`, of version 1 (its CRC-32 is not looked at).
std::string unicode_path(std::string_view name) {
  const auto size = static_cast<std::uint16_t>(5 + name.size());
  std::string field("\x75\x70\0\0\x01\0\0\0\0", 9);
  field[2] = static_cast<char>(size & 0xFF);
  field[3] = static_cast<char>(size >> 8);
  return field + std::string(name);
}

TEST(EntryNames, NamesReadInDifferentWaysAreToldByTheirStoredBytes) {
  const std::string differently = ", which readers read in different ways";
  struct Case {
    std::string label;
    std::string name;
    std::uint16_t flags;
    std::string extra;
    std::string failure;  // empty: read alike
  };
  const std::uint16_t utf8 = zip_format::kFlagUtf8Name;
  const std::string other_field = "\x01\x00\x02\x00zz";
  const std::vector<Case> cases = {
      {"ASCII", "ppt/a.xml", 0, "", ""},
      {"a NUL byte", std::string("ppt/a\0b.xml", 11), utf8, "",
       R"(entry name "ppt/a\x00b.xml" holds a NUL byte)"},
      {"a control byte", "ppt/slides/slide\x01.xml", 0, "",
       R"(entry name "ppt/slides/slide\x01.xml" holds a control byte and no UTF-8 flag)"},
      // Names are looked at eight bytes at a time, then the last few one by one.
      {"a control byte in a name's last bytes", "ppt/slides/slide2.x\x1fl", 0, "",
       R"(entry name "ppt/slides/slide2.x\x1fl" holds a control byte and no UTF-8 flag)"},
      {"a control byte under the UTF-8 flag", "ppt/a\x01.xml", utf8, "", ""},
      {"a tab, which no reader reads in code page 437", "ppt/a\tb.xml", 0, "", ""},
      {"bytes past ASCII without the UTF-8 flag", "ppt/slid\xe9.xml", 0, "", ""},
      {"a Unicode path field naming another entry", "ppt/a.xml", 0, unicode_path("ppt/evil.xml"),
       R"(entry name "ppt/a.xml" has a Unicode path field naming it "ppt/evil.xml")"},
      {"a Unicode path field repeating the stored name", "ppt/a.xml", 0,
       other_field + unicode_path("ppt/a.xml"), ""},
      {"a second Unicode path field naming another entry", "ppt/a.xml", 0,
       unicode_path("ppt/a.xml") + unicode_path("ppt/\xc3\xa9.xml"),
       R"(entry name "ppt/a.xml" has a Unicode path field naming it "ppt/\xc3\xa9.xml")"},
      {"a quote and a backslash", std::string("a\"\\\0", 4), 0, "",
       R"(entry name "a\"\\\x00" holds a NUL byte)"},
      {"a long name", std::string(300, 'n') + '\0', 0, "",
       "entry name \"" + std::string(200, 'n') + "...\" holds a NUL byte"},
  };
  for (const Case& c : cases) {
    const auto failure = ambiguous_name_failure(c.name, c.flags, c.extra);
    EXPECT_EQ(failure ? failure->to_string() : "",
              c.failure.empty() ? "" : "zip error: " + c.failure + differently)
        << c.label;
  }
}

}  // namespace
}  // namespace pelvane
