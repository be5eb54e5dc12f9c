#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

#include "core/base/sha256.hpp"
#include "core/inspect/manifest.hpp"
#include "core/package/package_rewrite.hpp"
#include "core/zip/package_archive.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

using test::TempDir;
using test::ZipEntry;

constexpr std::string_view kEmptyDigest =
    "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

using test::noise;

std::vector<std::string> part_names(const PackageManifest& manifest) {
  std::vector<std::string> names;
  for (const auto& part : manifest.parts) names.push_back(part.name);
  return names;
}

const PartRecord& part(const PackageManifest& manifest, std::string_view name) {
  for (const auto& record : manifest.parts) {
    if (record.name == name) return record;
  }
  throw std::runtime_error("no part " + std::string(name));
}

bool reads_absent(const Result<std::optional<std::string>>& read) { return read && !*read; }

// Replaces the first occurrence of `from` in the file by `to` (same length).
void patch_file(const std::string& path, std::string_view from, std::string_view to) {
  std::string bytes = test::read_file(path);
  const auto at = bytes.find(from);
  ASSERT_NE(at, std::string::npos);
  bytes.replace(at, from.size(), to);
  test::write_file(path, bytes);
}

TEST(PartKind, IsDecidedByTheFirstMatchingNameRule) {
  struct Case {
    const char* name;
    PartKind kind;
  };
  const Case cases[] = {
      {"ppt/slides/_rels/slide1.xml.rels", PartKind::Relationships},
      {"ppt/embeddings/oleObject1.bin.rels", PartKind::Relationships},
      {"ppt/vbaProject.bin", PartKind::Vba},
      {"ppt/media/vbaProject.bin", PartKind::Vba},
      {"ppt/media/image1.xml", PartKind::Xml},
      {"[Content_Types].xml", PartKind::Xml},
      {"ppt/media/image1.png", PartKind::Media},
      {"ppt/media/", PartKind::Media},
      {"ppt/embeddings/oleObject1.bin", PartKind::Embedding},
      {"PPT/MEDIA/image1.png", PartKind::Binary},
      {"ppt/", PartKind::Binary},
      {"xml", PartKind::Binary},
      {"", PartKind::Binary},
      {"docProps/thumbnail.jpeg", PartKind::Binary},
  };
  for (const Case& c : cases) EXPECT_EQ(part_kind(c.name), c.kind) << c.name;
}

TEST(Manifest, ListsEveryEntrySortedByteWiseWithSizesDigestsAndKinds) {
  TempDir dir;
  const std::string path = dir.file("deck.pptx");
  const std::string big = noise((3u << 20) + 17, 1);  // spans several read chunks
  test::write_zip(path, {
                            {.name = "ppt/slides/slide2.xml", .bytes = "<two/>"},
                            {.name = "ppt/slides/slide10.xml", .bytes = "<ten/>", .deflate = false},
                            {.name = "_rels/.rels", .bytes = "<Relationships/>"},
                            {.name = "ppt/", .directory = true},
                            {.name = "ppt/media/", .directory = true},
                            {.name = "ppt/media/image1.png", .bytes = big},
                            {.name = "ppt/media/stored.bin", .bytes = big, .deflate = false},
                            {.name = "[Content_Types].xml", .bytes = "<Types/>"},
                            {.name = "docProps/app.xml", .bytes = ""},
                            {.name = "ppt/media/\xc3\xbcmlaut.png", .bytes = "u"},
                        });
  const auto manifest = inspect_package(path);
  ASSERT_TRUE(manifest) << manifest.error().to_string();
  EXPECT_EQ(manifest->path, path);
  EXPECT_EQ(part_names(*manifest),
            (std::vector<std::string>{"[Content_Types].xml", "_rels/.rels", "docProps/app.xml",
                                      "ppt/", "ppt/media/", "ppt/media/image1.png",
                                      "ppt/media/stored.bin", "ppt/media/\xc3\xbcmlaut.png",
                                      "ppt/slides/slide10.xml", "ppt/slides/slide2.xml"}));
  EXPECT_EQ(part(*manifest, "ppt/media/image1.png").size, big.size());
  EXPECT_EQ(part(*manifest, "ppt/media/image1.png").sha256, sha256_hex(big));
  EXPECT_EQ(part(*manifest, "ppt/media/stored.bin").sha256, sha256_hex(big));
  EXPECT_EQ(part(*manifest, "ppt/media/stored.bin").kind, PartKind::Media);
  EXPECT_EQ(part(*manifest, "ppt/slides/slide10.xml").sha256, sha256_hex("<ten/>"));
  EXPECT_EQ(part(*manifest, "_rels/.rels").kind, PartKind::Relationships);
  for (const char* empty : {"docProps/app.xml", "ppt/media/", "ppt/"}) {
    EXPECT_EQ(part(*manifest, empty).size, 0u) << empty;
    EXPECT_EQ(part(*manifest, empty).sha256, kEmptyDigest) << empty;
  }
  EXPECT_EQ(part(*manifest, "ppt/media/").kind, PartKind::Media);
  EXPECT_EQ(part(*manifest, "ppt/").kind, PartKind::Binary);
  EXPECT_FALSE(manifest->has_vba());
}

