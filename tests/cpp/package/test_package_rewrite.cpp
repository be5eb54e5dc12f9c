#include <zip.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <vector>

#include "core/package/package_rewrite.hpp"
#include "core/package/slide_order.hpp"
#include "core/zip/zip_writer.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

using test::EntryFacts;
using test::read_entries;
using test::TempDir;
using test::ZipEntry;

// The rewrite of every slide edit: one entry (exact name) written from `content` with its own
// compression method, every other entry copied raw.
Result<PackageFacts> write_package_with_replaced_part(PackageArchive& input,
                                                      std::string_view output_path,
                                                      std::string_view part_name,
                                                      std::string_view content) {
  RewritePlan plan;
  plan.decide = [&](std::uint64_t, std::string_view name) {
    return name == part_name ? EntryDecision{EntryAction::Replace, content} : EntryDecision{};
  };
  return write_package(input, output_path, plan);
}

std::vector<std::string> names_of(const std::vector<EntryFacts>& entries) {
  std::vector<std::string> names;
  for (const auto& entry : entries) names.push_back(entry.name);
  return names;
}

std::time_t local_time_of(int year, int month, int day, int hour, int minute, int second) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

const std::time_t kEpoch = local_time_of(1980, 1, 1, 0, 0, 0);
const std::time_t kOldStamp = local_time_of(2019, 7, 4, 10, 20, 30);

// A small package: stored and deflated parts with their own times, a directory, a macro part.
std::vector<ZipEntry> sample_package() {
  std::vector<ZipEntry> entries = {
      {"[Content_Types].xml", "<Types/>"},
      {"ppt/presentation.xml", "<p:presentation/>"},
      {"ppt/slides/slide1.xml", "<p:sld>old</p:sld>", false},
      {"ppt/media/", "", true, true},
      {"ppt/media/image1.png", std::string(40000, 'p')},
      {"ppt/vbaProject.bin", "macro"},
  };
  for (auto& entry : entries) entry.mtime = kOldStamp;
  return entries;
}

class PackageRewrite : public ::testing::Test {
 protected:
  TempDir dir;
  std::string input = dir.file("in.pptx");
  std::string output = dir.file("out.pptx");
  void SetUp() override { test::write_zip(input, sample_package(), "an archive comment"); }

  std::vector<std::string> files_in_dir() const {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(dir.path()))
      names.push_back(item.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(PackageRewrite, AnUnknownPartNameGivesARawCopy) {
  auto archive = PackageArchive::open_file(input);
  ASSERT_TRUE(archive);
  auto facts = write_package_with_replaced_part(*archive, output, "ppt/slides/slide9.xml", "x");
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->part_count, 6u);
  const auto before = read_entries(input);
  const auto after = read_entries(output);
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < before.size(); ++i)
    EXPECT_EQ(after[i].compressed, before[i].compressed);
}

TEST_F(PackageRewrite, AFailureMidwayLeavesNoOutputAndAnExistingOneUntouched) {
  // The entry after the slide is encrypted and cannot be copied raw.
  auto entries = sample_package();
  entries.insert(entries.begin() + 3, ZipEntry{"ppt/locked.bin", "secret"});
  entries[3].password = "pw";
  test::write_zip(input, entries);
  auto archive = PackageArchive::open_file(input);
  ASSERT_TRUE(archive);

  auto fresh =
      write_package_with_replaced_part(*archive, output, "ppt/slides/slide1.xml", "<p:sld/>");
  ASSERT_FALSE(fresh);
  EXPECT_EQ(fresh.error().kind(), PelvaneError::Kind::Zip);
  EXPECT_EQ(files_in_dir(), std::vector<std::string>{"in.pptx"});

  test::write_file(output, "previous output");
  ASSERT_FALSE(
      write_package_with_replaced_part(*archive, output, "ppt/slides/slide1.xml", "<p:sld/>"));
  EXPECT_EQ(test::read_file(output), "previous output");
  EXPECT_EQ(files_in_dir(), (std::vector<std::string>{"in.pptx", "out.pptx"}));

  auto missing_dir =
      write_package_with_replaced_part(*archive, dir.file("no/such/out.pptx"), "x", "");
  ASSERT_FALSE(missing_dir);
  EXPECT_EQ(missing_dir.error().kind(), PelvaneError::Kind::Io);
}

