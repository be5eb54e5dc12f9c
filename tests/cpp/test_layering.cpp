// The engine's folders form floors, and an include may only point to a lower floor or to the
// same folder. Folders on one floor do not include each other: the function families are
// independent of one another, and only the edit batch, one floor up, uses them.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::map<std::string, int>& floors() {
  static const std::map<std::string, int> kFloors = {
      {"base", 0},    {"model", 1}, {"json", 2},    {"xml", 2},      {"zip", 2},
      {"package", 3}, {"pml", 3},   {"inspect", 4}, {"shapes", 4},   {"slides", 4},
      {"media", 4},   {"text", 4},  {"tables", 4},  {"workbook", 4}, {"batch", 5},
  };
  return kFloors;
}

// "" when the include is allowed, else why not.
std::string check_include(const std::string& from, const std::string& to) {
  if (from == to) return "";
  const auto& known = floors();
  const auto from_floor = known.find(from);
  const auto to_floor = known.find(to);
  if (from_floor == known.end()) return "folder " + from + " has no floor";
  if (to_floor == known.end()) return "folder " + to + " has no floor";
  if (to_floor->second < from_floor->second) return "";
  if (to_floor->second == from_floor->second) return "folders of one floor include each other";
  return "a lower folder includes a higher one";
}

// Every `#include "core/<folder>/..."` of every file below src/core that breaks the rule.
std::vector<std::string> layering_violations(const fs::path& core) {
  const std::regex include_line(R"(^\s*#\s*include\s+"core/([a-z_]+)/[^"]+")");
  std::vector<std::string> violations;
  for (const auto& entry : fs::recursive_directory_iterator(core)) {
    if (!entry.is_regular_file()) continue;
    const fs::path relative = fs::relative(entry.path(), core);
    if (relative.begin() == relative.end() || std::next(relative.begin()) == relative.end()) {
      violations.push_back(relative.string() + ": a source file outside every folder");
      continue;
    }
    const std::string from = relative.begin()->string();
    std::ifstream in(entry.path());
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      std::smatch match;
      if (!std::regex_search(line, match, include_line)) continue;
      const std::string why = check_include(from, match[1]);
      if (!why.empty()) {
        violations.push_back(relative.string() + ":" + std::to_string(number) + ": " + line + " (" +
                             why + ")");
      }
    }
  }
  return violations;
}

TEST(Layering, IncludesPointDownOnly) {
  const auto violations = layering_violations(fs::path(PELVANE_SOURCE_DIR) / "src" / "core");
  std::string report;
  for (const auto& violation : violations) report += violation + "\n";
  EXPECT_TRUE(violations.empty()) << report;
}

TEST(Layering, RuleRefusesUpwardSidewaysAndUnknownFolders) {
  struct Case {
    const char* from;
    const char* to;
    bool allowed;
  };
  const Case cases[] = {
      {"xml", "base", true},      {"shapes", "package", true}, {"batch", "text", true},
      {"text", "text", true},     {"base", "xml", false},      {"package", "shapes", false},
      {"xml", "json", false},     {"shapes", "media", false},  {"package", "pml", false},
      {"gadgets", "base", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(check_include(c.from, c.to).empty(), c.allowed) << c.from << " -> " << c.to;
  }
}

}  // namespace
