// An archive that readers could take through different end records or directories is refused
// before the archive library opens it; what merely looks like an end record is not.
#include <zip.h>

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/zip/library_archive.hpp"
#include "core/zip/package_archive.hpp"
#include "core/zip/stored_headers.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

// An archive split where its directory starts and ends (written without a comment).
struct Parts {
  std::string body;  // the entries
  std::string directory;
  std::uint16_t count = 0;

  explicit Parts(const std::string& archive) {
    const std::string_view record = std::string_view(archive).substr(archive.size() - 22);
    const auto offset = zip_format::get32(record, 16);
    body = archive.substr(0, offset);
    directory = archive.substr(offset, zip_format::get32(record, 12));
    count = zip_format::get16(record, 10);
  }
  std::uint64_t end() const { return body.size() + directory.size(); }
};

template <class T>
std::string little(T value) {
  std::string bytes(sizeof value, '\0');
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

std::string end_record(std::uint16_t count, std::uint32_t size, std::uint32_t offset,
                       std::uint16_t comment = 0) {
  return std::string("PK\x05\x06", 4) + std::string(4, '\0') + little(count) + little(count) +
         little(size) + little(offset) + little(comment);
}

// A ZIP64 end record at `at` stating the directory of `parts` (`extra`: its size field counts
// that many bytes more than it holds), and its locator.
std::string zip64_records(const Parts& parts, std::uint64_t at, std::uint64_t extra = 0) {
  const std::uint64_t count = parts.count;
  return std::string("PK\x06\x06", 4) + little<std::uint64_t>(44 + extra) +
         little<std::uint16_t>(45) + little<std::uint16_t>(45) + std::string(8, '\0') +
         little(count) + little(count) + little<std::uint64_t>(parts.directory.size()) +
         little<std::uint64_t>(parts.body.size()) + std::string("PK\x06\x07", 4) +
         std::string(4, '\0') + little(at) + little<std::uint32_t>(1);
}

// True when the archive library itself opens the bytes.
bool library_opens(const std::string& bytes) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  zip_t* archive = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
  if (archive == nullptr && source != nullptr) zip_source_free(source);
  zip_error_fini(&error);
  if (archive == nullptr) return false;
  zip_discard(archive);
  return true;
}

constexpr std::string_view kTwoWays = "archive holds more than one end record";
constexpr std::string_view kElsewhere = "central directory does not end where its end record says";