TEST(Manifest, OfAnArchiveWithoutEntriesIsEmpty) {
  TempDir dir;
  const std::string path = dir.file("empty.pptx");
  test::write_zip(path, {});
  const auto manifest = inspect_package(path);
  ASSERT_TRUE(manifest) << manifest.error().to_string();
  EXPECT_TRUE(manifest->parts.empty());
  EXPECT_FALSE(manifest->has_vba());
}

TEST(Manifest, ReportsAMacroProject) {
  const std::string bytes = test::zip_bytes({{.name = "ppt/vbaProject.bin", .bytes = "macro"},
                                             {.name = "ppt/presentation.xml", .bytes = "<p/>"}});
  auto archive = PackageArchive::open_bytes(bytes);
  ASSERT_TRUE(archive);
  const auto manifest = inspect_archive("in-memory.pptm", *archive);
  ASSERT_TRUE(manifest);
  EXPECT_EQ(manifest->path, "in-memory.pptm");
  EXPECT_TRUE(manifest->has_vba());
}

TEST(Archive, FindsEntriesByExactNameAndReadsThemAsTextOrBytes) {
  const std::string binary("\x89PNG\r\n\x1a\n\xff\xfe\x00", 11);
  const std::string bytes = test::zip_bytes({
      {.name = "ppt/presentation.xml", .bytes = "<p:presentation/>"},
      {.name = "ppt/bom.xml", .bytes = "\xef\xbb\xbf<a/>"},
      {.name = "ppt/media/image1.png", .bytes = binary, .deflate = false},
      {.name = "ppt/media/", .directory = true},
  });
  auto opened = PackageArchive::open_bytes(bytes);
  ASSERT_TRUE(opened) << opened.error().to_string();
  PackageArchive& archive = *opened;
  ASSERT_EQ(archive.entry_count(), 4u);
  EXPECT_EQ(archive.entry_name(2), "ppt/media/image1.png");
  EXPECT_TRUE(archive.is_directory(3));
  EXPECT_FALSE(archive.is_directory(0));
  EXPECT_EQ(archive.find("ppt/media/image1.png"), 2u);

  EXPECT_EQ(*read_archive_text(archive, "ppt/presentation.xml"), "<p:presentation/>");
  // The byte-order mark stays.
  EXPECT_EQ(*read_archive_text(archive, "ppt/bom.xml"), "\xef\xbb\xbf<a/>");
  EXPECT_EQ(*read_archive_bytes(archive, "ppt/media/image1.png"), binary);
  EXPECT_EQ(*read_archive_bytes(archive, "ppt/media/"), "");

  // Names match byte for byte: no leading "/", no case folding, no cut at a NUL byte.
  for (std::string_view absent :
       {std::string_view("/ppt/presentation.xml"), std::string_view("PPT/presentation.xml"),
        std::string_view("ppt/presentation.xml\0x", 22), std::string_view("ppt/presentation"),
        std::string_view("")}) {
    EXPECT_EQ(archive.find(absent), std::nullopt) << absent;
    EXPECT_TRUE(reads_absent(read_archive_text(archive, absent))) << absent;
    EXPECT_TRUE(reads_absent(read_archive_bytes(archive, absent))) << absent;
  }

  // Readers leave the archive usable for further reads, whatever they return.
  EXPECT_FALSE(read_archive_text(archive, "ppt/media/image1.png"));
  EXPECT_EQ(*read_archive_text(archive, "ppt/presentation.xml"), "<p:presentation/>");
}

