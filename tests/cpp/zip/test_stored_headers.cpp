// The stored headers stand in for the archive library only where it would read the same: a
// plain archive gives the library's names, lookups and contents (and its errors), and an entry
// counts as opening from its headers only when the library opens it.
#include <zip.h>

#include <algorithm>
#include <filesystem>
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

using test::TempDir;

const std::vector<test::ZipEntry> kEntries = {
    {.name = "[Content_Types].xml", .bytes = "<Types/>", .deflate = false},
    {.name = "ppt/slides/slide1.xml", .bytes = std::string(3000, 's')},
    {.name = "ppt/media/image1.png", .bytes = test::noise(5000, 7), .deflate = false},
    {.name = "ppt/slides/slide2.xml", .bytes = "<p:sld>two</p:sld>"},
};

// `kEntries` as written, a file small enough to be held in memory when read, and the same with
// a stored entry after them that makes it too large, so that it is read from the file.
std::vector<std::string> base_archives() {
  std::vector<test::ZipEntry> large = kEntries;
  large.push_back({.name = "ppt/media/media1.bin",
                   .bytes = test::noise(StoredEntryHeaders::kMostHeldBytes, 3),
                   .deflate = false});
  return {test::zip_bytes(kEntries), test::zip_bytes(large)};
}

// The offset of the central (or local) header of the entry named `name`.
std::size_t header_of(const std::string& bytes, std::string_view name, bool central) {
  const std::string_view magic = central ? std::string_view("PK\x01\x02", 4) : "PK\x03\x04";
  const std::size_t name_at = central ? 46 : 30;
  for (std::size_t at = bytes.find(magic); at != std::string::npos;
       at = bytes.find(magic, at + 1)) {
    if (bytes.compare(at + name_at, name.size(), name) == 0) return at;
  }
  throw std::runtime_error("no header for " + std::string(name));
}

// Renames an entry in both of its headers (the new name has the same length).
void rename_entry(std::string& bytes, std::string_view from, std::string_view to) {
  const std::size_t local = header_of(bytes, from, false);
  const std::size_t central = header_of(bytes, from, true);
  bytes.replace(local + 30, to.size(), to);
  bytes.replace(central + 46, to.size(), to);
}

// What the archive library itself reads: every name, and every entry's content or error text.
struct LibraryView {
  std::vector<std::string> names;
  std::vector<std::string> contents;  // "error: <text>" when the read fails
};

LibraryView library_view(const std::string& path) {
  int code = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &code);
  if (archive == nullptr) throw std::runtime_error("the library cannot open " + path);
  LibraryView view;
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    view.names.emplace_back(zip_get_name(archive, static_cast<zip_uint64_t>(i), 0));
    zip_file_t* file = zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0);
    if (file == nullptr) {
      view.contents.push_back("error: " + std::string(zip_strerror(archive)));
      continue;
    }
    std::string content;
    char chunk[4096];
    zip_int64_t got = 0;
    while ((got = zip_fread(file, chunk, sizeof chunk)) > 0)
      content.append(chunk, static_cast<std::size_t>(got));
    view.contents.push_back(got < 0 ? "error: " + std::string(zip_file_strerror(file)) : content);
    zip_fclose(file);
  }
  zip_discard(archive);
  return view;
}

void expect_read_as_the_library_reads(PackageArchive& archive, const std::string& path,
                                      const std::string& label) {
  const LibraryView expected = library_view(path);
  ASSERT_EQ(archive.entry_count(), expected.names.size()) << label;
  for (std::uint64_t i = 0; i < expected.names.size(); ++i) {
    EXPECT_EQ(archive.entry_name(i), expected.names[i]) << label;
    // The first entry of a name is the one found.
    const auto first = std::find(expected.names.begin(), expected.names.end(), expected.names[i]);
    EXPECT_EQ(archive.find(expected.names[i]), first - expected.names.begin()) << label;
    auto content = read_archive_entry(archive, i);
    EXPECT_EQ(content ? *content : "error: " + content.error().message(), expected.contents[i])
        << label << ", entry " << i;
    // Streamed in small pieces, through the plain reading and the library's where it takes over.
    std::string streamed;
    std::vector<char> piece(700);
    auto entry = EntryReader::open(archive, i);
    const auto size =
        entry ? stream_archive_entry(*entry, piece,
                                     [&](std::string_view bytes) { streamed.append(bytes); })
              : Result<std::uint64_t>(std::unexpected(entry.error()));
    EXPECT_EQ(size ? streamed : "error: " + size.error().message(), expected.contents[i])
        << label << ", entry " << i << " streamed";
  }
}

