// An archive that readers could take through different end records or directories is refused
// before the archive library opens it; what merely looks like an end record is not.
#include <zip.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "core/zip/end_records.hpp"
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
  // The same archive with `comment` as its last entry's comment.
  Parts commented(const std::string& comment) const {
    Parts commented = *this;
    commented.directory.replace(directory.rfind("PK\x01\x02") + 32, 2,
                                little(static_cast<std::uint16_t>(comment.size())));
    commented.directory += comment;
    return commented;
  }
  // The same archive after the bytes `before`, its offsets counted from the start of the file.
  Parts behind(const std::string& before) const {
    Parts moved = *this;
    moved.body = before + body;
    for (std::size_t at = 0; at < directory.size();
         at += zip_format::central_header_size(directory.substr(at))) {
      const auto offset =
          static_cast<std::uint32_t>(zip_format::get32(directory, at + 42) + before.size());
      moved.directory.replace(at + 42, 4, little(offset));
    }
    return moved;
  }
  Parts stubbed(std::size_t stub) const { return behind(std::string(stub, 'z')); }
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

// Where readers that scan back from the end (java.util.zip) find the end record, as they look for
// it: blocks of 128 bytes from the end on, each 106 bytes before the last, each scanned back,
// down to the first that starts 106 bytes or less before the last 65,557 bytes; the first
// signature whose comment reaches the end, or whose directory (before it by its size) starts
// with a central header and whose first local header (that less its offset) with a local
// header. None when they find none.
std::optional<std::uint64_t> backward_reader_record(const std::string& bytes) {
  const auto size = static_cast<std::int64_t>(bytes.size());
  const auto holds = [&](std::int64_t at, const char* magic) {
    return at >= 0 && at + 4 <= size && bytes.compare(at, 4, magic, 4) == 0;
  };
  const std::int64_t lowest = std::max<std::int64_t>(size - 65557, 0) - 106;
  for (std::int64_t block = size - 128; block >= lowest; block -= 106) {
    for (std::int64_t at = block + 106; at >= block; --at) {
      if (!holds(at, "PK\x05\x06")) continue;
      const std::string_view record(bytes.data() + at, 22);
      if (at + 22 + zip_format::get16(record, 20) == size) return at;
      const std::int64_t directory = at - zip_format::get32(record, 12);
      const std::int64_t first_local = directory - zip_format::get32(record, 16);
      if (holds(directory, "PK\x01\x02") && holds(first_local, "PK\x03\x04")) return at;
    }
  }
  return std::nullopt;
}

// 70,000 bytes written before an archive, holding at `at` the local header of an entry of a
// 1-byte name.
std::string stub_holding_local_header(std::size_t at) {
  std::string stub(70000, 'z');
  stub.replace(
      at, 30,
      std::string("PK\x03\x04\x14", 5) + std::string(21, '\0') + "\x01" + std::string(3, '\0'));
  return stub;
}

// A package storing a small archive of 2 entries, and the 22 bytes of an end record stating no
// entry over room for a central header, in either order: what looks like two more end records.
std::string beside_stored_archive(bool archive_first) {
  std::vector<test::ZipEntry> entries = {
      {.name = "inner.zip",
       .bytes = test::zip_bytes({{.name = "a", .bytes = "a"}, {.name = "b", .bytes = "b"}}),
       .deflate = false},
      {.name = "record.bin", .bytes = end_record(0, 46, 0), .deflate = false}};
  if (!archive_first) std::swap(entries[0], entries[1]);
  entries.push_back({.name = "ppt/slide.xml", .bytes = std::string(3000, 's')});
  return test::zip_bytes(entries);
}

// A package storing a small archive of 2 entries last, so that its end record lies in the
// package's tail.
std::string storing_archive() {
  return test::zip_bytes(
      {{.name = "ppt/slide.xml", .bytes = std::string(3000, 's')},
       {.name = "inner.zip",
        .bytes = test::zip_bytes({{.name = "a", .bytes = "a"}, {.name = "b", .bytes = "b"}}),
        .deflate = false}});
}