TEST(Archive, TextReaderRefusesBytesThatAreNotUtf8) {
  const std::string bytes = test::zip_bytes(
      {{.name = "a.xml", .bytes = "caf\xe9"}, {.name = "b.xml", .bytes = "\xed\xa0\x80"}});
  auto archive = PackageArchive::open_bytes(bytes);
  ASSERT_TRUE(archive);
  for (const char* name : {"a.xml", "b.xml"}) {
    const auto text = read_archive_text(*archive, name);
    ASSERT_FALSE(text) << name;
    EXPECT_EQ(text.error().to_string(), "io error: stream did not contain valid UTF-8");
  }
}

TEST(Archive, EncryptedEntryReadsAsAbsentTextButFailsAsBytes) {
  const std::string bytes =
      test::zip_bytes({{.name = "ppt/slides/slide1.xml", .bytes = "<secret/>", .password = "pw"}});
  auto archive = PackageArchive::open_bytes(bytes);
  ASSERT_TRUE(archive);
  EXPECT_TRUE(reads_absent(read_archive_text(*archive, "ppt/slides/slide1.xml")));
  const auto raw = read_archive_bytes(*archive, "ppt/slides/slide1.xml");
  ASSERT_FALSE(raw);
  EXPECT_EQ(raw.error().kind(), PelvaneError::Kind::Zip);
  const auto manifest = inspect_archive("x", *archive);
  ASSERT_FALSE(manifest);
  EXPECT_EQ(manifest.error().kind(), PelvaneError::Kind::Zip);
}

TEST(Archive, StreamsAnEntryInChunks) {
  const std::string big = noise((2u << 20) + 5, 7);
  const std::string bytes = test::zip_bytes({{.name = "big.bin", .bytes = big}});
  auto archive = PackageArchive::open_bytes(bytes);
  ASSERT_TRUE(archive);
  std::string gathered;
  std::size_t chunks = 0;
  auto entry = EntryReader::open(*archive, 0);
  ASSERT_TRUE(entry);
  std::vector<char> buffer(1u << 20);
  const auto size = stream_archive_entry(*entry, buffer, [&](std::string_view chunk) {
    gathered.append(chunk);
    ++chunks;
  });
  ASSERT_TRUE(size);
  EXPECT_EQ(*size, big.size());
  EXPECT_EQ(gathered, big);
  EXPECT_GT(chunks, 1u);
  EXPECT_FALSE(EntryReader::open(*archive, 5));
}

TEST(DamagedPackages, FailWithTheirErrorAndNeverCrash) {
  TempDir dir;
  const std::string good = dir.file("good.pptx");
  test::write_zip(good, {{.name = "ppt/presentation.xml", .bytes = "<presentation/>"},
                         {.name = "ppt/media/image1.png", .bytes = noise(4096, 3)}});
  const std::string whole = test::read_file(good);

  struct Case {
    std::string label;
    std::string path;
    std::string error;
  };
  std::vector<Case> cases;
  cases.push_back({"missing", dir.file("missing.pptx"), "io error: No such file or directory"});
  cases.push_back({"directory", dir.path().string(), "io error: Is a directory"});
  cases.push_back({"nul byte", std::string("good.pptx\0.bak", 14),
                   "io error: file name contained an unexpected NUL byte"});
  const std::string empty = dir.file("empty.pptx");
  test::write_file(empty, "");
  cases.push_back({"empty file", empty, "zip error: Not a zip archive"});
  const std::string text = dir.file("notes.txt");
  test::write_file(text, "this is not an archive\n");
  cases.push_back({"not a zip", text, "zip error: Not a zip archive"});
  for (std::size_t keep : {whole.size() / 2, whole.size() - 10}) {
    const std::string truncated = dir.file("truncated" + std::to_string(keep) + ".pptx");
    test::write_file(truncated, std::string_view(whole).substr(0, keep));
    // Cut short of its end record, it reads as no archive, whatever its offsets then count.
    cases.push_back({"truncated", truncated, "zip error: Not a zip archive"});
  }
  for (const Case& c : cases) {
    const auto manifest = inspect_package(c.path);
    ASSERT_FALSE(manifest) << c.label;
    EXPECT_EQ(manifest.error().to_string(), c.error) << c.label;
  }
}

