#include <fcntl.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

#include "core/zip/package_archive.hpp"
#include "core/zip/zip_raw_copy.hpp"
#include "core/zip/zip_writer.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

using test::TempDir;

std::uint16_t le16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}
std::uint32_t le32(std::string_view bytes, std::size_t at) {
  return le16(bytes, at) | static_cast<std::uint32_t>(le16(bytes, at + 2)) << 16;
}

// One entry as its central and local headers state it, read straight from the archive bytes.
struct HeaderView {
  std::string name;
  std::uint16_t made_by, flags, method, time, date;
  std::uint32_t crc, compressed, uncompressed, external;
  std::uint16_t local_flags, local_method, local_time, local_date, local_extra, central_extra;
  std::uint32_t local_crc, local_compressed, local_uncompressed;
  std::string data;  // the compressed bytes
};

struct ArchiveView {
  std::vector<HeaderView> entries;
  std::uint16_t comment_length;
};

ArchiveView view_archive(std::string_view zip) {
  const std::size_t end = zip.size() - 22;
  EXPECT_EQ(le32(zip, end), 0x06054b50u);
  ArchiveView view{{}, le16(zip, end + 20)};
  std::size_t at = le32(zip, end + 16);
  for (unsigned i = 0; i < le16(zip, end + 10); ++i) {
    EXPECT_EQ(le32(zip, at), 0x02014b50u);
    HeaderView h{};
    h.made_by = le16(zip, at + 4);
    h.flags = le16(zip, at + 8);
    h.method = le16(zip, at + 10);
    h.time = le16(zip, at + 12);
    h.date = le16(zip, at + 14);
    h.crc = le32(zip, at + 16);
    h.compressed = le32(zip, at + 20);
    h.uncompressed = le32(zip, at + 24);
    h.central_extra = le16(zip, at + 30);
    h.external = le32(zip, at + 38);
    h.name = std::string(zip.substr(at + 46, le16(zip, at + 28)));
    const std::size_t local = le32(zip, at + 42);
    EXPECT_EQ(le32(zip, local), 0x04034b50u);
    h.local_flags = le16(zip, local + 6);
    h.local_method = le16(zip, local + 8);
    h.local_time = le16(zip, local + 10);
    h.local_date = le16(zip, local + 12);
    h.local_crc = le32(zip, local + 14);
    h.local_compressed = le32(zip, local + 18);
    h.local_uncompressed = le32(zip, local + 22);
    h.local_extra = le16(zip, local + 28);
    h.data =
        std::string(zip.substr(local + 30 + le16(zip, local + 26) + h.local_extra, h.compressed));
    view.entries.push_back(h);
    at += 46 + le16(zip, at + 28) + le16(zip, at + 30) + le16(zip, at + 32);
  }
  return view;
}

using test::noise;

std::string read_entry(zip_t* archive, const char* name) {
  zip_file_t* file = zip_fopen(archive, name, 0);
  EXPECT_NE(file, nullptr) << name;
  if (file == nullptr) return {};
  std::string content;
  char chunk[65536];
  zip_int64_t got;
  while ((got = zip_fread(file, chunk, sizeof chunk)) > 0)
    content.append(chunk, static_cast<std::size_t>(got));
  EXPECT_EQ(got, 0) << "read or CRC failure in " << name;
  zip_fclose(file);
  return content;
}

// The entries every writer test stores: small and large, stored and deflated, a directory.
struct Sample {
  std::string xml = "<?xml version=\"1.0\"?><p:sld>" + std::string(5000, 'x') + "</p:sld>";
  std::string stored = "stored bytes";
  std::string large = noise(5 * 1024 * 1024 + 17, 3);  // past the file sink's buffer

  Result<void> write(ZipWriter& writer) const {
    PELVANE_TRY_VOID(writer.add_entry("ppt/slides/slide1.xml", xml));
    PELVANE_TRY_VOID(writer.add_directory("ppt/media/"));
    PELVANE_TRY_VOID(writer.add_entry("ppt/media/clip.bin", large));
    ZipEntryOptions stored_options;
    stored_options.method = kZipMethodStored;
    PELVANE_TRY_VOID(writer.add_entry("docProps/app.xml", stored, stored_options));
    return writer.finish();
  }
};

