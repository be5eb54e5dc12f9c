#include <zip.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/package/package_rewrite.hpp"
#include "core/zip/stored_headers.hpp"
#include "core/zip/zip_format.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

using test::EntryFacts;

// The local header of entry `name` in an archive whose names occur first in their local headers.
std::string_view local_header_of(std::string_view archive, std::string_view name) {
  const std::size_t at = archive.find(name) - zip_format::kLocalHeaderSize;
  const std::string_view header = archive.substr(at);
  return header.substr(0, zip_format::kLocalHeaderSize + name.size() +
                              zip_format::get16(header, zip_format::local_header::kExtraLength));
}

// One archive through every road of a kept entry (archive_copy.hpp), as the plan, the kind of
// input and each entry's stored headers choose; the archive library reads what was written.
TEST(ArchiveCopy, EveryRoadOfAKeptEntryWritesItsEntry) {
  test::TempDir dir;
  const std::time_t stamp = test::earliest_zip_time() + 39 * 365 * 86400;
  std::string input = test::zip_bytes({
      {.name = "dir/", .directory = true, .mtime = stamp},
      {.name = "kept.xml", .bytes = std::string(3000, 'k'), .mtime = stamp},
      {.name = "stamped.xml", .bytes = std::string(2000, 's')},
      {.name = "packed.bin",
       .bytes = std::string(1000, 'p'),
       .mtime = stamp,
       .method = ZIP_CM_BZIP2},
  });
  // A time that is no time, in both headers: the writer writes 1980-01-01 instead.
  for (const auto at :
       {input.find("stamped.xml") - zip_format::kLocalHeaderSize + zip_format::local_header::kTime,
        input.rfind("stamped.xml") - zip_format::kCentralHeaderSize +
            zip_format::central_header::kTime})
    input.replace(at, 2, "\xFF\xFF");
  const std::string input_path = dir.file("in.zip");
  test::write_file(input_path, input);
  const std::vector<EntryFacts> before = test::read_entries(input_path);

  // Per run, the road of each entry in archive order, numbered as archive_copy.hpp lists them;
  // what each road writes is read back below.
  enum Road { Block = 1, Directory, Reheaded, FromFile, FromLibrary, Decompressed };
  struct Run {
    RewritePlan plan;
    bool from_file;
    Road roads[4];
  };
  const Run runs[] = {
      {{.style = RewriteStyle::RawCopy}, true, {Block, Block, FromFile, Block}},
      {{.style = RewriteStyle::Recompress, .directories = DirectoryStyle::AsDirectory},
       true,
       {Directory, Reheaded, Reheaded, Decompressed}},
      {{.style = RewriteStyle::RawCopy, .directories = DirectoryStyle::AsEmptyFile},
       false,
       {Decompressed, FromLibrary, FromLibrary, FromLibrary}},
  };
  const std::time_t epoch = test::earliest_zip_time();
  for (const Run& run : runs) {
    SCOPED_TRACE(run.from_file ? "from a file" : "from bytes");
    auto archive =
        run.from_file ? PackageArchive::open_file(input_path) : PackageArchive::open_bytes(input);
    ASSERT_TRUE(archive);
    // Into a file from a file, as an edit writes; into a buffer from bytes.
    const std::string output_path = dir.file("out.zip");
    if (run.from_file) {
      ASSERT_TRUE(write_package(*archive, output_path, run.plan));
    } else {
      std::string bytes;
      ASSERT_TRUE(write_package_to_buffer(*archive, bytes, run.plan));
      test::write_file(output_path, bytes);
    }
    const std::string output = test::read_file(output_path);
    const std::vector<EntryFacts> after = test::read_entries(output_path);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
      const Road road = run.roads[i];
      const EntryFacts& in = before[i];
      const EntryFacts& out = after[i];
      SCOPED_TRACE(in.name + ", road " + std::to_string(road));
      EXPECT_EQ(out.name, in.name);
      EXPECT_EQ(out.content, in.content);
      // The compressed bytes taken over, or the content written again.
      const bool written_again = road == Directory || road == Decompressed;
      EXPECT_EQ(out.compressed == in.compressed, !written_again || in.content.empty());
      // The stored header fields kept by a raw copy under its stored header (all of them, so
      // that the local header is written as stored, but an invalid time), else those of an
      // entry written from content.
      const bool stored_header = road == Block || road == FromFile || road == FromLibrary;
      const bool as_stored = stored_header && in.name != "stamped.xml";
      EXPECT_EQ(local_header_of(output, in.name) == local_header_of(input, in.name), as_stored);
      EXPECT_EQ(out.mtime, as_stored ? stamp : epoch);
      EXPECT_EQ(out.method, road == Decompressed && !in.content.empty() ? ZIP_CM_DEFLATE
                            : road == Directory                         ? ZIP_CM_STORE
                                                                        : in.method);
      EXPECT_EQ(out.attributes, stored_header       ? in.attributes
                                : road == Directory ? (040755u << 16) | 0x10
                                                    : 0100644u << 16);
    }
  }
}

// A file too large to be held is read once: the copy checks its entries, settling their local
// headers from the bytes it reads ahead into the writer's buffer (the road whose entry
// assumptions debug and sanitizer builds assert), as they lie and under new headers, beside an
// entry written anew.
TEST(ArchiveCopy, AFileTooLargeToBeHeldIsCopiedFromTheBytesItReadsAhead) {
  std::vector<test::ZipEntry> entries;
  for (int k = 0; k < 60; ++k) {
    entries.push_back({.name = "part" + std::to_string(k) + ".xml",
                       .bytes = std::string(200 + k, static_cast<char>('a' + k % 26)),
                       .deflate = k % 3 != 0});
    if (k == 30)
      entries.push_back({.name = "media.bin",
                         .bytes = test::noise(StoredEntryHeaders::kMostHeldBytes, 5),
                         .deflate = false});
  }
  test::TempDir dir;
  const std::string input_path = dir.file("in.zip");
  test::write_zip(input_path, entries);
  const std::vector<EntryFacts> before = test::read_entries(input_path);
  for (const RewriteStyle style : {RewriteStyle::RawCopy, RewriteStyle::Recompress}) {
    auto archive = PackageArchive::open_file(input_path);
    ASSERT_TRUE(archive);
    archive->leave_entry_checks_to_copy();
    ASSERT_TRUE(archive->entry_checks_left_to_copy());
    const RewritePlan plan{.style = style,
                           .decisions = {{.index = 5, .decision = {EntryAction::Replace, "new"}}}};
    const std::string output_path = dir.file("out.zip");
    ASSERT_TRUE(write_package(*archive, output_path, plan));
    const std::vector<EntryFacts> after = test::read_entries(output_path);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
      EXPECT_EQ(after[i].name, before[i].name);
      EXPECT_EQ(after[i].content, i == 5 ? "new" : before[i].content) << before[i].name;
    }
  }
}

}  // namespace
}  // namespace pelvane