TEST(DamagedPackages, CorruptEntryDataIsAnIoErrorForEveryReader) {
  TempDir dir;
  const std::string path = dir.file("crc.pptx");
  test::write_zip(
      path,
      {{.name = "ppt/slides/slide1.xml", .bytes = "<slide>ORIGINAL</slide>", .deflate = false},
       {.name = "ppt/slides/slide2.xml", .bytes = std::string(5000, 'a')}});
  patch_file(path, "ORIGINAL", "TAMPERED");
  // Make the Deflate stream of the second entry invalid: its local header is found after the
  // first entry's data; overwrite the start of its compressed bytes.
  std::string bytes = test::read_file(path);
  const auto second = bytes.find("ppt/slides/slide2.xml");
  ASSERT_NE(second, std::string::npos);
  const auto extra = static_cast<unsigned char>(bytes[second - 2]) |
                     (static_cast<unsigned char>(bytes[second - 1]) << 8);
  const std::size_t data = second + 21 + extra;
  for (std::size_t i = 0; i < 6; ++i) bytes[data + i] = '\xff';
  test::write_file(path, bytes);

  const auto manifest = inspect_package(path);
  ASSERT_FALSE(manifest);
  EXPECT_EQ(manifest.error().kind(), PelvaneError::Kind::Io) << manifest.error().to_string();

  auto archive = PackageArchive::open_file(path);
  ASSERT_TRUE(archive) << archive.error().to_string();
  for (const char* name : {"ppt/slides/slide1.xml", "ppt/slides/slide2.xml"}) {
    const auto text = read_archive_text(*archive, name);
    ASSERT_FALSE(text) << name;
    EXPECT_EQ(text.error().kind(), PelvaneError::Kind::Io) << text.error().to_string();
    const auto raw = read_archive_bytes(*archive, name);
    ASSERT_FALSE(raw) << name;
    EXPECT_EQ(raw.error().kind(), PelvaneError::Kind::Io) << raw.error().to_string();
  }
  EXPECT_EQ(read_archive_text(*archive, "ppt/slides/slide1.xml").error().to_string(),
            "io error: CRC error");
}

TEST(DamagedPackages, EntryThatCannotBeOpenedIsAbsentTextButAZipError) {
  TempDir dir;
  const std::string path = dir.file("method.pptx");
  test::write_zip(path, {{.name = "ppt/presentation.xml", .bytes = "<p/>", .deflate = false}});
  // Give the entry a compression method that no reader supports, in both of its headers.
  std::string bytes = test::read_file(path);
  for (std::string_view magic : {std::string_view("PK\x01\x02"), std::string_view("PK\x03\x04")}) {
    const auto at = bytes.find(magic);
    ASSERT_NE(at, std::string::npos);
    const std::size_t method = at + (magic[2] == '\x01' ? 10 : 8);
    bytes[method] = '\x10';
    bytes[method + 1] = '\0';
  }
  test::write_file(path, bytes);

  const auto manifest = inspect_package(path);
  ASSERT_FALSE(manifest);
  EXPECT_EQ(manifest.error().kind(), PelvaneError::Kind::Zip) << manifest.error().to_string();
  auto archive = PackageArchive::open_file(path);
  ASSERT_TRUE(archive);
  EXPECT_TRUE(reads_absent(read_archive_text(*archive, "ppt/presentation.xml")));
  const auto raw = read_archive_bytes(*archive, "ppt/presentation.xml");
  ASSERT_FALSE(raw);
  EXPECT_EQ(raw.error().kind(), PelvaneError::Kind::Zip);
}

