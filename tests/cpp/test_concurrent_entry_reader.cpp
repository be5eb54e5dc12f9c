// Entries read through the central directory by any thread must be exactly what the archive
// library reads, and anything the reader cannot vouch for must be left to that library.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/concurrent_entry_reader.hpp"
#include "core/package_archive.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

// Text that deflate shrinks, different for each seed.
std::string sample_text(int seed, std::size_t size) {
  std::string text;
  while (text.size() < size) {
    text += "<a:t>word " + std::to_string(seed * 7919 + text.size()) + "</a:t>";
  }
  return text;
}

TEST(ConcurrentEntryReader, ReadsWhatTheArchiveLibraryReads) {
  test::TempDir dir;
  const std::string path = dir.file("p.pptx");
  std::vector<test::ZipEntry> entries = {
      {"[Content_Types].xml", sample_text(1, 300)},
      {"ppt/slides/slide1.xml", sample_text(2, 200000)},
      {"ppt/media/image1.png", sample_text(3, 5000), false},
      {"ppt/empty.xml", ""},
      {"ppt/stored-empty.bin", "", false},
      {"ppt/folder/", "", true, true},
  };
  test::write_zip(path, entries, "an archive comment");
  auto archive = PackageArchive::open_file(path);
  ASSERT_TRUE(archive.has_value());
  const auto reader = ConcurrentEntryReader::open(*archive);
  ASSERT_TRUE(reader.has_value());
  for (std::uint64_t index = 0; index < archive->entry_count(); ++index) {
    const std::string name(archive->entry_name(index));
    EXPECT_EQ(reader->find(name), index) << name;
    const auto expected = read_archive_bytes(*archive, name);
    ASSERT_TRUE(expected.has_value() && expected->has_value()) << name;
    EXPECT_EQ(reader->read(index), **expected) << name;
  }
  EXPECT_EQ(reader->find("ppt/slides/slide2.xml"), std::nullopt);
  EXPECT_EQ(reader->find(std::string("ppt/empty.xml\0x", 15)), std::nullopt);
  EXPECT_EQ(reader->read(archive->entry_count()), std::nullopt);
}

TEST(ConcurrentEntryReader, LeavesWhatItCannotVouchForToTheArchiveLibrary) {
  test::TempDir dir;
  const std::string path = dir.file("p.pptx");
  test::ZipEntry locked{"ppt/locked.xml", "secret"};
  locked.password = "pw";
  const std::string stored_text = "stored text, damaged below";
  test::write_zip(path, {{"ppt/slides/slide1.xml", sample_text(4, 50000)},
                         {"ppt/stored.xml", stored_text, false},
                         locked});
  // Damage the stored entry's data and the middle of the deflated one.
  const std::string original = test::read_file(path);
  std::string bytes = original;
  bytes[bytes.find(stored_text)] = 'S';
  bytes[bytes.size() / 4] ^= 0x55;
  test::write_file(path, bytes);

  auto archive = PackageArchive::open_file(path);
  ASSERT_TRUE(archive.has_value());
  const auto reader = ConcurrentEntryReader::open(*archive);
  ASSERT_TRUE(reader.has_value());
  for (std::string_view name : {"ppt/slides/slide1.xml", "ppt/stored.xml", "ppt/locked.xml"}) {
    const auto index = reader->find(name);
    ASSERT_TRUE(index.has_value()) << name;
    EXPECT_EQ(reader->read(*index), std::nullopt) << name;
  }

  // A declared size that the data cannot fill is not trusted.
  std::string inflated = original;
  const std::size_t directory = inflated.find("PK\x01\x02");
  ASSERT_NE(directory, std::string::npos);
  inflated.replace(directory + 24, 4, "\xF0\xFF\xFF\x7F");
  test::write_file(path, inflated);
  auto claimed = PackageArchive::open_file(path);
  ASSERT_TRUE(claimed.has_value());
  const auto claimed_reader = ConcurrentEntryReader::open(*claimed);
  ASSERT_TRUE(claimed_reader.has_value());
  EXPECT_EQ(claimed_reader->read(0), std::nullopt);

  // A name that the archive library decodes (not UTF-8, so read as code page 437) would be
  // found under another name: the file's own reader stands, but it does not list as the library.
  std::string renamed = original;
  for (std::size_t at = renamed.find("stored.xml"); at != std::string::npos;
       at = renamed.find("stored.xml", at)) {
    renamed[at + 1] = '\x82';
  }
  test::write_file(path, renamed);
  auto decoded = PackageArchive::open_file(path);
  ASSERT_TRUE(decoded.has_value());
  const auto own = ConcurrentEntryReader::open_file(path);
  ASSERT_TRUE(own.has_value());
  EXPECT_EQ(own->entry_name(1), "ppt/s\x82ored.xml");
  EXPECT_NE(decoded->entry_name(1), own->entry_name(1));
  EXPECT_FALSE(own->lists_as(*decoded));
  EXPECT_FALSE(ConcurrentEntryReader::open(*decoded).has_value());

  // Archives over bytes, and files whose central directory is not a plain one, get no reader.
  auto in_memory = PackageArchive::open_bytes(test::read_file(path));
  ASSERT_TRUE(in_memory.has_value());
  EXPECT_FALSE(ConcurrentEntryReader::open(*in_memory).has_value());
}

}  // namespace
}  // namespace pelvane