TEST(PlainArchives, ReadAsTheArchiveLibraryReadsThem) {
  struct Case {
    std::string label;
    std::function<void(std::string&)> change;
    bool plain;
  };
  const std::vector<Case> cases = {
      {"as written", [](std::string&) {}, true},
      {"an archive comment",
       [](std::string& bytes) {
         bytes[bytes.size() - 2] = 4;
         bytes += "note";
       },
       true},
      {"bytes after the end record", [](std::string& bytes) { bytes += "tail"; }, false},
      {"two entries of one name",
       [](std::string& bytes) {
         rename_entry(bytes, "ppt/slides/slide2.xml", "ppt/slides/slide1.xml");
       },
       false},
      {"a name that is not UTF-8",
       [](std::string& bytes) {
         rename_entry(bytes, "ppt/slides/slide2.xml",
                      "ppt/slides/slid\xe9"
                      "2.xml");
       },
       false},
      {"UTF-8 beyond ASCII in a name's last bytes",
       [](std::string& bytes) {
         rename_entry(bytes, "ppt/slides/slide2.xml", "ppt/slides/slide2.\xc3\xa9l");
       },
       true},
      {"damaged Deflate data",
       [](std::string& bytes) {
         const std::size_t local = header_of(bytes, "ppt/slides/slide1.xml", false);
         const std::size_t extra = static_cast<unsigned char>(bytes[local + 28]) |
                                   static_cast<unsigned char>(bytes[local + 29]) << 8;
         bytes.replace(local + 30 + 21 + extra, 4, "\xff\xff\xff\xff");
       },
       true},
      {"a CRC-32 that does not match",
       [](std::string& bytes) {
         for (bool central : {false, true}) {
           const std::size_t at = header_of(bytes, "ppt/slides/slide2.xml", central);
           bytes[at + (central ? 16 : 14)] ^= 0x55;
         }
       },
       true},
  };
  TempDir dir;
  for (const std::string& base : base_archives()) {
    for (const Case& c : cases) {
      std::string bytes = base;
      c.change(bytes);
      const std::string path = dir.file("case.zip");
      test::write_file(path, bytes);
      const std::string label = c.label + ", " + std::to_string(bytes.size()) + " bytes";
      auto archive = PackageArchive::open_file(path);
      ASSERT_TRUE(archive) << label;
      EXPECT_EQ(archive->plain_headers() != nullptr, c.plain) << label;
      expect_read_as_the_library_reads(*archive, path, label);
    }
  }
  // And the real decks, which are plain.
  const auto decks = test::decks_dir();
  if (!decks) return;
  for (const auto& entry : std::filesystem::directory_iterator(*decks)) {
    const std::string path = entry.path().string();
    if (!path.ends_with(".pptx") && !path.ends_with(".pptm")) continue;
    auto archive = PackageArchive::open_file(path);
    ASSERT_TRUE(archive) << path;
    EXPECT_NE(archive->plain_headers(), nullptr) << path;
    expect_read_as_the_library_reads(*archive, path, path);
  }
}

// Where the library reads another directory than the one read here, or one where none was read,
// the archive is refused: a reading that the checks here missed never goes on unchecked.
TEST(StoredHeaders, ALibraryReadingOtherwiseThanTheHeadersFailsClosed) {
  const std::string archive = base_archives().front();
  std::string renamed = archive;
  rename_entry(renamed, "ppt/slides/slide2.xml", "ppt/slides/slide3.xml");
  const std::string fewer = test::zip_bytes({kEntries[0], kEntries[1]});
  struct Case {
    std::string label;
    std::string read_here;
    bool agrees;
  };
  const std::vector<Case> cases = {
      {"the same archive", archive, true},
      {"another name", renamed, false},
      {"fewer entries", fewer, false},
      {"no end record", std::string(100, 'z'), false},
  };
  zip_t* library = open_library_archive(archive).value();
  for (const Case& c : cases) {
    StoredEntryHeaders headers = StoredEntryHeaders::read_bytes(c.read_here);
    const auto agree = headers.agree_with_library(library);
    EXPECT_EQ(agree ? "agrees" : agree.error().to_string(),
              c.agrees ? "agrees"
                       : "zip error: archive library reads a directory that could not be checked")
        << c.label;
  }
  zip_discard(library);
}

TEST(StoredHeaders, AnEntryOpensFromItsHeadersOnlyWhenTheLibraryOpensIt) {
  const std::string_view damaged = "ppt/slides/slide1.xml";
  struct Case {
    std::string label;
    std::size_t at;  // offset in the local header of `damaged`
    std::string bytes;
  };
  const std::vector<Case> cases = {
      {"undamaged", 0, "PK"},
      {"no local signature", 0, "QK"},
      {"another local name", 30, "qpt"},
      {"another local method", 8, "\x0c"},
      {"encrypted in the local header", 6, "\x01"},
      {"other sizes in the local header", 18, "\x01\x02"},
  };
  TempDir dir;
  for (const std::string& base : base_archives()) {
    for (const Case& c : cases) {
      std::string bytes = base;
      bytes.replace(header_of(base, damaged, false) + c.at, c.bytes.size(), c.bytes);
      const std::string path = dir.file("case.zip");
      test::write_file(path, bytes);
      auto archive = PackageArchive::open_file(path);
      const std::string label = c.label + ", " + std::to_string(bytes.size()) + " bytes";
      ASSERT_TRUE(archive) << label;
      const StoredEntryHeaders& headers = archive->stored_headers();
      for (std::uint64_t i = 0; i < archive->entry_count(); ++i) {
        const bool is_damaged = archive->entry_name(i) == damaged && c.label != "undamaged";
        EXPECT_EQ(headers.opens(i), !is_damaged) << label << ", entry " << i;
      }
      // Whatever the headers say, the check answers as the library does.
      int code = 0;
      zip_t* library = zip_open(path.c_str(), ZIP_RDONLY, &code);
      ASSERT_NE(library, nullptr);
      zip_file_t* file = zip_fopen_index(library, 1, ZIP_FL_COMPRESSED);
      const auto checked = check_entry_opens(*archive, 1);
      EXPECT_EQ(checked.has_value(), file != nullptr) << label;
      if (!checked) EXPECT_EQ(checked.error().message(), zip_strerror(library)) << label;
      if (file != nullptr) zip_fclose(file);
      zip_discard(library);
    }
  }
}

}  // namespace
}  // namespace pelvane