TEST(DamagedPackages, AFileThatShrinksOnceOpenIsSaidToHaveChanged) {
  // Larger than a file held whole when opened: the slide's local header is read from the file.
  TempDir dir;
  const std::string path = dir.file("shrinking.pptx");
  test::write_zip(path,
                  {{.name = "ppt/media/noise.bin", .bytes = noise(6 << 20, 7), .deflate = false},
                   {.name = "ppt/slides/slide1.xml", .bytes = "<p:sld/>"}});
  auto archive = PackageArchive::open_file(path);
  ASSERT_TRUE(archive);
  ASSERT_EQ(::truncate(path.c_str(), 1 << 20), 0);
  const std::string changed = "io error: " + path + " changed while it was read";
  // Not a part that is absent, an entry that cannot be read, a copy cut short, or a file that the
  // archive library cannot open.
  EXPECT_EQ(archive->library().error().to_string(), changed);
  EXPECT_EQ(read_archive_text(*archive, "ppt/slides/slide1.xml").error().to_string(), changed);
  EXPECT_EQ(inspect_archive(path, *archive).error().to_string(), changed);
  EXPECT_EQ(write_package(*archive, dir.file("out.pptx"), {}).error().to_string(), changed);
}

// Sets the uncompressed size that the local and the central header of entry `name` declare.
std::string declaring_size(std::string bytes, std::string_view name, std::uint32_t size) {
  int patched = 0;
  for (const auto& [magic, name_at, size_at] :
       {std::tuple{std::string_view("PK\x03\x04"), 30, 22},
        std::tuple{std::string_view("PK\x01\x02"), 46, 24}}) {
    for (auto at = bytes.find(magic); at != std::string::npos; at = bytes.find(magic, at + 1)) {
      if (std::string_view(bytes).substr(at + name_at, name.size()) != name) continue;
      for (int i = 0; i < 4; ++i) bytes[at + size_at + i] = static_cast<char>(size >> (8 * i));
      ++patched;
    }
  }
  EXPECT_EQ(patched, 2) << name;
  return bytes;
}

