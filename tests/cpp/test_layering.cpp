// The engine's folders form floors, and an include may only point to a lower floor or to the
// same folder. Folders on one floor do not include each other: the function families are
// independent of one another, and only the edit batch, one floor up, uses them. Within a folder,
// files do not include each other in a circle: a source and its header count as one, so that
// two sources that include each other's headers form one too.
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <set>
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

// One `#include "core/..."` line of a file below src/core.
struct Include {
  std::string file;  // below src/core, e.g. "zip/package_archive.cpp"
  int line_number;
  std::string line;
  std::string target;  // below src/core, e.g. "zip/stored_headers.hpp"
};

// A file's path below src/core without its extension: a source and its header are one unit.
std::string unit_of(const fs::path& file) { return fs::path(file).replace_extension().string(); }
std::string folder_of(const fs::path& file) { return file.begin()->string(); }

// Every include of every file below src/core, and the files that lie outside every folder.
std::vector<Include> core_includes(const fs::path& core, std::vector<std::string>& loose_files) {
  const std::regex include_line(R"re(^\s*#\s*include\s+"core/([a-z_]+/[^"]+)")re");
  std::vector<Include> includes;
  for (const auto& entry : fs::recursive_directory_iterator(core)) {
    if (!entry.is_regular_file()) continue;
    const fs::path relative = fs::relative(entry.path(), core);
    if (relative.begin() == relative.end() || std::next(relative.begin()) == relative.end()) {
      loose_files.push_back(relative.string());
      continue;
    }
    std::ifstream in(entry.path());
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
      std::smatch match;
      if (std::regex_search(line, match, include_line))
        includes.push_back({relative.string(), number, line, match[1]});
    }
  }
  return includes;
}

// Every include that breaks the floor rule, and every file outside the folders.
std::vector<std::string> layering_violations(const fs::path& core) {
  std::vector<std::string> loose_files;
  const std::vector<Include> includes = core_includes(core, loose_files);
  std::vector<std::string> violations;
  for (const std::string& file : loose_files)
    violations.push_back(file + ": a source file outside every folder");
  for (const Include& include : includes) {
    const std::string why = check_include(folder_of(include.file), folder_of(include.target));
    if (!why.empty()) {
      violations.push_back(include.file + ":" + std::to_string(include.line_number) + ": " +
                           include.line + " (" + why + ")");
    }
  }
  return violations;
}

using UnitGraph = std::map<std::string, std::set<std::string>>;  // unit -> units it includes

// One circle of includes among the units, as "a -> b -> a"; empty when there is none.
std::string find_include_cycle(const UnitGraph& graph) {
  enum class Mark { Unseen, OnPath, Done };
  std::map<std::string, Mark> marks;
  std::vector<std::string> path;
  const std::function<std::string(const std::string&)> visit = [&](const std::string& unit) {
    marks[unit] = Mark::OnPath;
    path.push_back(unit);
    if (const auto edges = graph.find(unit); edges != graph.end()) {
      for (const std::string& next : edges->second) {
        if (marks[next] == Mark::OnPath) {
          std::string cycle;
          for (auto at = std::find(path.begin(), path.end(), next); at != path.end(); ++at)
            cycle += *at + " -> ";
          return cycle + next;
        }
        if (marks[next] == Mark::Unseen) {
          if (std::string cycle = visit(next); !cycle.empty()) return cycle;
        }
      }
    }
    path.pop_back();
    marks[unit] = Mark::Done;
    return std::string();
  };
  for (const auto& [unit, edges] : graph) {
    if (marks[unit] != Mark::Unseen) continue;
    if (std::string cycle = visit(unit); !cycle.empty()) return cycle;
  }
  return {};
}

TEST(Layering, IncludesPointDownOnly) {
  const auto violations = layering_violations(fs::path(PELVANE_SOURCE_DIR) / "src" / "core");
  std::string report;
  for (const auto& violation : violations) report += violation + "\n";
  EXPECT_TRUE(violations.empty()) << report;
}

TEST(Layering, FilesIncludeEachOtherInNoCircle) {
  std::vector<std::string> loose_files;
  UnitGraph graph;
  for (const Include& include :
       core_includes(fs::path(PELVANE_SOURCE_DIR) / "src" / "core", loose_files)) {
    const std::string from = unit_of(include.file);
    const std::string to = unit_of(include.target);
    if (from != to) graph[from].insert(to);
  }
  EXPECT_EQ(find_include_cycle(graph), "");
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

TEST(Layering, CircleSearchFindsCirclesOfAnyLength) {
  struct Case {
    UnitGraph graph;
    std::string cycle;
  };
  const Case cases[] = {
      {{{"a", {"b", "c"}}, {"b", {"c"}}}, ""},
      {{{"a", {"b"}}, {"b", {"a"}}}, "a -> b -> a"},
      {{{"a", {"b"}}, {"b", {"c"}}, {"c", {"d", "b"}}}, "b -> c -> b"},
      {{{"x", {"a"}}, {"a", {"b"}}, {"b", {"c"}}, {"c", {"a"}}}, "a -> b -> c -> a"},
  };
  for (const Case& c : cases) EXPECT_EQ(find_include_cycle(c.graph), c.cycle);
}

}  // namespace
