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

template <class T>
std::string little(T value) {
  std::string bytes(sizeof value, '\0');
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

std::string end_record(std::uint16_t count, std::uint64_t size, std::uint64_t offset,
                       std::uint16_t comment = 0) {
  return std::string("PK\x05\x06\0\0\0\0", 8) + little(count) + little(count) +
         little(static_cast<std::uint32_t>(size)) + little(static_cast<std::uint32_t>(offset)) +
         little(comment);
}

// An archive written without a comment, split where its directory starts, and put together
// again with `between` after the directory and an end record stating `count` entries and `size`
// bytes of directory, then `after`.
struct Parts {
  std::string body;
  std::string directory;
  std::uint16_t count;

  explicit Parts(const std::string& archive)
      : body(archive.substr(0, zip_format::get32(archive, archive.size() - 6))),
        directory(archive.substr(body.size(), zip_format::get32(archive, archive.size() - 10))),
        count(zip_format::get16(archive, archive.size() - 12)) {}
  std::string with(std::string_view between, std::uint16_t stated_count, std::uint64_t size,
                   std::string_view after = {}, std::uint16_t comment = 0) const {
    return body + directory + std::string(between) +
           end_record(stated_count, size, body.size(), comment) + std::string(after);
  }
  std::string with(std::string_view between = {}) const {
    return with(between, count, directory.size());
  }
  // A ZIP64 end record stating this directory, its size field `extra` bytes longer than it is,
  // and its locator.
  std::string zip64(std::uint64_t extra = 0) const {
    const std::uint64_t entries = count;
    return std::string("PK\x06\x06", 4) + little<std::uint64_t>(44 + extra) +
           std::string("\x2d\0\x2d\0\0\0\0\0\0\0\0\0", 12) + little(entries) + little(entries) +
           little<std::uint64_t>(directory.size()) + little<std::uint64_t>(body.size()) +
           std::string("PK\x06\x07\0\0\0\0", 8) +
           little<std::uint64_t>(body.size() + directory.size()) + little<std::uint32_t>(1);
  }
};

bool library_opens(const std::string& bytes) {
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, nullptr);
  zip_t* archive = zip_open_from_source(source, ZIP_RDONLY, nullptr);
  if (archive == nullptr) zip_source_free(source);
  zip_discard(archive);
  return archive != nullptr;
}

TEST(EndRecords, ArchivesReadableTwoWaysAreRefusedBeforeTheLibraryOpensThem) {
  const std::string two_ways = "archive holds more than one end record";
  const std::string elsewhere = "central directory does not end where its end record says";
  const std::string zip64 = "ZIP64 end record disagrees with the end record";
  // `count` end records like `record` in the last entry's comment.
  const auto in_comment = [](const Parts& p, const std::string& record, int count) {
    Parts commented = p;
    std::string records;
    for (int k = 0; k < count; ++k) records += record;
    commented.directory.replace(p.directory.rfind("PK\x01\x02") + 32, 2,
                                little(static_cast<std::uint16_t>(records.size())));
    commented.directory += records;
    return commented.with();
  };
  struct Case {
    std::string label;
    std::function<std::string(const Parts&)> layout;
    std::string refused;  // empty: the archive opens
    bool library_opens;   // on its own
  };
  const std::vector<Case> cases = {
      {"central headers past the stated count",
       [](const Parts& p) {
         std::string hidden;
         const std::string header =
             p.directory.substr(0, zip_format::central_header_size(p.directory));
         for (int k = 0; k < 65536; ++k) hidden += header;
         return p.with(hidden, p.count, p.directory.size() + hidden.size());
       },
       "central directory holds more entries than its end record states", true},
      {"bytes after the stated headers",
       [](const Parts& p) { return p.with("12345678", p.count, p.directory.size() + 8); },
       elsewhere, false},
      {"headers past the stated size",
       [](const Parts& p) { return p.with("", p.count, p.directory.size() - 1); }, elsewhere,
       false},
      {"bytes between the directory and the end record",
       [](const Parts& p) { return p.with("12345678"); }, elsewhere, true},
      {"an end record of no entries in the comment",
       [](const Parts& p) {
         return p.with("", p.count, p.directory.size(), end_record(0, 0, 0), 22);
       },
       two_ways, true},
      {"an end-record signature after the record",
       [](const Parts& p) { return p.with("", p.count, p.directory.size(), "PK\x05\x06"); },
       two_ways, true},
      {"end records stating 65,535 entries each",
       [&](const Parts& p) { return in_comment(p, end_record(0xFFFF, 0, 0), 2); }, two_ways, true},
      {"end records stating a few entries each",
       [&](const Parts& p) { return in_comment(p, end_record(3, 0, 0), 3); }, "", true},
      // Stating the directory as it was before the comment, where its headers no longer fit.
      {"three end records stating a directory that does not read",
       [&](const Parts& p) {
         return in_comment(p, end_record(p.count, p.directory.size(), p.body.size()), 3);
       },
       two_ways, true},
      {"two end records stating a directory that does not read",
       [&](const Parts& p) {
         return in_comment(p, end_record(p.count, p.directory.size(), p.body.size()), 2);
       },
       "", true},
      {"a ZIP64 end record stating other values",
       [](const Parts& p) {
         return p.body + p.directory + p.zip64() + end_record(p.count + 1, p.directory.size(), ~0u);
       },
       zip64, true},
      {"a ZIP64 end record stating more bytes than lie before its locator",
       [](const Parts& p) {
         return p.body + p.directory + p.zip64(8) + end_record(0xFFFF, ~0u, ~0u);
       },
       zip64, true},
      {"a ZIP64 end record agreeing with the end record",
       [](const Parts& p) {
         return p.body + p.directory + p.zip64() + end_record(0xFFFF, ~0u, ~0u);
       },
       "", true},
  };
  // A small archive, read whole when opened, and one too large for that, read from the file.
  std::vector<test::ZipEntry> entries = {
      {.name = "ppt/slide.xml", .bytes = std::string(3000, 's')}};
  const std::string small = test::zip_bytes(entries);
  entries.insert(entries.begin(), {.name = "media.bin",
                                   .bytes = test::noise(StoredEntryHeaders::kMostHeldBytes, 3),
                                   .deflate = false});
  test::TempDir dir;
  for (const std::string& base : {small, test::zip_bytes(entries)}) {
    for (const Case& c : cases) {
      const std::string bytes = c.layout(Parts(base));
      SCOPED_TRACE(c.label + ", " + std::to_string(bytes.size()) + " bytes");
      EXPECT_EQ(library_opens(bytes), c.library_opens);
      test::write_file(dir.file("case.zip"), bytes);
      auto from_file = PackageArchive::open_file(dir.file("case.zip"));
      auto from_bytes = PackageArchive::open_bytes(bytes);
      if (c.refused.empty()) {
        ASSERT_TRUE(from_file && from_bytes);
        EXPECT_EQ(read_archive_bytes(*from_bytes, "ppt/slide.xml"), std::string(3000, 's'));
      } else {
        EXPECT_EQ(from_file ? "opened" : from_file.error().to_string(), "zip error: " + c.refused);
        EXPECT_EQ(from_bytes ? "opened" : from_bytes.error().to_string(),
                  "zip error: " + c.refused);
      }
    }
  }
}

// The archive library's open path and name table are modelled on one release: another is looked
// at before it is trusted.
TEST(EndRecords, TheLinkedLibraryIsTheReleaseModelled) {
  EXPECT_EQ(std::string_view(zip_libzip_version()), kModelledLibraryVersion);
}

}  // namespace
}  // namespace pelvane
