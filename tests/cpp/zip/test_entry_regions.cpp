// Overlapping regions are refused, names in archive order (decks of each kind: Python tests).
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/zip/entry_regions.hpp"
#include "core/zip/package_archive.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

TEST(EntryRegions, OverlapsAreRefusedInArchiveOrder) {
  // The central directory lies at 1000..1100.
  std::vector<RegionLimit> limits(2);
  const std::vector<EntryRegion> out_of_order = {{"a", 300, 400}, {"b", 0, 301}};
  EXPECT_EQ(limit_entry_regions(out_of_order, 1000, 100, 1122, limits).error().message(),
            "entries a and b overlap");
  const std::vector<EntryRegion> in_directory = {{"a", 0, 100}, {"b", 1050, 1080}};
  EXPECT_EQ(limit_entry_regions(in_directory, 1000, 100, 1122, limits).error().message(),
            "entry b overlaps the central directory");
  // Out of order but apart: each region reaches up to the next by offset, the last the directory.
  const std::vector<EntryRegion> apart = {{"a", 300, 400}, {"b", 0, 100}};
  EXPECT_EQ(limit_entry_regions(apart, 1000, 100, 1122, limits), RegionOrder({1, 0}));
  EXPECT_EQ(limits[0].end_limit, 1000u);
  EXPECT_EQ(limits[0].limited_by, kCentralDirectoryLimit);
  EXPECT_EQ(limits[1].end_limit, 300u);
  EXPECT_EQ(limits[1].limited_by, 0u);
}

TEST(EntryRegions, ArchivesAreCheckedWhenOpened) {
  const std::string bytes =
      test::zip_bytes({{.name = "a.xml", .bytes = "<a/>"}, {.name = "b.xml", .bytes = "<b/>"}});
  // The second central header's local header offset (at 42) pointed at the first entry, or past
  // the end of the archive.
  const std::vector<std::pair<std::uint32_t, std::string>> cases = {
      {0, "entries a.xml and b.xml overlap"},
      {static_cast<std::uint32_t>(bytes.size()), "entry b.xml runs past the end of the archive"},
  };
  test::TempDir dir;
  for (const auto& [offset, refused] : cases) {
    std::string patched = bytes;
    patched.replace(patched.rfind(std::string("PK\x01\x02", 4)) + 42, 4,
                    std::string(reinterpret_cast<const char*>(&offset), 4));
    test::write_file(dir.file("case.zip"), patched);
    EXPECT_EQ(PackageArchive::open_bytes(patched).error().message(), refused);
    EXPECT_EQ(PackageArchive::open_file(dir.file("case.zip")).error().message(), refused);
  }
}

TEST(EntryRegions, ALocalExtraFieldIsCheckedInMemoryAsInAFile) {
  const std::string bytes =
      test::zip_bytes({{.name = "a.xml", .bytes = "<a/>"}, {.name = "b.xml", .bytes = "<b/>"}});
  // The second local header's extra field length (at 28) runs its data into the directory, or
  // past the end of the archive; the bytes are refused when opened, before any entry is read.
  for (const char* length : {"\x10\0", "\xff\xff"}) {
    std::string patched = bytes;
    patched.replace(patched.rfind(std::string("PK\x03\x04", 4)) + 28, 2, length, 2);
    EXPECT_EQ(PackageArchive::open_bytes(patched).error().message(),
              "entry b.xml overlaps the central directory");
  }
}

}  // namespace
}  // namespace pelvane