TEST(DeclaredSizes, ContentThatGoesOnPastOrEndsBeforeItFailsInEveryReader) {
  struct Case {
    const char* label;
    std::string content;
    bool deflate;
    std::uint32_t declared;
  };
  const Case cases[] = {
      {"inflates far past", std::string(64u << 20, ' '), true, 1000},
      {"stored, longer", std::string(5000, 'a'), false, 10},
      {"one byte past", "<p/>", true, 3},
      {"declared empty", "x", true, 0},
      {"ends before", std::string(100, 'b'), true, 5000},
      {"stored, shorter", std::string(100, 'c'), false, 101},
  };
  const std::string name = "ppt/presentation.xml";
  const std::string message = "zip error: entry " + name + " does not inflate to its declared size";
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string bytes =
        declaring_size(test::zip_bytes({{.name = "a.xml", .bytes = "<a/>"},
                                        {.name = name, .bytes = c.content, .deflate = c.deflate}}),
                       name, c.declared);
    // Over bytes, read by the archive library; over a file, read through its stored headers.
    const std::string path = dir.file("declared.zip");
    test::write_file(path, bytes);
    for (const bool from_file : {false, true}) {
      SCOPED_TRACE(from_file ? "file" : "bytes");
      auto archive =
          from_file ? PackageArchive::open_file(path) : PackageArchive::open_bytes(bytes);
      ASSERT_TRUE(archive) << archive.error().to_string();

      const auto manifest = inspect_archive("deck.pptx", *archive);
      ASSERT_FALSE(manifest);
      EXPECT_EQ(manifest.error().to_string(), message);
      const auto text = read_archive_text(*archive, name);
      ASSERT_FALSE(text);
      EXPECT_EQ(text.error().to_string(), message);
      const auto raw = read_archive_bytes(*archive, name);
      ASSERT_FALSE(raw);
      EXPECT_EQ(raw.error().to_string(), message);
      // Streamed, nothing past the declared size reaches the sink.
      auto entry = EntryReader::open(*archive, 1);
      ASSERT_TRUE(entry);
      std::vector<char> buffer(1u << 20);
      std::uint64_t streamed = 0;
      const auto size = stream_archive_entry(
          *entry, buffer, [&](std::string_view chunk) { streamed += chunk.size(); });
      ASSERT_FALSE(size);
      EXPECT_EQ(size.error().to_string(), message);
      EXPECT_LE(streamed, c.declared);
      // A rewrite that decompresses the entry again stops the same way. A kept entry is not
      // decompressed in either rewrite style: its compressed bytes are taken over as they are.
      for (const RewriteStyle style : {RewriteStyle::Recompress, RewriteStyle::RawCopy}) {
        std::string output;
        const auto kept = write_package_to_buffer(*archive, output, {.style = style});
        EXPECT_TRUE(kept) << kept.error().to_string();
        RewritePlan transform{.style = style};
        transform.decide = [&](std::uint64_t, std::string_view entry) {
          return EntryDecision{entry == name ? EntryAction::Transform : EntryAction::Keep};
        };
        transform.transform = [](std::string_view, std::string content) -> Result<std::string> {
          return content;
        };
        const auto read = write_package_to_buffer(*archive, output, transform);
        ASSERT_FALSE(read);
        EXPECT_EQ(read.error().to_string(), message);
      }
    }
  }
}

// The compressed size that the central header of entry `name` states.
std::uint32_t stated_compressed_size(std::string_view bytes, std::string_view name) {
  for (auto at = bytes.find("PK\x01\x02"); at != std::string_view::npos;
       at = bytes.find("PK\x01\x02", at + 1)) {
    if (bytes.substr(at + 46, name.size()) != name) continue;
    std::uint32_t size = 0;
    for (int i = 3; i >= 0; --i)
      size = (size << 8) | static_cast<unsigned char>(bytes[at + 20 + i]);
    return size;
  }
  ADD_FAILURE() << "no entry " << name;
  return 0;
}