TEST(ZipWriter, EntriesWrittenFromContentCarryExactlyTheFixedHeaderFields) {
  Sample sample;
  std::string zip;
  MemoryZipSink sink(zip);
  ZipWriter writer(sink);
  ASSERT_TRUE(sample.write(writer));

  ArchiveView view = view_archive(zip);
  EXPECT_EQ(view.comment_length, 0);
  ASSERT_EQ(view.entries.size(), 4u);
  const std::uint16_t expected_methods[] = {8, 0, 8, 0};
  for (std::size_t i = 0; i < view.entries.size(); ++i) {
    const HeaderView& h = view.entries[i];
    SCOPED_TRACE(h.name);
    EXPECT_EQ(h.method, expected_methods[i]);
    EXPECT_EQ(h.local_method, h.method);
    EXPECT_EQ(h.date, 0x0021);
    EXPECT_EQ(h.time, 0);
    EXPECT_EQ(h.local_date, 0x0021);
    EXPECT_EQ(h.local_time, 0);
    EXPECT_EQ(h.flags, 0);  // no data descriptor, no encryption
    EXPECT_EQ(h.local_flags, 0);
    EXPECT_EQ(h.local_extra, 0);
    EXPECT_EQ(h.central_extra, 0);
    EXPECT_EQ(h.made_by >> 8, 3);  // Unix
    // Sizes and CRC-32 patched into the local header equal the central ones.
    EXPECT_EQ(h.local_crc, h.crc);
    EXPECT_EQ(h.local_compressed, h.compressed);
    EXPECT_EQ(h.local_uncompressed, h.uncompressed);
  }
  EXPECT_EQ(view.entries[0].external, 0100644u << 16);
  EXPECT_EQ(view.entries[1].external, (040755u << 16) | 0x10);
  EXPECT_EQ(view.entries[1].uncompressed, 0u);

  // An independent reader gets the contents back with valid CRC-32s.
  zip_error_t error;
  zip_source_t* source = zip_source_buffer_create(zip.data(), zip.size(), 0, &error);
  zip_t* archive = zip_open_from_source(source, ZIP_CHECKCONS | ZIP_RDONLY, &error);
  ASSERT_NE(archive, nullptr);
  EXPECT_EQ(read_entry(archive, "ppt/slides/slide1.xml"), sample.xml);
  EXPECT_EQ(read_entry(archive, "ppt/media/clip.bin"), sample.large);
  EXPECT_EQ(read_entry(archive, "docProps/app.xml"), sample.stored);
  zip_close(archive);
}

TEST(ZipWriter, FileAndMemoryOutputsAreByteIdentical) {
  Sample sample;
  std::string in_memory;
  {
    MemoryZipSink sink(in_memory);
    ZipWriter writer(sink);
    ASSERT_TRUE(sample.write(writer));
  }
  TempDir dir;
  const std::string path = dir.file("out.zip");
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  {
    FileZipSink sink(fd);
    ZipWriter writer(sink);
    ASSERT_TRUE(sample.write(writer));
  }
  ::close(fd);
  EXPECT_EQ(test::read_file(path), in_memory);
}

TEST(ZipWriter, RefusesWhatWouldNeedZip64) {
  std::string zip;
  MemoryZipSink sink(zip);
  ZipWriter writer(sink);
  for (int i = 0; i < 65535; ++i) ASSERT_TRUE(writer.add_directory(std::to_string(i) + "/"));
  auto refused = writer.add_entry("one-too-many.xml", "x");
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error().kind(), PelvaneError::Kind::Zip);
  EXPECT_EQ(refused.error().message(),
            "archive would hold more than 65535 entries and need ZIP64, which is not written");
  EXPECT_TRUE(writer.finish());  // 65,535 entries still fit

  std::string other;
  MemoryZipSink other_sink(other);
  ZipWriter large(other_sink);
  RawEntryHeader header;
  header.name = "ppt/media/huge.mp4";
  header.compressed_size = 0x100000000ull;
  header.uncompressed_size = 0x100000000ull;
  auto too_large = large.begin_raw_entry(header);
  ASSERT_FALSE(too_large);
  EXPECT_EQ(too_large.error().to_string(),
            "zip error: entry ppt/media/huge.mp4 is 4 GiB or larger and would need ZIP64, which is "
            "not written");
}

