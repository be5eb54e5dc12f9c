#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "core/package/slide_edit.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

using Names = std::vector<std::string>;

const Names kInputNames = {"[Content_Types].xml", "ppt/presentation.xml", "ppt/slides/slide1.xml",
                           "ppt/slides/slide2.xml", "docProps/app.xml"};

TEST(SlideEdit, WritesTheRewrittenSlideAndTheStatedChangesOnce) {
  struct Case {
    std::string label;
    std::uint64_t slide_index;
    bool directories_first;
    std::function<Result<int>(SlideEdit&)> rewrite;
    std::string error;  // empty: the edit succeeds
    Names names;        // of the output, in order
    std::map<std::string, std::string> contents;
  };
  const std::vector<Case> cases = {
      {"the slide rewritten",
       1,
       true,
       [](SlideEdit& slide) -> Result<int> {
         slide.xml() += "<!--2-->";
         return 0;
       },
       "",
       kInputNames,
       {{"ppt/slides/slide2.xml", "<p:sld>2</p:sld><!--2-->"}}},
      {"parts replaced, transformed, dropped and added",
       0,
       true,
       [](SlideEdit& slide) -> Result<int> {
         PackageEdit& package = slide.package();
         package.replace_part("[Content_Types].xml", "<Types>new</Types>");
         package.transform_part("ppt/presentation.xml",
                                [](std::string_view, std::string content) -> Result<std::string> {
                                  return content + "<!--seen-->";
                                });
         package.drop_part("docProps/app.xml");
         package.add_part("ppt/z.xml", "<z/>");
         package.add_part("ppt/a.xml", "<a/>");
         return 0;
       },
       "",
       {"[Content_Types].xml", "ppt/presentation.xml", "ppt/slides/slide1.xml",
        "ppt/slides/slide2.xml", "ppt/z.xml", "ppt/a.xml"},
       {{"[Content_Types].xml", "<Types>new</Types>"},
        {"ppt/presentation.xml", "<p:presentation/><!--seen-->"},
        {"ppt/slides/slide1.xml", "<p:sld>1</p:sld>"},
        {"ppt/a.xml", "<a/>"}}},
      {"the last change stated for a part counts",
       0,
       true,
       [](SlideEdit& slide) -> Result<int> {
         PackageEdit& package = slide.package();
         package.drop_part("ppt/presentation.xml");
         package.replace_part("ppt/presentation.xml", "<p:presentation>kept</p:presentation>");
         package.replace_part("docProps/app.xml", "<x/>");
         package.drop_part("docProps/app.xml");
         package.drop_part("ppt/absent.xml");
         // The road writes the slide from its text after the rewrite.
         package.drop_part("ppt/slides/slide1.xml");
         return 0;
       },
       "",
       {"[Content_Types].xml", "ppt/presentation.xml", "ppt/slides/slide1.xml",
        "ppt/slides/slide2.xml"},
       {{"ppt/presentation.xml", "<p:presentation>kept</p:presentation>"},
        {"ppt/slides/slide1.xml", "<p:sld>1</p:sld>"}}},
      {"a slide past the end",
       2,
       true,
       [](SlideEdit&) -> Result<int> { return 0; },
       "invalid input: slide index 2 was not found",
       {},
       {}},
      {"a failing rewrite, directories deferred",
       0,
       false,
       [](SlideEdit&) -> Result<int> { return fail(PelvaneError::invalid_input("no")); },
       "invalid input: no",
       {},
       {}},
      {"directories deferred",
       0,
       false,
       [](SlideEdit&) -> Result<int> { return 0; },
       "",
       kInputNames,
       {}},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    const std::string input = dir.file("in.pptx");
    test::write_zip(input, {{"[Content_Types].xml", "<Types/>"},
                            {"ppt/presentation.xml", "<p:presentation/>"},
                            {"ppt/slides/slide1.xml", "<p:sld>1</p:sld>"},
                            {"ppt/slides/slide2.xml", "<p:sld>2</p:sld>", false},
                            {"docProps/app.xml", "<Properties/>"}});
    const std::string output = dir.file("made/out.pptx");
    EditOptions options;
    options.directories_first = c.directories_first;
    auto edited = edit_slide(input, output, c.slide_index, options, c.rewrite);

    // Directories made first stay; deferred ones are made only for an output.
    EXPECT_EQ(std::filesystem::exists(dir.file("made")), c.directories_first || c.error.empty())
        << c.label;
    if (!c.error.empty()) {
      ASSERT_FALSE(edited) << c.label;
      EXPECT_EQ(edited.error().to_string(), c.error) << c.label;
      EXPECT_FALSE(std::filesystem::exists(output)) << c.label;
      continue;
    }
    ASSERT_TRUE(edited) << c.label << ": " << edited.error().to_string();
    EXPECT_EQ(edited->slide_part, "ppt/slides/slide" + std::to_string(c.slide_index + 1) + ".xml")
        << c.label;
    EXPECT_EQ(edited->facts.part_count, c.names.size()) << c.label;
    auto written = PackageArchive::open_file(output);
    ASSERT_TRUE(written) << c.label;
    Names names;
    for (std::uint64_t i = 0; i < written->entry_count(); ++i)
      names.emplace_back(written->entry_name(i));
    EXPECT_EQ(names, c.names) << c.label;
    for (const auto& [name, content] : c.contents)
      EXPECT_EQ(*read_archive_bytes(*written, name), content) << c.label << ", " << name;
  }
}

TEST(SlideEdit, RunsThePrepareStepAfterThePathsAndBeforeTheInputOpens) {
  // The input does not exist: a failing step is reported instead, once the folder is made; a
  // step that succeeds lets the missing input be reported.
  const std::pair<Result<void>, std::string> cases[] = {
      {fail(PelvaneError::invalid_input("no file")), "invalid input: no file"},
      {Result<void>{}, "io error: No such file or directory"},
  };
  for (const auto& [step, error] : cases) {
    test::TempDir dir;
    const std::string output = dir.file("made/out.pptx");
    auto edited = edit_package(
        dir.file("missing.pptx"), output, kRawCopyEdit, [&] { return step; },
        [](PackageEdit&) -> Result<int> { return 0; });
    ASSERT_FALSE(edited) << error;
    EXPECT_EQ(edited.error().to_string(), error);
    EXPECT_TRUE(std::filesystem::exists(dir.file("made")));
    EXPECT_FALSE(std::filesystem::exists(output));
  }
}

}  // namespace
}  // namespace pelvane