TEST(InflationLimit, AnEntryPast4MiBAndPast100TimesItsStoredSizeIsRefusedBeforeItIsRead) {
  constexpr std::size_t kMiB = 1 << 20;
  const std::string name = "ppt/presentation.xml";
  const std::string refused =
      "zip error: entry " + name + " inflates more than 100 times its stored size";
  const std::string mismatch =
      "zip error: entry " + name + " does not inflate to its declared size";
  // Some noise in front, so that a hundred times the stored size is past 4 MiB.
  const std::string noisy = noise(64 * 1024, 7) + std::string(5 * kMiB, ' ');
  struct Case {
    const char* label;
    std::string content;
    bool deflate;
    int declared_past_100_times;  // declare 100 times the stored size plus this; -1: honest size
    std::string error;            // empty: read whole
  };
  const Case cases[] = {
      {"blanks one byte past 4 MiB", std::string(4 * kMiB + 1, ' '), true, -1, refused},
      {"blanks of 4 MiB", std::string(4 * kMiB, ' '), true, -1, ""},
      {"stored, 5 MiB", std::string(5 * kMiB, ' '), false, -1, ""},
      // A lying size is checked like an honest one, and read to its end only when it passes.
      {"declared 100 times its stored size", noisy, true, 0, mismatch},
      {"declared one byte more", noisy, true, 1, refused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string bytes = test::zip_bytes({{.name = "_rels/.rels", .bytes = "<Relationships/>"},
                                         {.name = name, .bytes = c.content, .deflate = c.deflate}});
    if (c.declared_past_100_times >= 0) {
      bytes = declaring_size(bytes, name,
                             100 * stated_compressed_size(bytes, name) + c.declared_past_100_times);
    }
    TempDir dir;
    test::write_file(dir.file("deck.pptx"), bytes);
    // Read through the archive library (bytes) and through the stored headers (a plain file).
    auto from_bytes = PackageArchive::open_bytes(bytes);
    auto from_file = PackageArchive::open_file(dir.file("deck.pptx"));
    ASSERT_TRUE(from_bytes && from_file);
    for (PackageArchive* archive : {&*from_bytes, &*from_file}) {
      const auto check = [&](const auto& read) {
        if (c.error.empty()) {
          ASSERT_TRUE(read) << read.error().to_string();
          EXPECT_EQ(**read, c.content);
        } else {
          ASSERT_FALSE(read);
          EXPECT_EQ(read.error().to_string(), c.error);
        }
      };
      check(read_archive_bytes(*archive, name));
      check(read_archive_text(*archive, name));
      // Readers that take an entry that cannot be opened as absent still report the refusal.
      check(read_archive_bytes_if_opens(*archive, name));
      const auto manifest = inspect_archive("deck.pptx", *archive);
      EXPECT_EQ(manifest ? "" : manifest.error().to_string(), c.error);
      // Copied raw, the entry is never inflated; transformed, it is.
      std::string output;
      const auto kept = write_package_to_buffer(*archive, output, {});
      EXPECT_TRUE(kept) << kept.error().to_string();
      RewritePlan transform;
      transform.decide = [&](std::uint64_t, std::string_view entry) {
        return EntryDecision{entry == name ? EntryAction::Transform : EntryAction::Keep};
      };
      transform.transform = [](std::string_view, std::string content) -> Result<std::string> {
        return content;
      };
      const auto read = write_package_to_buffer(*archive, output, transform);
      EXPECT_EQ(read ? "" : read.error().to_string(), c.error);
    }
  }
}

TEST(DuplicateNames, AreRefusedByTheCheckAndListedByTheManifest) {
  // The archive library writes no two entries of one name: the second name is patched after.
  std::string bytes = test::zip_bytes({{.name = "ppt/slides/slide1.xml", .bytes = "<one/>"},
                                       {.name = "ppt/slides/slide2.xml", .bytes = "<two/>"},
                                       {.name = "ppt/slides/Slide1.xml", .bytes = "<case/>"}});
  for (auto at = bytes.find("slide2.xml"); at != std::string::npos; at = bytes.find("slide2.xml"))
    bytes[at + 5] = '1';
  auto archive = PackageArchive::open_bytes(bytes);
  ASSERT_TRUE(archive);
  const auto check = check_unique_entry_names(*archive);
  ASSERT_FALSE(check);
  EXPECT_EQ(check.error().to_string(),
            "zip error: package holds more than one entry named ppt/slides/slide1.xml");
  const auto manifest = inspect_archive("deck.pptx", *archive);
  ASSERT_TRUE(manifest) << manifest.error().to_string();
  EXPECT_EQ(part_names(*manifest),
            (std::vector<std::string>{"ppt/slides/Slide1.xml", "ppt/slides/slide1.xml",
                                      "ppt/slides/slide1.xml"}));

  // Names that differ only in case are different names.
  const std::string distinct =
      test::zip_bytes({{.name = "ppt/slides/slide1.xml", .bytes = "<one/>"},
                       {.name = "ppt/slides/Slide1.xml", .bytes = "<case/>"}});
  auto unique = PackageArchive::open_bytes(distinct);
  ASSERT_TRUE(unique);
  EXPECT_TRUE(check_unique_entry_names(*unique));
}

TEST(RoundTrip, CopiesByteForByteUnderNewDirectories) {
  TempDir dir;
  const std::string input = dir.file("in.pptx");
  test::write_zip(input,
                  {{.name = "ppt/presentation.xml", .bytes = "<p/>"},
                   {.name = "ppt/vbaProject.bin", .bytes = "macro"}},
                  "a comment");
  const std::string output = dir.file("a/b/c/out.pptx");
  const auto manifest = roundtrip_package(input, output);
  ASSERT_TRUE(manifest) << manifest.error().to_string();
  EXPECT_EQ(manifest->path, output);
  EXPECT_EQ(part_names(*manifest),
            (std::vector<std::string>{"ppt/presentation.xml", "ppt/vbaProject.bin"}));
  EXPECT_TRUE(manifest->has_vba());
  EXPECT_EQ(test::read_file(output), test::read_file(input));

  const mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat status {};
  ASSERT_EQ(::stat(output.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask);
}

TEST(RoundTrip, SamePathForInputAndOutputKeepsTheInput) {
  TempDir dir;
  const std::string path = dir.file("deck.pptx");
  test::write_zip(path, {{.name = "ppt/presentation.xml", .bytes = "<p/>"}});
  const std::string before = test::read_file(path);
  const auto manifest = roundtrip_package(path, path);
  ASSERT_TRUE(manifest) << manifest.error().to_string();
  EXPECT_EQ(manifest->parts.size(), 1u);
  EXPECT_EQ(test::read_file(path), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(RoundTrip, FailuresLeaveNoPartialFile) {
  TempDir dir;
  // A missing input: nothing is created but the output's directories.
  const auto missing = roundtrip_package(dir.file("missing.pptx"), dir.file("out/copy.pptx"));
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().to_string(), "io error: No such file or directory");
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("out")));
  EXPECT_TRUE(std::filesystem::is_empty(dir.file("out")));

  // A file that is not a package is still copied, then fails as an archive.
  const std::string text = dir.file("notes.txt");
  test::write_file(text, "plain text");
  const auto not_zip = roundtrip_package(text, dir.file("out/copy.pptx"));
  ASSERT_FALSE(not_zip);
  EXPECT_EQ(not_zip.error().to_string(), "zip error: Not a zip archive");
  EXPECT_EQ(test::read_file(dir.file("out/copy.pptx")), "plain text");

  // An output whose parent is a file cannot be created.
  const auto blocked = roundtrip_package(text, dir.file("notes.txt/copy.pptx"));
  ASSERT_FALSE(blocked);
  EXPECT_EQ(blocked.error().kind(), PelvaneError::Kind::Io);

  const auto nul = roundtrip_package(text, std::string("out/x\0y", 7));
  ASSERT_FALSE(nul);
  EXPECT_EQ(nul.error().to_string(), "io error: file name contained an unexpected NUL byte");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("out")), {}), 1);
}