TEST(ZipWriter, RefusesANameAlreadyWrittenByAnyKindOfEntry) {
  std::string zip;
  MemoryZipSink sink(zip);
  ZipWriter writer(sink);
  ASSERT_TRUE(writer.add_entry("ppt/slides/_rels/slide2.xml.rels", "first"));
  ASSERT_TRUE(writer.add_directory("ppt/media/"));
  RawEntryHeader raw;
  raw.name = "ppt/slides/_rels/slide2.xml.rels";
  const std::vector<std::pair<std::string, Result<void>>> refused = {
      {"ppt/slides/_rels/slide2.xml.rels", writer.add_entry(raw.name, "second")},
      {"ppt/media/", writer.add_directory("ppt/media/")},
      {"ppt/slides/_rels/slide2.xml.rels", writer.begin_raw_entry(raw)},
  };
  for (const auto& [name, result] : refused) {
    ASSERT_FALSE(result) << name;
    EXPECT_EQ(result.error().to_string(),
              "zip error: entry name " + name + " is already in the archive");
  }
  // Names differing only in case or by a trailing "/" are different names.
  ASSERT_TRUE(writer.add_entry("ppt/media", "x"));
  ASSERT_TRUE(writer.add_entry("PPT/media/", ""));
  ASSERT_TRUE(writer.finish());
  const ArchiveView view = view_archive(zip);
  ASSERT_EQ(view.entries.size(), 4u);
  EXPECT_EQ(view.entries[0].uncompressed, 5u);  // the first entry of the name, whole
}

TEST(ZipWriter, NamesKnownDistinctAreCheckedAgainstTheNamesAddedAfterThem) {
  std::string zip;
  MemoryZipSink sink(zip);
  ZipWriter writer(sink);
  writer.set_names_known_distinct(true);
  ASSERT_TRUE(writer.add_entry("ppt/slides/slide1.xml", "a"));
  ASSERT_TRUE(writer.add_directory("ppt/media/"));
  writer.set_names_known_distinct(false);
  for (const std::string name : {"ppt/slides/slide1.xml", "ppt/media/"}) {
    auto again = writer.add_entry(name, "b");
    ASSERT_FALSE(again) << name;
    EXPECT_EQ(again.error().to_string(),
              "zip error: entry name " + name + " is already in the archive");
  }
  // Known names are taken only before the first entry.
  writer.set_names_known_distinct(true);
  ASSERT_TRUE(writer.add_entry("ppt/slides/slide2.xml", "c"));
  EXPECT_FALSE(writer.add_entry("ppt/slides/slide2.xml", "d"));
  ASSERT_TRUE(writer.finish());
  EXPECT_EQ(view_archive(zip).entries.size(), 3u);
}