TEST_F(PackageRewrite, RecompressingPlanRewritesEveryEntryAndAppendsNewOnes) {
  auto archive = PackageArchive::open_file(input);
  ASSERT_TRUE(archive);
  RewritePlan plan;
  plan.style = RewriteStyle::Recompress;
  plan.directories = DirectoryStyle::AsDirectory;
  plan.decide = [](std::uint64_t, std::string_view name) {
    if (name == "ppt/vbaProject.bin") return EntryDecision{EntryAction::Drop};
    if (name == "ppt/presentation.xml") return EntryDecision{EntryAction::Transform};
    if (name == "[Content_Types].xml")
      return EntryDecision{EntryAction::Replace, "<Types></Types>"};
    return EntryDecision{};
  };
  plan.transform = [](std::string_view, std::string content) -> Result<std::string> {
    return content + "<!-- changed -->";
  };
  plan.new_entries = {{"ppt/slides/slide2.xml", "<p:sld>two</p:sld>"},
                      {"z/vbaProject.bin", "new macro"}};
  auto facts = write_package(*archive, output, plan);
  ASSERT_TRUE(facts) << facts.error().to_string();
  EXPECT_EQ(*facts, (PackageFacts{7, true}));  // five kept, two new; the old macro dropped

  const auto after = read_entries(output);
  EXPECT_EQ(names_of(after),
            (std::vector<std::string>{"[Content_Types].xml", "ppt/presentation.xml",
                                      "ppt/slides/slide1.xml", "ppt/media/", "ppt/media/image1.png",
                                      "ppt/slides/slide2.xml", "z/vbaProject.bin"}));
  std::map<std::string, const EntryFacts*> by_name;
  for (const auto& entry : after) by_name[entry.name] = &entry;
  EXPECT_EQ(by_name["[Content_Types].xml"]->content, "<Types></Types>");
  EXPECT_EQ(by_name["ppt/presentation.xml"]->content, "<p:presentation/><!-- changed -->");
  EXPECT_EQ(by_name["ppt/slides/slide1.xml"]->method, ZIP_CM_STORE);
  EXPECT_EQ(by_name["ppt/media/image1.png"]->content, std::string(40000, 'p'));
  EXPECT_EQ(by_name["ppt/media/image1.png"]->method, ZIP_CM_DEFLATE);
  EXPECT_EQ(by_name["ppt/slides/slide2.xml"]->method, ZIP_CM_DEFLATE);
  EXPECT_EQ(by_name["ppt/media/"]->attributes, (040755u << 16) | 0x10);
  for (const auto& entry : after) EXPECT_EQ(entry.mtime, kEpoch) << entry.name;
}

TEST_F(PackageRewrite, RecompressingPlanTakesOverTheCompressedBytesOfKeptEntries) {
  // Damage the deflated picture's data: decompressing it would fail, taking it over does not.
  std::string bytes = test::read_file(input);
  const std::size_t name_at = bytes.find("ppt/media/image1.png");
  const std::size_t extra = static_cast<unsigned char>(bytes[name_at - 2]) |
                            static_cast<unsigned char>(bytes[name_at - 1]) << 8;
  bytes[name_at + 20 + extra + 3] ^= 0x5A;
  test::write_file(input, bytes);
  auto archive = PackageArchive::open_file(input);
  ASSERT_TRUE(archive);
  RewritePlan plan;
  plan.style = RewriteStyle::Recompress;
  ASSERT_TRUE(write_package(*archive, output, plan));

  const auto before = read_entries(input, false);
  const auto after = read_entries(output, false);
  ASSERT_EQ(after.size(), before.size());
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i].compressed, before[i].compressed) << before[i].name;
    EXPECT_EQ(after[i].crc, before[i].crc) << before[i].name;
    EXPECT_EQ(after[i].method, before[i].method) << before[i].name;
    if (before[i].name.ends_with('/')) continue;  // directories are copied raw
    EXPECT_EQ(after[i].mtime, kEpoch) << before[i].name;
    EXPECT_EQ(after[i].attributes, 0100644u << 16) << before[i].name;
  }
}

TEST(PackageRewriteAlignment, ALargeKeptEntryKeepsItsPageOffsetInEitherStyle) {
  TempDir dir;
  const std::string input = dir.file("in.pptx");
  const std::string video = test::noise(17 << 20, 5);
  test::write_zip(input, {{"ppt/slides/slide1.xml", std::string(3000, 's')},
                          {"ppt/media/image1.png", std::string(1000, 'i'), false},
                          {"ppt/slides/slide3.xml", std::string(777, 'x')},
                          {"ppt/media/video1.mp4", video, false},
                          {"ppt/slides/slide2.xml", "two"}});
  // The first occurrence of a name is in its entry's local header, 30 bytes in.
  const auto page_offset = [](const std::string& path) {
    return (test::read_file(path).find("ppt/media/video1.mp4") - 30) % 4096;
  };
  // The slide written anew pads its end; between it and the video, entries may be dropped or
  // written anew as stored entries of another size.
  const std::vector<std::vector<std::pair<std::string, EntryDecision>>> plans = {
      {{"ppt/slides/slide1.xml", {EntryAction::Replace, "<p:sld/>"}}},
      {{"ppt/slides/slide1.xml", {EntryAction::Replace, "<p:sld/>"}},
       {"ppt/slides/slide3.xml", {EntryAction::Drop, {}}}},
      {{"ppt/slides/slide1.xml", {EntryAction::Replace, "<p:sld/>"}},
       {"ppt/media/image1.png", {EntryAction::Replace, "png"}}},
  };
  int run = 0;
  for (const auto& decisions : plans) {
    for (const RewriteStyle style : {RewriteStyle::RawCopy, RewriteStyle::Recompress}) {
      SCOPED_TRACE(run);
      const std::string output = dir.file("out" + std::to_string(run++) + ".pptx");
      auto archive = PackageArchive::open_file(input);
      ASSERT_TRUE(archive);
      RewritePlan plan;
      plan.style = style;
      plan.decide = [&](std::uint64_t, std::string_view name) {
        for (const auto& [part, decision] : decisions)
          if (name == part) return decision;
        return EntryDecision{};
      };
      ASSERT_TRUE(write_package(*archive, output, plan));
      EXPECT_EQ(page_offset(output), page_offset(input));
      const auto after = read_entries(output);
      ASSERT_EQ(after.size(),
                decisions.size() == 2 && decisions[1].second.action == EntryAction::Drop ? 4u : 5u);
      EXPECT_EQ(after[0].content, "<p:sld/>");
      EXPECT_EQ(after[after.size() - 2].content, video);
    }
  }
}