// A package storing the central headers of a small archive, then an end record stating them
// where they lie in the package: an end record before the package's own, whose directory reads.
std::string storing_directory() {
  const Parts inner(test::zip_bytes({{.name = "a", .bytes = "a"}, {.name = "b", .bytes = "b"}}));
  const auto package = [&](std::uint64_t offset) {
    return test::zip_bytes(
        {{.name = "headers.bin",
          .bytes = inner.directory + end_record(inner.count, inner.directory.size(), offset),
          .deflate = false},
         {.name = "ppt/slide.xml", .bytes = std::string(3000, 's')}});
  };
  return package(package(0).find(inner.directory));
}

// The tail the library searches, the last 65,578 bytes, and where it starts searching it.
constexpr std::size_t kLibraryTail = 65578;
constexpr std::size_t kLocatorRoom = 20;

// An archive holding ppt/slide.xml and a stored pad entry, `size` bytes long: after the bytes
// `before`, its offsets counting them; `commented`: read through the library, its last entry
// holding a comment, else plain, the pad entry taking up the room.
std::string padded_archive(const std::string& before, std::size_t size, bool commented) {
  const auto parts = [&](std::size_t pad) {
    return Parts(test::zip_bytes(
                     {{.name = "ppt/slide.xml", .bytes = std::string(3000, 's')},
                      {.name = "pad.bin", .bytes = std::string(pad, 'p'), .deflate = false}}))
        .behind(before);
  };
  const std::size_t least = parts(0).with().size();
  if (commented) return parts(0).commented(std::string(size - least, 'c')).with();
  return parts(size - least).with();
}

// Archive A, stored, of one entry, whose end record lies `distance` bytes before the end of the
// file, then archive B, whose offsets count A. `b_disk`: B's end record states that disk, which
// the library cannot take and other readers do.
std::string behind_archive(std::size_t distance, bool commented, std::uint8_t b_disk = 0) {
  const std::string a = test::zip_bytes({{.name = "ppt/a.xml", .bytes = "a", .deflate = false}});
  std::string bytes = padded_archive(a, a.size() + distance - 22, commented);
  bytes[bytes.size() - 22 + 4] = static_cast<char>(b_disk);
  return bytes;
}

