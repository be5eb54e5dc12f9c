// Entries whose stored regions overlap each other or the central directory are refused, with
// the two names in archive order; the limits of the others reach to the next region.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/zip/entry_regions.hpp"
#include "core/zip/package_archive.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

struct RegionCase {
  const char* label;
  std::vector<EntryRegion> regions;  // named "a", "b", "c" in archive order
  std::string failure;               // empty: accepted
};

// The central directory lies at 1000..1100.
const RegionCase kRegionCases[] = {
    {"apart", {{"a", 0, 100}, {"b", 100, 200}, {"c", 1100, 1200}}, ""},
    {"one start", {{"a", 0, 100}, {"b", 500, 600}, {"c", 0, 100}}, "entries a and c overlap"},
    {"nested", {{"a", 0, 400}, {"b", 600, 700}, {"c", 200, 250}}, "entries a and c overlap"},
    {"out of order", {{"a", 300, 400}, {"b", 0, 301}, {"c", 500, 600}}, "entries a and b overlap"},
    {"into the directory", {{"a", 0, 100}, {"b", 900, 1001}, {"c", 1100, 1200}},
     "entry b overlaps the central directory"},
    {"inside the directory", {{"a", 0, 100}, {"b", 1050, 1080}},
     "entry b overlaps the central directory"},
};

TEST(EntryRegions, OverlapsAreRefusedInArchiveOrder) {
  for (const RegionCase& c : kRegionCases) {
    SCOPED_TRACE(c.label);
    auto limits = limit_entry_regions(c.regions, 1000, 100);
    if (c.failure.empty()) {
      ASSERT_TRUE(limits.has_value());
      EXPECT_EQ(limits->end_limit, (std::vector<std::uint64_t>{100, 1000, UINT64_MAX}));
      EXPECT_EQ(limits->limited_by, (std::vector<std::uint64_t>{1, kCentralDirectoryLimit,
                                                                kCentralDirectoryLimit}));
    } else {
      ASSERT_FALSE(limits.has_value());
      EXPECT_EQ(limits.error().message(), c.failure);
    }
  }
}

TEST(EntryRegions, ArchivesInMemoryAreCheckedWhenOpened) {
  std::string bytes = test::zip_bytes({{.name = "a.xml", .bytes = "<a/>"},
                                       {.name = "b.xml", .bytes = "<b/>"}});
  // The second central header's local header offset (at 42) pointed at the first entry.
  const std::size_t second = bytes.rfind(std::string("PK\x01\x02", 4));
  bytes.replace(second + 42, 4, std::string(4, '\0'));
  auto archive = PackageArchive::open_bytes(bytes);
  ASSERT_FALSE(archive.has_value());
  EXPECT_EQ(archive.error().message(), "entries a.xml and b.xml overlap");
}

}  // namespace
}  // namespace pelvane