TEST_F(PackageRewrite, BufferAndFileOutputsAgree) {
  auto archive = PackageArchive::open_file(input);
  ASSERT_TRUE(archive);
  RewritePlan plan;
  plan.decide = [](std::uint64_t, std::string_view name) {
    return name == "ppt/presentation.xml"
               ? EntryDecision{EntryAction::Replace, "<p:presentation>x</p:presentation>"}
               : EntryDecision{};
  };
  plan.new_entries = {{"ppt/new.xml", "<new/>"}};
  ASSERT_TRUE(write_package(*archive, output, plan));
  std::string buffer;
  auto facts = write_package_to_buffer(*archive, buffer, plan);
  ASSERT_TRUE(facts);
  EXPECT_EQ(facts->part_count, 7u);
  EXPECT_EQ(buffer, test::read_file(output));

  // An archive over bytes keeps the stored times as a file does.
  const std::string bytes = test::read_file(input);
  auto in_memory = PackageArchive::open_bytes(bytes);
  ASSERT_TRUE(in_memory);
  std::string from_memory;
  ASSERT_TRUE(write_package_to_buffer(*in_memory, from_memory, plan));
  EXPECT_EQ(from_memory, buffer);
}

TEST_F(PackageRewrite, ReplacedEntriesMayKeepTheirTime) {
  auto archive = PackageArchive::open_file(input);
  ASSERT_TRUE(archive);
  RewritePlan plan;
  plan.keep_replaced_entry_time = true;
  plan.decide = [](std::uint64_t, std::string_view name) {
    return name == "ppt/slides/slide1.xml" ? EntryDecision{EntryAction::Replace, "<p:sld/>"}
                                           : EntryDecision{};
  };
  std::string buffer;
  ASSERT_TRUE(write_package_to_buffer(*archive, buffer, plan));
  test::write_file(output, buffer);
  const EntryFacts slide = read_entries(output)[2];
  EXPECT_EQ(slide.content, "<p:sld/>");
  EXPECT_EQ(slide.mtime, kOldStamp);
  EXPECT_EQ(slide.method, ZIP_CM_STORE);
}

TEST(PackageFacts, CountsEveryEntryAndNotesMacroProjects) {
  PackageFacts facts;
  update_package_facts("ppt/slides/slide1.xml", facts);
  EXPECT_EQ(facts, (PackageFacts{1, false}));
  update_package_facts("ppt/vbaProject.bin", facts);
  update_package_facts("ppt/VBAPROJECT.BIN", facts);  // case-sensitive, but never cleared
  EXPECT_EQ(facts, (PackageFacts{3, true}));
}

// Every real deck: the first slide replaced by itself, every other entry byte-identical.
TEST(PackageRewriteRealDecks, ReplacingTheFirstSlideKeepsEveryOtherEntry) {
  auto decks = test::decks_dir();
  if (!decks) GTEST_SKIP() << test::missing_decks_reason();
  TempDir dir;
  int checked = 0;
  for (const auto& item : std::filesystem::directory_iterator(*decks)) {
    const std::string path = item.path().string();
    if (!path.ends_with(".pptx") && !path.ends_with(".pptm")) continue;
    SCOPED_TRACE(path);
    auto archive = PackageArchive::open_file(path);
    ASSERT_TRUE(archive);
    auto slide = slide_part_at_index(*archive, 0);
    ASSERT_TRUE(slide);
    if (!*slide) continue;  // a deck without slides
    auto content = read_archive_bytes(*archive, **slide);
    ASSERT_TRUE(content && *content);
    const std::string output = dir.file(item.path().filename().string());
    auto facts = write_package_with_replaced_part(*archive, output, **slide, **content);
    ASSERT_TRUE(facts) << facts.error().to_string();

    const auto before = read_entries(path);
    const auto after = read_entries(output);
    ASSERT_EQ(names_of(after), names_of(before));
    EXPECT_EQ(facts->part_count, before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
      EXPECT_EQ(after[i].content, before[i].content) << before[i].name;
      if (before[i].name != **slide)
        EXPECT_EQ(after[i].compressed, before[i].compressed) << before[i].name;
    }
    ++checked;
  }
  EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace pelvane