// Every real deck: the manifest agrees with a second reading of each entry through the
// byte reader, and lists the parts in byte-wise order.
TEST(RealDecks, ManifestsAgreeWithTheByteReader) {
  const auto decks = test::decks_dir();
  if (!decks) GTEST_SKIP() << test::missing_decks_reason();
  std::size_t inspected = 0;
  for (const auto& entry : std::filesystem::directory_iterator(*decks)) {
    const std::string path = entry.path().string();
    if (!path.ends_with(".pptx") && !path.ends_with(".pptm")) continue;
    const auto manifest = inspect_package(path);
    ASSERT_TRUE(manifest) << path << ": " << manifest.error().to_string();
    ASSERT_FALSE(manifest->parts.empty()) << path;
    EXPECT_TRUE(std::is_sorted(manifest->parts.begin(), manifest->parts.end(),
                               [](const auto& a, const auto& b) { return a.name < b.name; }))
        << path;
    EXPECT_EQ(manifest->has_vba(), path.ends_with(".pptm")) << path;
    auto archive = PackageArchive::open_file(path);
    ASSERT_TRUE(archive);
    EXPECT_EQ(archive->entry_count(), manifest->parts.size());
    for (const auto& record : manifest->parts) {
      const auto bytes = read_archive_bytes(*archive, record.name);
      ASSERT_TRUE(bytes && *bytes) << path << " " << record.name;
      EXPECT_EQ((*bytes)->size(), record.size) << record.name;
      EXPECT_EQ(sha256_hex(**bytes), record.sha256) << record.name;
    }
    ++inspected;
  }
  EXPECT_GT(inspected, 0u);
}

}  // namespace
}  // namespace pelvane