// A file of `size` bytes: an end record stating an empty archive, then an archive ending the
// file whose first local header states another time than its central header.
std::string behind_empty_record(std::size_t size, bool commented) {
  std::string bytes = padded_archive(end_record(0, 0, 0), size, commented);
  bytes[22 + 10] ^= 1;
  return bytes;
}

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
    std::string records;
    for (int k = 0; k < count; ++k) records += record;
    return p.commented(records).with();
  };
  struct Case {
    std::string label;
    std::function<std::string(const Parts&)> layout;
    std::string refused;  // empty: the archive opens
    bool library_opens;   // on its own
    // Readers that scan back from the end take another end record than the library.
    bool read_otherwise_backwards = false;
  };
  std::vector<Case> cases = {
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
      {"an end record stating one entry more",
       [](const Parts& p) { return p.with("", p.count + 1, p.directory.size()); },
       "central directory holds 2 entries where its end record states 3", false},
      {"an end record stating one entry fewer",
       [](const Parts& p) { return p.with("", p.count - 1, p.directory.size()); },
       "central directory holds 2 entries where its end record states 1", false},
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
      // The library grows its table by 65,536 entries before it reads a header there.
      {"end records stating no entry over room for a central header",
       [&](const Parts& p) { return in_comment(p, end_record(0, 46, 0), 2); }, two_ways, true},
      // One growth is bounded apart from the entries stated: it opens beside another record.
      {"a stored archive, then an end record of no entries",
       [](const Parts&) { return beside_stored_archive(true); }, "", true},
      {"an end record of no entries, then a stored archive",
       [](const Parts&) { return beside_stored_archive(false); }, "", true},
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
      {"bytes after the end record",
       [](const Parts& p) { return p.with() + std::string(100, '\0'); }, "", true},
      {"a stub before the entries", [](const Parts& p) { return p.stubbed(1000).with(); }, "",
       true},
      // Written before the archive without moving its offsets.
      {"bytes before the entries that the offsets do not count",
       [](const Parts& p) { return std::string(1000, 'z') + p.with(); },
       "archive has 1000 bytes before its first entry that its offsets do not count", false},
      // The first central header is not the first entry: its own local header is looked for.
      {"such bytes before a directory written in reverse",
       [](const Parts& p) {
         Parts reversed = p;
         const std::size_t first = zip_format::central_header_size(p.directory);
         reversed.directory = p.directory.substr(first) + p.directory.substr(0, first);
         return std::string(1000, 'z') + reversed.with();
       },
       "archive has 1000 bytes before its first entry that its offsets do not count", false},
      // Programs that handle archives hold the signatures among their constants.
      {"such bytes holding a local-header signature among text",
       [](const Parts& p) { return std::string("PK\x03\x04PK\x01\x02 signatures") + p.with(); },
       "archive has 19 bytes before its first entry that its offsets do not count", false},
      // A stub too large to be held is searched a window of 64 KiB at a time: a local header
      // across the first window's edge, or its signature alone, is found all the same.
      {"such bytes holding a local header across a window's edge",
       [](const Parts& p) { return stub_holding_local_header(65536 - 10) + p.with(); },
       "Not a zip archive", false},
      {"such bytes holding a local-header signature across a window's edge",
       [](const Parts& p) { return stub_holding_local_header(65536 - 2) + p.with(); },
       "Not a zip archive", false},
      {"one such byte, and bytes after the end record",
       [](const Parts& p) { return "z" + p.with() + std::string(100, '\0'); },
       "archive has 1 byte before its first entry that its offsets do not count", false},
      // Readers scanning back pass over the last record, whose first local header would be the
      // stub, for one in the comment whose own comment reaches the end of the file.
      {"a stub, bytes after the end record, and one in the comment reaching the end",
       [](const Parts& p) {
         const Parts stubbed = p.stubbed(1000);
         const std::string inner =
             stubbed.directory + end_record(p.count, p.directory.size(), 0, 22 + 8);
         return stubbed.commented(inner).with() + std::string(8, '\0');
       },
       two_ways, true, true},
      // A package cut short or damaged starts with its own first entry, where bytes written
      // before one hold no local header: the directory that the size of the record found places,
      // here that of the stored archive, or the package's own, names no such bytes.
      {"a package storing an archive, cut short by a byte",
       [](const Parts&) {
         const std::string whole = storing_archive();
         return whole.substr(0, whole.size() - 1);
       },
       "Not a zip archive", false},
      {"a directory offset stated 7 bytes short",
       [](const Parts& p) {
         return p.body + p.directory + end_record(p.count, p.directory.size(), p.body.size() - 7);
       },
       "Not a zip archive", false},
      // A stub the offsets count, as a self-extractor has, and a directory offset short by the
      // first entry: the second entry's local header lies where the first one's would.
      {"a stub the offsets count, and a directory offset stated short by the first entry",
       [](const Parts& p) {
         const Parts stubbed = p.stubbed(1000);
         const auto& directory = stubbed.directory;
         constexpr std::size_t kOffset = zip_format::central_header::kLocalHeaderOffset;
         const std::uint32_t first_entry =
             zip_format::get32(directory, zip_format::central_header_size(directory) + kOffset) -
             zip_format::get32(directory, kOffset);
         return stubbed.body + directory +
                end_record(p.count, directory.size(), stubbed.body.size() - first_entry);
       },
       "Not a zip archive", false},
      {"bytes before a package of ZIP64 end records storing an archive",
       [](const Parts&) {
         const Parts outer(storing_archive());
         return std::string(17, 'z') + outer.body + outer.directory + outer.zip64() +
                end_record(0xFFFF, ~0u, ~0u);
       },
       "Zip archive inconsistent", false},
      {"an end record before the archive's, stating central headers stored in an entry",
       [](const Parts&) { return storing_directory(); }, two_ways, true},
      // One more record after the archive's, whose stated directory holds no central header:
      // readers taking the last signature find none there.
      {"an end record after the archive's, stating its directory at 0",
       [](const Parts& p) { return p.with() + end_record(0, 0, 0); }, two_ways, true},
      {"an end record after the archive's, stating 10 bytes of directory at 0",
       [](const Parts& p) { return p.with() + end_record(0, 10, 0); }, two_ways, true},
      {"an end record after the archive's, stating its directory past the end",
       [](const Parts& p) { return p.with() + end_record(0, 0, p.with().size() + 1000); }, two_ways,
       true},
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
  // At the edge of the library's tail and one byte either side, on both roads: an earlier
  // record at the first place searched, and a file of its length, searched from its first byte
  // when shorter.
  for (const int step : {-1, 0, 1}) {
    const std::size_t distance = kLibraryTail - kLocatorRoom + step;
    const std::size_t size = kLibraryTail - 1 + step;
    const bool searched = step <= 0;
    const std::string place = std::to_string(distance) + " bytes from the end";
    for (const bool commented : {false, true}) {
      const std::string road = commented ? ", B's entry commented" : "";
      cases.push_back({"archive B behind A, A's record " + place + road,
                       [=](const Parts&) { return behind_archive(distance, commented); },
                       searched ? two_ways : "", true});
      cases.push_back({std::to_string(size) + " bytes, an empty archive's record first" + road,
                       [=](const Parts&) { return behind_empty_record(size, commented); },
                       searched ? two_ways : "", true});
    }
    // The only record the library can take is A's: B's states another disk.
    cases.push_back({"archive B of disk 1 behind A, A's record " + place,
                     [=](const Parts&) { return behind_archive(distance, true, 1); },
                     searched ? two_ways : "Multi-disk zip archives not supported", searched});
  }
  // A small archive, read whole when opened, and one too large for that, read from the file.
  std::vector<std::string> bases;
  for (const std::size_t media : {std::size_t{100}, StoredEntryHeaders::kMostHeldBytes}) {
    bases.push_back(
        test::zip_bytes({{.name = "media.bin", .bytes = test::noise(media, 3), .deflate = false},
                         {.name = "ppt/slide.xml", .bytes = std::string(3000, 's')}}));
  }
  test::TempDir dir;
  for (const std::string& base : bases) {
    for (const Case& c : cases) {
      const std::string bytes = c.layout(Parts(base));
      SCOPED_TRACE(c.label + ", " + std::to_string(bytes.size()) + " bytes");
      EXPECT_EQ(library_opens(bytes), c.library_opens);
      // Every layout that opens is one that readers scanning back read as the library does.
      const auto ours = EndRecords::find(ArchiveSource(bytes)).last();
      if (c.refused.empty() || c.read_otherwise_backwards)
        EXPECT_EQ(ours && backward_reader_record(bytes) != ours->at, c.read_otherwise_backwards);
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

// The library as the oracle of its own tail: the rows at its edge, swept byte by byte across it
// (the earlier record's distance from the end, and the file's size), are read, from a file and
// from bytes, only as the library reads them, entry for entry.
TEST(EndRecords, WhereAnArchiveIsReadItListsWhatTheLibraryLists) {
  std::vector<std::string> layouts;
  for (const bool commented : {false, true}) {
    for (std::size_t distance = 65540; distance <= 65600; ++distance) {
      layouts.push_back(behind_archive(distance, commented));
      layouts.push_back(behind_archive(distance, commented, 1));
    }
    for (std::size_t size = 65560; size <= 65600; ++size)
      layouts.push_back(behind_empty_record(size, commented));
  }
  test::TempDir dir;
  std::size_t read = 0;
  for (const std::string& bytes : layouts) {
    SCOPED_TRACE(std::to_string(bytes.size()) + " bytes, layout " +
                 std::to_string(&bytes - layouts.data()));
    std::optional<std::vector<std::string>> theirs;
    if (auto library = open_library_archive(bytes)) {
      theirs.emplace();
      for (std::uint64_t k = 0; k < library_entry_count(*library); ++k)
        theirs->emplace_back(library_entry_name(*library, k));
      zip_discard(*library);
    }
    test::write_file(dir.file("case.zip"), bytes);
    Result<PackageArchive> opened[] = {PackageArchive::open_file(dir.file("case.zip")),
                                       PackageArchive::open_bytes(bytes)};
    for (const auto& ours : opened) {
      if (!ours) continue;
      ++read;
      std::vector<std::string> names;
      for (std::uint64_t k = 0; k < ours->entry_count(); ++k)
        names.emplace_back(ours->entry_name(k));
      EXPECT_EQ(names, theirs.value_or(std::vector<std::string>{"(not opened)"}));
    }
  }
  // Some of them are read, and some refused.
  EXPECT_GT(read, 0u);
  EXPECT_LT(read, 2 * layouts.size());
}

// An earlier end record that readers scanning back from the end take, placed at each offset near
// the edges of the window they search and of their blocks, refuses the archive exactly when their
// own loop reaches it: the stub before the entries has them pass over the last record.
TEST(EndRecords, ReadersScanningBackAreFollowedAtEveryEdgeOfTheirSearch) {
  constexpr std::size_t kPad = 70000;
  const Parts stubbed =
      Parts(test::zip_bytes(
                {{.name = "ppt/slide.xml", .bytes = std::string(3000, 's')},
                 {.name = "pad.bin", .bytes = std::string(kPad, '\0'), .deflate = false}}))
          .stubbed(1000);
  const std::string base = stubbed.with() + std::string(8, '\0');
  const auto size = static_cast<std::int64_t>(base.size());
  const std::int64_t lowest = size - 65557 - 106;
  const std::int64_t window = size - 128 - (size - 128 - lowest) / 106 * 106;
  std::vector<std::int64_t> offsets;
  for (const std::int64_t edge :
       {window, size - 128 - 106, size - 22 - 106, size - 128 - 106 * 300, size - 22 - 106 * 300})
    for (std::int64_t at = edge - 2; at <= edge + 2; ++at) offsets.push_back(at);
  int refused = 0;
  for (const std::int64_t at : offsets) {
    SCOPED_TRACE(at - window);
    // A central-header signature right before it, and its first local header the entries' first.
    std::string bytes = base;
    const auto directory = static_cast<std::size_t>(at - 46);
    ASSERT_GE(directory, stubbed.body.size() - kPad);
    bytes.replace(directory, 4, "PK\x01\x02", 4);
    bytes.replace(static_cast<std::size_t>(at), 22, end_record(1, 46, directory - 1000));
    const ArchiveSource source(bytes);
    const EndRecords records = EndRecords::find(source);
    ASSERT_TRUE(records.last());
    // Where their search finds nothing, they read no archive at all: no second reading.
    const auto theirs = backward_reader_record(bytes);
    const bool taken_before = theirs && *theirs != records.last()->at;
    EXPECT_EQ(!records.check_readers_agree(source), taken_before);
    refused += taken_before;
  }
  EXPECT_GT(refused, 0);
  EXPECT_LT(refused, static_cast<int>(offsets.size()));
}

// The archive library's open path and name table are modelled on one release: another is looked
// at before it is trusted.
TEST(EndRecords, TheLinkedLibraryIsTheReleaseModelled) {
  EXPECT_EQ(std::string_view(zip_libzip_version()), kModelledLibraryVersion);
}

}  // namespace
}  // namespace pelvane