TEST(ZipWriter, StoredEntriesGoAsOneBlockEachAdmittedOnItsOwn) {
  std::string input;
  MemoryZipSink input_sink(input);
  ZipWriter input_writer(input_sink);
  ASSERT_TRUE(Sample{}.write(input_writer));
  TempDir dir;
  test::write_file(dir.file("in.zip"), input);
  const int fd = ::open(dir.file("in.zip").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  // The input's central headers one after the other, its entries from offset 0 up to them.
  const std::size_t end = input.size() - 22;
  const std::string_view centrals(input.data() + le32(input, end + 16), le32(input, end + 12));
  std::string output;
  MemoryZipSink sink(output);
  ZipWriter writer(sink);
  ASSERT_TRUE(writer.add_entry("docProps/core.xml", "every offset moves"));
  ASSERT_TRUE(writer.add_stored_entries_from_file(centrals, {fd}, 0, le32(input, end + 16)));
  // The block's first name is refused, and the block with it.
  ASSERT_TRUE(writer.add_entry("docProps/custom.xml", "after the block"));
  auto again = writer.add_stored_entries_from_file(centrals, {fd}, 0, le32(input, end + 16));
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().to_string(),
            "zip error: entry name ppt/slides/slide1.xml is already in the archive");
  ASSERT_TRUE(writer.finish());
  ::close(fd);
  const ArchiveView in = view_archive(input);
  const ArchiveView out = view_archive(output);
  ASSERT_EQ(out.entries.size(), in.entries.size() + 2);
  for (std::size_t i = 0; i < in.entries.size(); ++i) {
    EXPECT_EQ(out.entries[i + 1].name, in.entries[i].name);
    EXPECT_EQ(out.entries[i + 1].data, in.entries[i].data);
  }
  EXPECT_EQ(out.entries.back().name, "docProps/custom.xml");
}

TEST(ZipWriter, StoredHeadersAreWrittenAsTheyAreOnlyWhenNoFieldChanges) {
  // The headers the writer gives a raw entry, then one field changed in them.
  std::string zip;
  MemoryZipSink sink(zip);
  ZipWriter writer(sink);
  RawEntryHeader raw;
  raw.name = "ppt/slides/slide1.xml";
  raw.method = kZipMethodDeflate;
  raw.version_needed = 20;
  raw.modified = {0x6000, 0x5A21};
  raw.compressed_size = 3;
  raw.local_extra = std::string_view("\x55\x54\x01\x00\x07", 5);
  ASSERT_TRUE(writer.begin_raw_entry(raw));
  ASSERT_TRUE(writer.write_raw_data("abc"));
  ASSERT_TRUE(writer.end_entry());
  ASSERT_TRUE(writer.finish());
  const std::size_t central_at = le32(zip, zip.size() - 22 + 16);
  const std::string written_central = zip.substr(central_at, 46 + raw.name.size());
  const std::string written_local = zip.substr(0, 30 + raw.name.size() + 5);
  const auto set16 = [](std::string& bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
  };
  const std::vector<std::tuple<const char*, bool, std::function<void(std::string&, std::string&)>>>
      cases = {
          {"as written", true, [](std::string&, std::string&) {}},
          {"data descriptor flag", false,
           [&](std::string& c, std::string& l) {
             set16(c, 8, 8);
             set16(l, 6, 8);
           }},
          {"version needed 4.5", false,
           [&](std::string& c, std::string& l) {
             set16(c, 6, 45);
             set16(l, 4, 45);
           }},
          {"month 13", false,
           [&](std::string& c, std::string& l) {
             set16(c, 14, 0x5BA1);
             set16(l, 12, 0x5BA1);
           }},
          {"second disk", false, [&](std::string& c, std::string&) { set16(c, 34, 1); }},
          {"local CRC-32 differs", false, [&](std::string&, std::string& l) { l[14] = 1; }},
          {"local name differs", false, [&](std::string&, std::string& l) { l[30] = 'P'; }},
          {"local ZIP64 field", false,
           [&](std::string&, std::string& l) {
             set16(l, 28, 4);
             l.replace(l.size() - 5, 5, std::string("\x01\x00\x00\x00", 4));
           }},
          {"local extra cut short", false, [&](std::string&, std::string& l) { l.pop_back(); }},
      };
  for (const auto& [what, kept, change] : cases) {
    std::string central = written_central;
    std::string local = written_local;
    change(central, local);
    EXPECT_EQ(writes_stored_headers(central, local), kept) << what;
  }
}