TEST(EndRecords, ArchivesReadableTwoWaysAreRefusedBeforeTheLibraryOpensThem) {
  struct Case {
    std::string label;
    std::function<std::string(const Parts&)> layout;
    std::string_view refused;  // empty: the archive opens
    bool library_opens;        // what the library does with it on its own
  };
  // The directory with end records in the last entry's comment, each stating `entries` entries
  // and an empty directory at 0.
  const auto records_in_comment = [](const Parts& p, std::uint16_t entries) {
    std::string directory = p.directory;
    const std::string records = end_record(entries, 0, 0) + end_record(entries, 0, 0);
    directory.replace(directory.rfind("PK\x01\x02") + 32, 2,
                      little(static_cast<std::uint16_t>(records.size())));
    directory += records;
    return p.body + directory +
           end_record(p.count, static_cast<std::uint32_t>(directory.size()),
                      static_cast<std::uint32_t>(p.body.size()));
  };
  const auto first_header = [](const Parts& p) {
    return p.directory.substr(0, 46 + zip_format::get16(p.directory, 28));
  };
  const std::vector<Case> cases = {
      {"central headers past the stated count",
       [&](const Parts& p) {
         std::string hidden;
         for (int k = 0; k < 65536; ++k) hidden += first_header(p);
         const auto size = static_cast<std::uint32_t>(p.directory.size() + hidden.size());
         return p.body + p.directory + hidden +
                end_record(p.count, size, static_cast<std::uint32_t>(p.body.size()));
       },
       "central directory holds more entries than its end record states", true},
      {"bytes after the stated headers",
       [](const Parts& p) {
         return p.body + p.directory + "12345678" +
                end_record(p.count, static_cast<std::uint32_t>(p.directory.size() + 8),
                           static_cast<std::uint32_t>(p.body.size()));
       },
       kElsewhere, false},
      {"headers past the stated size",
       [](const Parts& p) {
         return p.body + p.directory +
                end_record(p.count, static_cast<std::uint32_t>(p.directory.size() - 1),
                           static_cast<std::uint32_t>(p.body.size()));
       },
       kElsewhere, false},
      {"bytes between the directory and the end record",
       [](const Parts& p) {
         return p.body + p.directory + "12345678" +
                end_record(p.count, static_cast<std::uint32_t>(p.directory.size()),
                           static_cast<std::uint32_t>(p.body.size()));
       },
       kElsewhere, true},
      {"an end record of no entries in the comment",
       [](const Parts& p) {
         return p.body + p.directory +
                end_record(p.count, static_cast<std::uint32_t>(p.directory.size()),
                           static_cast<std::uint32_t>(p.body.size()), 22) +
                end_record(0, 0, 0);
       },
       kTwoWays, true},
      {"an end-record signature in the bytes after the record",
       [](const Parts& p) {
         return p.body + p.directory +
                end_record(p.count, static_cast<std::uint32_t>(p.directory.size()),
                           static_cast<std::uint32_t>(p.body.size())) +
                std::string("PK\x05\x06", 4);
       },
       kTwoWays, true},
      {"two end records, each after a directory",
       [](const Parts& p) {
         const auto size = static_cast<std::uint32_t>(p.directory.size());
         const auto second = static_cast<std::uint32_t>(p.end() + 22);
         return p.body + p.directory +
                end_record(p.count, size, static_cast<std::uint32_t>(p.body.size())) + p.directory +
                end_record(p.count, size, second);
       },
       kTwoWays, true},
      {"end records repeated after one directory",
       [](const Parts& p) {
         std::string bytes = p.body + p.directory;
         for (int k = 0; k < 4; ++k)
           bytes += end_record(p.count, static_cast<std::uint32_t>(p.directory.size()),
                               static_cast<std::uint32_t>(p.body.size()));
         return bytes;
       },
       kTwoWays, true},
      {"end records stating 65,535 entries each in an entry comment",
       [&](const Parts& p) { return records_in_comment(p, 0xFFFF); }, kTwoWays, true},
      {"end records stating a few entries each in an entry comment",
       [&](const Parts& p) { return records_in_comment(p, 3); }, "", true},
      {"a ZIP64 end record stating other values than the end record",
       [](const Parts& p) {
         return p.body + p.directory + zip64_records(p, p.end()) +
                end_record(static_cast<std::uint16_t>(p.count + 1),
                           static_cast<std::uint32_t>(p.directory.size()), 0xFFFFFFFF);
       },
       "ZIP64 end record disagrees with the end record", true},
      {"a ZIP64 end record stating more bytes than lie before its locator",
       [](const Parts& p) {
         return p.body + p.directory + zip64_records(p, p.end(), 8) +
                end_record(0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF);
       },
       "ZIP64 end record disagrees with the end record", true},
      {"a ZIP64 end record agreeing with the end record",
       [](const Parts& p) {
         return p.body + p.directory + zip64_records(p, p.end()) +
                end_record(0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF);
       },
       "", true},
  };
  // A small archive, read whole when opened, and one too large for that, read from the file.
  const std::vector<test::ZipEntry> entries = {
      {.name = "[Content_Types].xml", .bytes = "<Types/>"},
      {.name = "ppt/slides/slide1.xml", .bytes = std::string(3000, 's')},
  };
  std::vector<test::ZipEntry> large = entries;
  large.insert(large.begin(), {.name = "ppt/media/media1.bin",
                               .bytes = test::noise(StoredEntryHeaders::kMostHeldBytes, 3),
                               .deflate = false});
  test::TempDir dir;
  for (const std::string& base : {test::zip_bytes(entries), test::zip_bytes(large)}) {
    const Parts parts(base);
    for (const Case& c : cases) {
      const std::string bytes = c.layout(parts);
      const std::string label = c.label + ", " + std::to_string(bytes.size()) + " bytes";
      EXPECT_EQ(library_opens(bytes), c.library_opens) << label;
      const std::string path = dir.file("case.zip");
      test::write_file(path, bytes);
      auto from_file = PackageArchive::open_file(path);
      auto from_bytes = PackageArchive::open_bytes(bytes);
      if (c.refused.empty()) {
        ASSERT_TRUE(from_file && from_bytes) << label;
        EXPECT_EQ(from_file->entry_count(), parts.count) << label;
        const auto slide = read_archive_bytes(*from_bytes, "ppt/slides/slide1.xml");
        EXPECT_TRUE(slide && *slide == std::string(3000, 's')) << label;
        continue;
      }
      ASSERT_FALSE(from_file) << label;
      EXPECT_EQ(from_file.error().to_string(), "zip error: " + std::string(c.refused)) << label;
      ASSERT_FALSE(from_bytes) << label;
      EXPECT_EQ(from_bytes.error().to_string(), "zip error: " + std::string(c.refused)) << label;
    }
  }
}

TEST(EndRecords, WhatOnlyLooksLikeAnEndRecordIsNoReasonToRefuse) {
  // An archive stored as the last entry puts its end record in the outer archive's tail; it
  // states a directory where the outer archive holds no central header.
  const std::string inner = test::zip_bytes({{.name = "a.xml", .bytes = "<a/>"}});
  const std::string outer =
      test::zip_bytes({{.name = "b.xml", .bytes = "<b/>"},
                       {.name = "inner.zip", .bytes = inner, .deflate = false}});
  auto archive = PackageArchive::open_bytes(outer);
  ASSERT_TRUE(archive);
  EXPECT_EQ(read_archive_entry(*archive, 1), inner);
  test::TempDir dir;
  test::write_file(dir.file("outer.zip"), outer);
  auto file = PackageArchive::open_file(dir.file("outer.zip"));
  ASSERT_TRUE(file);
  EXPECT_NE(file->plain_headers(), nullptr);
}

// The library's open path and name table are modelled on one release: another is looked at
// before it is trusted.
TEST(EndRecords, TheLinkedLibraryIsTheReleaseModelled) {
  EXPECT_EQ(std::string_view(zip_libzip_version()), kModelledLibraryVersion);
}

}  // namespace
}  // namespace pelvane
