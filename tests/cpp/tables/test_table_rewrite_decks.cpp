// The table passes on the real decks' slides: whatever they write must still validate against
// the schema whenever the slide did.
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <map>

#include "core/package/part_names.hpp"
#include "core/pml/shape_tree.hpp"
#include "core/tables/table_inspection.hpp"
#include "core/tables/table_rewrite.hpp"
#include "core/tables/xml_table_builders.hpp"
#include "core/zip/package_archive.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

namespace fs = std::filesystem;

struct Slide {
  std::string label;
  std::string xml;
};

// Every slide part of every deck that validates as it is.
std::vector<Slide> valid_deck_slides(const fs::path& folder) {
  std::vector<fs::path> decks;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".pptx" || extension == ".pptm") decks.push_back(entry.path());
  }
  std::sort(decks.begin(), decks.end());
  std::vector<Slide> slides;
  for (const fs::path& deck : decks) {
    auto archive = PackageArchive::open_file(deck.string());
    if (!archive) ADD_FAILURE() << deck << ": " << archive.error().to_string();
    if (!archive) continue;
    for (std::uint64_t i = 0; i < archive->entry_count(); ++i) {
      const std::string name(archive->entry_name(i));
      if (!is_slide_part(name)) continue;
      auto bytes = read_archive_bytes(*archive, name);
      if (!bytes || !*bytes) ADD_FAILURE() << deck << " " << name << ": unreadable";
      if (bytes && *bytes) slides.push_back({deck.filename().string() + ":" + name, **bytes});
    }
  }
  std::vector<std::string> sources;
  for (const Slide& slide : slides) sources.push_back(slide.xml);
  const std::vector<std::string> before = test::pml_schema_errors(sources);
  std::vector<Slide> valid;
  for (std::size_t i = 0; i < slides.size(); ++i)
    if (before[i].empty()) valid.push_back(std::move(slides[i]));
  return valid;
}

TEST(TablePassesOnRealDecks, WrittenSlidesStillValidate) {
  const auto folder = test::decks_dir();
  if (!folder) GTEST_SKIP() << test::missing_decks_reason();
  PELVANE_SKIP_WITHOUT_SCHEMAS();
  const std::vector<Slide> slides = valid_deck_slides(*folder);
  ASSERT_FALSE(slides.empty());

  const std::vector<TableCellText> texts = {{0, 0, "Region"}, {2, 3, "a & b\nc"}};
  std::vector<std::string> labels;
  std::vector<std::string> outputs;
  // `changes`: the edit must change something (a cell may hold no text element to replace).
  const auto keep = [&](const Slide& slide, const std::string& what, Result<RewriteOutput> out,
                        bool changes = true) {
    // An edit refused for the table's merged cells is no fault of the writing.
    if (!out && out.error().to_string().find("merged cells") != std::string::npos) return;
    ASSERT_TRUE(out) << slide.label << " " << what << ": " << out.error().to_string();
    if (changes) EXPECT_GT(out->count, 0u) << slide.label << " " << what;
    labels.push_back(slide.label + " " + what);
    outputs.push_back(std::move(out->bytes));
  };

  std::size_t tables = 0;
  std::size_t cells_before_row_extensions = 0;
  for (const Slide& slide : slides) {
    // A new table on every slide, where every new shape goes.
    std::string with_table = slide.xml;
    auto added = insert_new_shape(with_table, InsertionTarget::slide(), [&](std::uint64_t id) {
      return table_shape_xml(id, 3, 4, 0, 0, 4000000, 1500000, texts);
    });
    ASSERT_TRUE(added) << slide.label << ": " << added.error().to_string();
    labels.push_back(slide.label + " new table");
    outputs.push_back(std::move(with_table));

    const auto table = find_slide_table(slide.xml, 0);
    ASSERT_TRUE(table) << slide.label;
    if (!*table) continue;
    ++tables;
    const std::uint64_t rows = (*table)->row_count();
    const std::uint64_t cols = (*table)->column_count();
    for (const std::uint64_t row : {std::uint64_t{0}, rows / 2, rows}) {
      const std::string at = std::to_string(row);
      keep(slide, "insert row " + at, insert_table_row_in_slide(slide.xml, 0, row));
      if (row < rows) keep(slide, "delete row " + at, delete_table_row_in_slide(slide.xml, 0, row));
    }
    for (const std::uint64_t col : {std::uint64_t{0}, cols / 2, cols}) {
      const std::string at = std::to_string(col);
      auto inserted = insert_table_column_in_slide(slide.xml, 0, col);
      if (inserted && inserted->bytes.find("<a:tcPr/></a:tc><a:extLst>") != std::string::npos)
        ++cells_before_row_extensions;
      keep(slide, "insert column " + at, std::move(inserted));
      if (col < cols) {
        keep(slide, "delete column " + at, delete_table_column_in_slide(slide.xml, 0, col));
      }
    }
    const std::vector<std::string> paragraphs = {"Merged", "cells"};
    keep(slide, "merge",
         set_table_cell_merge_in_slide(slide.xml, 0, 0, 1, 0, 1, "merge", paragraphs));
    keep(slide, "split", set_table_cell_merge_in_slide(slide.xml, 0, 0, 1, 0, 1, "split", {}));
    keep(slide, "style flags",
         set_table_style_flags_in_slide(
             slide.xml, 0, {{"firstCol", true}, {"bandRow", false}, {"lastRow", true}}));
    keep(slide, "cell text", replace_table_cell_text_in_slide(slide.xml, 0, 0, 0, "Cell <1>"),
         false);
  }
  // Seven of the decks' slides hold a table; one of them ends its rows with extension lists.
  EXPECT_EQ(tables, 7u);
  EXPECT_GT(cells_before_row_extensions, 0u);
  const std::vector<std::string> after = test::pml_schema_errors(outputs);
  for (std::size_t k = 0; k < outputs.size(); ++k) EXPECT_EQ(after[k], "") << labels[k];
}

}  // namespace
}  // namespace pelvane