TEST(ZipWriter, NamesPastAsciiAreMarkedAsUtf8WhereverTheByteLies) {
  // A byte past ASCII in the first eight, a later eight, or the bytes left after them.
  const std::vector<std::pair<std::string, std::uint16_t>> cases = {
      {"a.xml", 0},
      {"ppt/slides/slide1.xml", 0},
      {"ppt/slides/slide12.xml", 0},
      {"\xc3\xa9.xml", 0x0800},
      {"ppt/m\xc3\xa9"
       "dia/x",
       0x0800},
      {"ppt/slides/slid\xc3\xa9.xml", 0x0800},
      {"ppt/slides/slide1.xml\xc3\xa9", 0x0800},
  };
  std::string zip;
  MemoryZipSink sink(zip);
  ZipWriter writer(sink);
  for (const auto& [name, flags] : cases) ASSERT_TRUE(writer.add_entry(name, "x"));
  ASSERT_TRUE(writer.finish());
  const ArchiveView view = view_archive(zip);
  ASSERT_EQ(view.entries.size(), cases.size());
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].first);
    EXPECT_EQ(view.entries[i].flags, cases[i].second);
    EXPECT_EQ(view.entries[i].local_flags, cases[i].second);
  }
}

// True when `data` is one complete raw Deflate stream: it reaches its final block exactly at
// its last byte. Readers that inflate until the stream says it ended need no less.
bool is_complete_deflate_stream(std::string_view data) {
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
  std::string out(1 << 16, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  int status = Z_OK;
  while (status == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    status = inflate(&stream, Z_NO_FLUSH);
  }
  const bool complete = status == Z_STREAM_END && stream.avail_in == 0;
  inflateEnd(&stream);
  return complete;
}

TEST(ZipWriter, AlignedEndsKeepTheEntryReadableAndPlaceTheNextOne) {
  // Every padding length class (the empty-block tail takes 2 to 5 bytes) and the wrap-around.
  const std::string content = "<p:sld>" + std::string(3000, 'z') + noise(2000, 4) + "</p:sld>";
  for (std::uint64_t target :
       {0ull, 1ull, 2ull, 3ull, 4ull, 5ull, 6ull, 7ull, 1234ull, 4095ull, 8191ull}) {
    SCOPED_TRACE(target);
    std::string zip;
    MemoryZipSink sink(zip);
    ZipWriter writer(sink);
    ASSERT_TRUE(writer.begin_entry("ppt/slides/slide1.xml", {}));
    ASSERT_TRUE(writer.write_entry_data(content));
    ASSERT_TRUE(writer.end_entry_aligned_with(target));
    ASSERT_TRUE(writer.add_entry("next.xml", "<next/>"));
    ASSERT_TRUE(writer.finish());

    zip_error_t error;
    zip_source_t* source = zip_source_buffer_create(zip.data(), zip.size(), 0, &error);
    zip_t* archive = zip_open_from_source(source, ZIP_CHECKCONS | ZIP_RDONLY, &error);
    ASSERT_NE(archive, nullptr);
    EXPECT_EQ(read_entry(archive, "ppt/slides/slide1.xml"), content);
    EXPECT_EQ(read_entry(archive, "next.xml"), "<next/>");
    zip_close(archive);
    // The padded stream still ends with its final block on its last byte, whatever the padding.
    EXPECT_TRUE(is_complete_deflate_stream(view_archive(zip).entries.at(0).data));
    // The next local header starts at an offset congruent to the target within the page.
    const std::size_t next = zip.find(std::string("PK\x03\x04", 4), 1);
    EXPECT_EQ(next % 4096, target % 4096);
  }
}

// Takes `room` bytes, then fails as a full disk does.
class FullSink final : public ZipSink {
 public:
  explicit FullSink(std::uint64_t room) : room_(room) {}
  Result<void> write(std::string_view bytes) override { return take(bytes.size()); }
  Result<void> patch(std::uint64_t, std::string_view) override { return {}; }
  Result<void> flush() override { return {}; }
  Result<void> copy_from_file(const CopiedFile&, std::uint64_t, std::uint64_t length) override {
    return take(length);
  }

 private:
  Result<void> take(std::uint64_t length) {
    if (length > room_) return fail(PelvaneError::io("No space left on device"));
    room_ -= length;
    return {};
  }
  std::uint64_t room_;
};

TEST(ZipWriter, OutputFailuresAreArchiveFailuresExceptWhileWritingContent) {
  const auto failure = [](const Result<void>& result) {
    return result ? std::string("success") : result.error().to_string();
  };
  const std::string content(1000, 'x');
  {  // the local header
    FullSink sink(10);
    ZipWriter writer(sink);
    EXPECT_EQ(failure(writer.begin_entry("a.bin", {kZipMethodStored})),
              "zip error: No space left on device");
  }
  {  // an entry's content, then what ends the entry
    FullSink sink(40);
    ZipWriter writer(sink);
    ASSERT_TRUE(writer.begin_entry("a.bin", {kZipMethodStored}));
    EXPECT_EQ(failure(writer.write_entry_data(content)), "io error: No space left on device");
    FullSink deflate_sink(40);
    ZipWriter deflating(deflate_sink);
    ASSERT_TRUE(deflating.begin_entry("a.xml", {}));
    ASSERT_TRUE(deflating.write_entry_data(content));
    EXPECT_EQ(failure(deflating.end_entry()), "zip error: No space left on device");
  }
  {  // a raw copy's data
    FullSink sink(40);
    ZipWriter writer(sink);
    RawEntryHeader header;
    header.name = "a.bin";
    header.compressed_size = header.uncompressed_size = content.size();
    ASSERT_TRUE(writer.begin_raw_entry(header));
    EXPECT_EQ(failure(writer.write_raw_data(content)), "zip error: No space left on device");
  }
  {  // the central directory
    FullSink sink(40);
    ZipWriter writer(sink);
    ASSERT_TRUE(writer.add_entry("a.bin", "", {kZipMethodStored}));
    EXPECT_EQ(failure(writer.finish()), "zip error: No space left on device");
  }
}

TEST(DosDateTime, ValidityFollowsTheCalendar) {
  auto stamp = [](unsigned year, unsigned month, unsigned day, unsigned hour, unsigned minute,
                  unsigned second) {
    return DosDateTime{static_cast<std::uint16_t>(hour << 11 | minute << 5 | second / 2),
                       static_cast<std::uint16_t>((year - 1980) << 9 | month << 5 | day)};
  };
  EXPECT_TRUE(is_valid_dos_date_time(kZipEpoch));
  EXPECT_TRUE(is_valid_dos_date_time(stamp(2024, 2, 29, 23, 59, 58)));
  EXPECT_FALSE(is_valid_dos_date_time(stamp(2023, 2, 29, 0, 0, 0)));
  EXPECT_FALSE(is_valid_dos_date_time(stamp(2023, 4, 31, 0, 0, 0)));
  EXPECT_FALSE(is_valid_dos_date_time(stamp(2023, 13, 1, 0, 0, 0)));
  EXPECT_FALSE(is_valid_dos_date_time(DosDateTime{0, 0}));  // month 0, day 0
  EXPECT_FALSE(is_valid_dos_date_time(stamp(2023, 1, 1, 24, 0, 0)));
  EXPECT_FALSE(is_valid_dos_date_time(stamp(2023, 1, 1, 0, 60, 0)));
  EXPECT_FALSE(is_valid_dos_date_time(DosDateTime{30, 0x0021}));  // 60 seconds
}

// An input archive whose entries carry stamps our reader must pass through untouched.
struct RawCopyInput {
  std::string big = noise(600 * 1024, 9);  // past the kernel-copy threshold
  std::string bytes;

  RawCopyInput() {
    MemoryZipSink sink(bytes);
    ZipWriter writer(sink);
    ZipEntryOptions odd;
    odd.modified = DosDateTime{0x6BCF, 0x56CF};
    EXPECT_TRUE(writer.add_entry("a.xml", std::string(3000, 'a'), odd));
    ZipEntryOptions invalid;
    invalid.modified = DosDateTime{0, 0};
    invalid.method = kZipMethodStored;
    EXPECT_TRUE(writer.add_entry("b.xml", "stored", invalid));
    EXPECT_TRUE(writer.add_entry("ppt/media/big.bin", big, odd));
    EXPECT_TRUE(writer.add_directory("ppt/media/"));
    EXPECT_TRUE(writer.finish());
  }
};

void expect_raw_copies(const std::string& input, const std::string& output) {
  ArchiveView in = view_archive(input);
  ArchiveView out = view_archive(output);
  ASSERT_EQ(in.entries.size(), out.entries.size());
  for (std::size_t i = 0; i < in.entries.size(); ++i) {
    const HeaderView& a = in.entries[i];
    const HeaderView& b = out.entries[i];
    SCOPED_TRACE(a.name);
    EXPECT_EQ(b.name, a.name);
    EXPECT_EQ(b.data, a.data);
    EXPECT_EQ(b.crc, a.crc);
    EXPECT_EQ(b.method, a.method);
    EXPECT_EQ(b.external, a.external);
    EXPECT_EQ(b.local_crc, a.crc);
    EXPECT_EQ(b.local_compressed, a.compressed);
    if (a.date == 0) {
      // Not a date: written as 1980-01-01 00:00:00.
      EXPECT_EQ(b.date, 0x0021);
      EXPECT_EQ(b.time, 0);
    } else {
      EXPECT_EQ(b.date, a.date);
      EXPECT_EQ(b.time, a.time);
    }
    EXPECT_EQ(b.local_date, b.date);
    EXPECT_EQ(b.local_time, b.time);
  }
}

TEST(RawCopy, KeepsCompressedBytesAndStoredFieldsFromAFile) {
  RawCopyInput input;
  TempDir dir;
  const std::string path = dir.file("in.zip");
  test::write_file(path, input.bytes);
  auto archive = PackageArchive::open_file(path);
  ASSERT_TRUE(archive);
  const StoredEntryHeaders& headers = archive->stored_headers();
  EXPECT_TRUE(headers.exact());

  // Through a file sink (kernel copy for the large entry) and a memory sink (read through).
  const std::string out_path = dir.file("out.zip");
  int fd = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0);
  {
    FileZipSink sink(fd);
    ZipWriter writer(sink);
    for (std::uint64_t i = 0; i < archive->entry_count(); ++i)
      ASSERT_TRUE(copy_raw_entry(writer, *archive, i, headers));
    ASSERT_TRUE(writer.finish());
  }
  ::close(fd);
  expect_raw_copies(input.bytes, test::read_file(out_path));

  std::string in_memory;
  MemoryZipSink sink(in_memory);
  ZipWriter writer(sink);
  for (std::uint64_t i = 0; i < archive->entry_count(); ++i)
    ASSERT_TRUE(copy_raw_entry(writer, *archive, i, headers));
  ASSERT_TRUE(writer.finish());
  expect_raw_copies(input.bytes, in_memory);
}

TEST(RawCopy, KeepsStoredFieldsFromBytesInMemory) {
  RawCopyInput input;
  auto archive = PackageArchive::open_bytes(input.bytes);
  ASSERT_TRUE(archive);
  const StoredEntryHeaders& headers = archive->stored_headers();
  EXPECT_TRUE(headers.exact());
  std::string output;
  MemoryZipSink sink(output);
  ZipWriter writer(sink);
  for (std::uint64_t i = 0; i < archive->entry_count(); ++i)
    ASSERT_TRUE(copy_raw_entry(writer, *archive, i, headers));
  ASSERT_TRUE(writer.finish());
  expect_raw_copies(input.bytes, output);
}

TEST(RawCopy, RefusesEncryptedEntries) {
  TempDir dir;
  const std::string path = dir.file("locked.zip");
  test::ZipEntry locked{"secret.xml", "<x/>"};
  locked.password = "pw";
  test::write_zip(path, {locked});
  auto archive = PackageArchive::open_file(path);
  ASSERT_TRUE(archive);
  const StoredEntryHeaders& headers = archive->stored_headers();
  std::string output;
  MemoryZipSink sink(output);
  ZipWriter writer(sink);
  auto copied = copy_raw_entry(writer, *archive, 0, headers);
  ASSERT_FALSE(copied);
  EXPECT_EQ(copied.error().to_string(),
            "zip error: entry secret.xml is encrypted and cannot be copied");
}

}  // namespace
}  // namespace pelvane
