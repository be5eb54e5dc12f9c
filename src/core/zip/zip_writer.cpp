#include "core/zip/zip_writer.hpp"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <unordered_set>

namespace pelvane {

namespace {

using namespace zip_format;

// A 32-bit size or offset field holding 0xFFFFFFFF means "see the ZIP64 record", so the largest
// value a plain field can carry is one less.
constexpr std::uint64_t kMax32 = 0xFFFFFFFEu;
constexpr std::uint64_t kMaxEntries = 0xFFFF;

constexpr std::uint16_t kUnixMadeBy = (3 << 8) | 63;
// Bits kept from an input entry's flags: 1-2 (Deflate options) and 11 (UTF-8 name).
constexpr std::uint16_t kKeptFlagBits = 0x0806;
constexpr std::size_t kDeflateChunk = 256 * 1024;
constexpr std::uint64_t kPage = 4096;

void put16(std::string& out, std::uint16_t value) {
  const char bytes[2] = {static_cast<char>(value & 0xFF), static_cast<char>(value >> 8)};
  out.append(bytes, 2);
}

void put32(std::string& out, std::uint32_t value) {
  const char bytes[4] = {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                         static_cast<char>((value >> 16) & 0xFF), static_cast<char>(value >> 24)};
  out.append(bytes, 4);
}

// Version needed to extract, by what the reader must support for the method.
std::uint16_t version_needed(std::uint16_t method, bool directory) {
  switch (method) {
    case 0: return directory ? 20 : 10;
    case 8: return 20;
    case 9: return 21;
    case 12: return 46;
    default: return 63;
  }
}

std::uint32_t get_signature(std::string_view bytes) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[i]);
  return value;
}

bool is_directory_name(std::string_view name) { return !name.empty() && name.back() == '/'; }

// The MS-DOS directory attribute goes with a Unix directory mode.
bool is_directory_mode(std::uint32_t mode) { return (mode & 0170000) == 040000; }

// One entry's central directory record, kept until `finish`.
struct CentralRecord {
  std::string name;
  std::uint16_t version_made_by;
  std::uint16_t version_needed;
  std::uint16_t flags;
  std::uint16_t method;
  DosDateTime modified;
  std::uint32_t crc32;
  std::uint32_t compressed_size;
  std::uint32_t uncompressed_size;
  std::uint16_t internal_attributes;
  std::uint32_t external_attributes;
  std::uint32_t local_offset;
  std::string extra;    // of the central header
  std::string comment;
};

// The fields that the local and the central header of an entry share, in their common order:
// version needed to extract through the extra field's length.
constexpr std::size_t kSharedFieldsSize = 26;
void put_shared_fields(char* out, const CentralRecord& record, std::size_t name_size,
                       std::size_t extra_size) {
  const auto put = [&](std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) *out++ = static_cast<char>((value >> (8 * i)) & 0xFF);
  };
  put(record.version_needed, 2);
  put(record.flags, 2);
  put(record.method, 2);
  put(record.modified.time, 2);
  put(record.modified.date, 2);
  put(record.crc32, 4);
  put(record.compressed_size, 4);
  put(record.uncompressed_size, 4);
  put(static_cast<std::uint16_t>(name_size), 2);
  put(static_cast<std::uint16_t>(extra_size), 2);
}

void put_shared_fields(std::string& out, const CentralRecord& record, std::size_t extra_size) {
  char fields[kSharedFieldsSize];
  put_shared_fields(fields, record, record.name.size(), extra_size);
  out.append(fields, kSharedFieldsSize);
}

// The local header that goes with a record: the same fields, then the name and `extra`.
std::string local_header(const CentralRecord& record, std::string_view extra) {
  std::string header;
  header.reserve(kLocalHeaderSize + record.name.size() + extra.size());
  put32(header, kLocalHeaderSignature);
  put_shared_fields(header, record, extra.size());
  header.append(record.name);
  header.append(extra);
  return header;
}

constexpr std::uint16_t kZip64ExtraFieldId = 0x0001;

// The extra field `stored` as a raw copy writes it: its fields in order but a ZIP64
// extended-information field, up to the first field that does not parse (a length running
// past the end, or a tail too short for a field header).
std::string without_zip64_field(std::string_view stored) {
  std::string kept;
  while (stored.size() >= 4) {
    const auto id = static_cast<std::uint16_t>(static_cast<unsigned char>(stored[0]) |
                                               static_cast<unsigned char>(stored[1]) << 8);
    const std::size_t size = static_cast<unsigned char>(stored[2]) |
                             static_cast<std::size_t>(static_cast<unsigned char>(stored[3])) << 8;
    if (size > stored.size() - 4) break;
    if (id != kZip64ExtraFieldId) kept.append(stored.substr(0, 4 + size));
    stored.remove_prefix(4 + size);
  }
  return kept;
}

PelvaneError too_large(std::string_view name) {
  return PelvaneError::zip("entry " + std::string(name) +
                           " is 4 GiB or larger and would need ZIP64, which is not written");
}

PelvaneError archive_too_large() {
  return PelvaneError::zip("archive would reach 4 GiB and need ZIP64, which is not written");
}

// A failure of the sink while the archive's own structure is written (headers, raw copies,
// the end of an entry, the central directory) is a failure of the archive, `Zip`; only
// writing an entry's content reports the sink's `Io` as it is.
Result<void> as_archive_failure(Result<void> result) {
  if (!result && result.error().kind() == PelvaneError::Kind::Io)
    return fail(PelvaneError::zip(result.error().message()));
  return result;
}

// The record of an entry copied raw, its fields normalised: flags that no longer hold dropped,
// an invalid time replaced, the version needed kept up to 2.0. The name is left to the caller.
Result<CentralRecord> raw_entry_fields(const RawEntryHeader& header, std::uint64_t offset) {
  if (header.compressed_size > kMax32 || header.uncompressed_size > kMax32)
    return fail(too_large(header.name));
  if (header.local_extra.size() > 0xFFFF || header.central_extra.size() > 0xFFFF ||
      header.comment.size() > 0xFFFF)
    return fail(PelvaneError::zip("entry " + std::string(header.name) +
                                  " has an extra field or comment longer than 65535 bytes"));
  const std::uint16_t least = version_needed(header.method, is_directory_name(header.name));
  return CentralRecord{
      std::string(),
      header.version_made_by,
      std::max<std::uint16_t>(least, std::min<std::uint16_t>(header.version_needed, 20)),
      static_cast<std::uint16_t>(header.flags & kKeptFlagBits),
      header.method,
      is_valid_dos_date_time(header.modified) ? header.modified : kZipEpoch,
      header.crc32,
      static_cast<std::uint32_t>(header.compressed_size),
      static_cast<std::uint32_t>(header.uncompressed_size),
      header.internal_attributes,
      header.external_attributes,
      static_cast<std::uint32_t>(offset),
      without_zip64_field(header.central_extra),
      header.comment};
}

Result<CentralRecord> raw_entry_record(const RawEntryHeader& header, std::uint64_t offset) {
  CentralRecord record = PELVANE_TRY(raw_entry_fields(header, offset));
  record.name = header.name;
  return record;
}

}  // namespace

bool is_valid_dos_date_time(DosDateTime stamp) {
  unsigned day = stamp.date & 0x1F;
  unsigned month = (stamp.date >> 5) & 0x0F;
  unsigned year = 1980 + (stamp.date >> 9);
  unsigned seconds = (stamp.time & 0x1F) * 2;
  unsigned minutes = (stamp.time >> 5) & 0x3F;
  unsigned hours = stamp.time >> 11;
  if (month < 1 || month > 12 || day < 1) return false;
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  unsigned days_in_month = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day <= days_in_month && hours < 24 && minutes < 60 && seconds < 60;
}

struct ZipWriter::State {
  enum class Open { None, Content, Raw };

  std::vector<CentralRecord> records;
  std::uint64_t offset = 0;  // bytes written so far, pending span included

  // Bytes of an input file still to be copied, at the end of what was written.
  int pending_fd = -1;
  std::uint64_t pending_offset = 0;
  std::uint64_t pending_length = 0;
  bool finished = false;

  Open open = Open::None;
  std::uint64_t data_size = 0;          // compressed bytes of the open entry written so far
  std::uint64_t uncompressed_size = 0;  // content bytes of the open entry taken so far
  std::uint32_t crc = 0;
  bool deflating = false;
  bool stream_ready = false;
  z_stream stream{};
  std::string chunk;

  ~State() {
    if (stream_ready) deflateEnd(&stream);
  }

  // Every name written so far: an archive never holds one name twice.
  std::unordered_set<std::string> names;

  CentralRecord& current() { return records.back(); }
  // Refuses an entry the archive cannot take; otherwise notes its name as written.
  Result<void> admit_new_entry(std::string_view name);
};

ZipWriter::ZipWriter(ZipSink& sink) : state_(std::make_unique<State>()), sink_(sink) {}

ZipWriter::~ZipWriter() = default;

std::uint64_t ZipWriter::entry_count() const { return state_->records.size(); }

Result<void> ZipWriter::State::admit_new_entry(std::string_view name) {
  if (finished) return fail(PelvaneError::zip("archive is already finished"));
  if (open != Open::None) return fail(PelvaneError::zip("previous entry was not completed"));
  if (records.size() >= kMaxEntries)
    return fail(PelvaneError::zip(
        "archive would hold more than 65535 entries and need ZIP64, which is not written"));
  if (name.size() > 0xFFFF) return fail(PelvaneError::zip("entry name is longer than 65535 bytes"));
  if (offset > kMax32) return fail(archive_too_large());
  if (!names.emplace(name).second)
    return fail(
        PelvaneError::zip("entry name " + std::string(name) + " is already in the archive"));
  return {};
}

RawEntryHeader content_entry_header(std::string_view name, const ZipEntryOptions& options) {
  RawEntryHeader header;
  header.name = name;
  header.method = options.method == kZipMethodStored ? kZipMethodStored : kZipMethodDeflate;
  // Names that are not plain ASCII are marked as UTF-8, the encoding of every text we hold.
  if (std::any_of(name.begin(), name.end(),
                  [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
    header.flags = 0x0800;
  header.modified = options.modified;
  header.version_made_by = kUnixMadeBy;
  header.external_attributes =
      options.unix_mode << 16 | (is_directory_mode(options.unix_mode) ? 0x10u : 0u);
  header.internal_attributes = 0;
  return header;
}

Result<void> ZipWriter::begin_entry(std::string_view name, const ZipEntryOptions& options) {
  State& s = *state_;
  PELVANE_TRY_VOID(s.admit_new_entry(name));
  PELVANE_TRY_VOID(copy_pending());
  const RawEntryHeader fields = content_entry_header(name, options);
  s.records.push_back({std::string(name), fields.version_made_by,
                       version_needed(fields.method, is_directory_name(name)), fields.flags,
                       fields.method, fields.modified, 0, 0, 0, fields.internal_attributes,
                       fields.external_attributes, static_cast<std::uint32_t>(s.offset), {}, {}});
  // CRC-32 and sizes are patched in by `end_entry`.
  const std::string header = local_header(s.current(), {});
  PELVANE_TRY_VOID(as_archive_failure(sink_.write(header)));
  s.offset += header.size();
  s.open = State::Open::Content;
  s.data_size = 0;
  s.uncompressed_size = 0;
  s.crc = 0;
  s.deflating = fields.method == kZipMethodDeflate;
  if (s.deflating) {
    if (!s.stream_ready) {
      if (deflateInit2(&s.stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return fail(PelvaneError::zip("cannot start the Deflate compressor"));
      s.stream_ready = true;
    } else if (deflateReset(&s.stream) != Z_OK) {
      return fail(PelvaneError::zip("cannot restart the Deflate compressor"));
    }
    s.chunk.resize(kDeflateChunk);
  }
  return {};
}

namespace {

// Feeds `input` to the compressor with the flush `mode` for its last bytes and writes what
// comes out (Z_FINISH ends the stream, Z_SYNC_FLUSH leaves it open on a byte boundary).
Result<void> deflate_into(z_stream& stream, std::string& chunk, std::string_view input, int mode,
                          ZipSink& sink, std::uint64_t& data_size) {
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  std::size_t remaining = input.size();
  for (;;) {
    // zlib counts in 32-bit units; feed very large buffers in slices.
    const auto slice = static_cast<uInt>(std::min<std::size_t>(remaining, 1u << 30));
    stream.avail_in = slice;
    const bool last_slice = slice == remaining;
    const int flush = last_slice ? mode : Z_NO_FLUSH;
    int status;
    do {
      stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
      stream.avail_out = static_cast<uInt>(chunk.size());
      status = deflate(&stream, flush);
      if (status == Z_STREAM_ERROR) return fail(PelvaneError::zip("Deflate compression failed"));
      const std::size_t produced = chunk.size() - stream.avail_out;
      if (produced > 0) {
        PELVANE_TRY_VOID(sink.write(std::string_view(chunk.data(), produced)));
        data_size += produced;
      }
    } while (stream.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
    remaining -= slice;
    if (last_slice) return {};
  }
}

}  // namespace

Result<void> ZipWriter::write_entry_data(std::string_view bytes) {
  State& s = *state_;
  if (s.open != State::Open::Content)
    return fail(PelvaneError::zip("no entry is open for content"));
  s.crc = static_cast<std::uint32_t>(
      crc32_z(s.crc, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
  s.uncompressed_size += bytes.size();
  if (s.uncompressed_size > kMax32) return fail(too_large(s.current().name));
  if (s.deflating) {
    PELVANE_TRY_VOID(deflate_into(s.stream, s.chunk, bytes, Z_NO_FLUSH, sink_, s.data_size));
  } else {
    PELVANE_TRY_VOID(sink_.write(bytes));
    s.data_size += bytes.size();
  }
  if (s.data_size > kMax32) return fail(too_large(s.current().name));
  return {};
}

bool is_raw_local_header(const RawEntryHeader& header, std::string_view stored) {
  const std::string extra = without_zip64_field(header.local_extra);
  if (stored.size() != kLocalHeaderSize + header.name.size() + extra.size() ||
      stored.substr(kLocalHeaderSize, header.name.size()) != header.name ||
      stored.substr(kLocalHeaderSize + header.name.size()) != extra)
    return false;
  auto record = raw_entry_fields(header, 0);
  if (!record) return false;
  char fields[kSharedFieldsSize];
  put_shared_fields(fields, *record, header.name.size(), extra.size());
  return get_signature(stored) == kLocalHeaderSignature &&
         stored.substr(4, kSharedFieldsSize) == std::string_view(fields, kSharedFieldsSize);
}

Result<void> ZipWriter::begin_raw_entry(const RawEntryHeader& header) {
  State& s = *state_;
  PELVANE_TRY_VOID(s.admit_new_entry(header.name));
  PELVANE_TRY_VOID(copy_pending());
  s.records.push_back(PELVANE_TRY(raw_entry_record(header, s.offset)));
  const std::string local = local_header(s.current(), without_zip64_field(header.local_extra));
  PELVANE_TRY_VOID(as_archive_failure(sink_.write(local)));
  s.offset += local.size();
  s.open = State::Open::Raw;
  s.data_size = 0;
  return {};
}

Result<void> ZipWriter::add_verbatim_raw_entry(const RawEntryHeader& header, int fd,
                                               std::uint64_t offset, std::uint64_t length) {
  State& s = *state_;
  PELVANE_TRY_VOID(s.admit_new_entry(header.name));
  CentralRecord record = PELVANE_TRY(raw_entry_record(header, s.offset));
  if (length != kLocalHeaderSize + record.name.size() +
                    without_zip64_field(header.local_extra).size() + record.compressed_size)
    return fail(PelvaneError::zip("entry " + record.name + " does not span its stated size"));
  // A span that continues the pending one joins it.
  if (s.pending_length > 0 && (s.pending_fd != fd || s.pending_offset + s.pending_length != offset))
    PELVANE_TRY_VOID(copy_pending());
  if (s.pending_length == 0) {
    s.pending_fd = fd;
    s.pending_offset = offset;
  }
  s.pending_length += length;
  s.offset += length;
  s.records.push_back(std::move(record));
  return {};
}

Result<void> ZipWriter::copy_pending() {
  State& s = *state_;
  if (s.pending_length == 0) return {};
  PELVANE_TRY_VOID(
      as_archive_failure(sink_.copy_from_file(s.pending_fd, s.pending_offset, s.pending_length)));
  s.pending_length = 0;
  s.pending_fd = -1;
  return {};
}

Result<void> ZipWriter::write_raw_data(std::string_view bytes) {
  State& s = *state_;
  if (s.open != State::Open::Raw) return fail(PelvaneError::zip("no entry is open for raw data"));
  if (bytes.size() > s.current().compressed_size - s.data_size)
    return fail(PelvaneError::zip("entry " + s.current().name +
                                  " has more compressed data than its header states"));
  PELVANE_TRY_VOID(as_archive_failure(sink_.write(bytes)));
  s.data_size += bytes.size();
  return {};
}

Result<void> ZipWriter::copy_raw_data_from_file(int fd, std::uint64_t offset,
                                                std::uint64_t length) {
  State& s = *state_;
  if (s.open != State::Open::Raw) return fail(PelvaneError::zip("no entry is open for raw data"));
  if (length > s.current().compressed_size - s.data_size)
    return fail(PelvaneError::zip("entry " + s.current().name +
                                  " has more compressed data than its header states"));
  PELVANE_TRY_VOID(as_archive_failure(sink_.copy_from_file(fd, offset, length)));
  s.data_size += length;
  return {};
}

namespace {

// Bytes that end an open Deflate stream (left on a byte boundary by a sync flush) and decode to
// nothing: `count` >= 2 bytes of empty blocks. Stored empty blocks take 5 bytes each; the last
// 2 to 6 bytes end the stream. Two to five of them are one to four empty fixed-Huffman blocks
// (10 bits each: final flag, block type 01, end-of-block code 0000000), the last of them final.
// Fixed blocks cannot fill exactly 6 bytes (five take 50 bits), so a tail of 6 is one fixed
// block followed by a final stored empty block, whose header starts inside the second byte and
// whose length fields follow on the next byte boundary.
std::string empty_deflate_blocks(std::uint64_t count) {
  const std::uint64_t tail = 2 + (count - 2) % 5;
  std::string bytes;
  for (std::uint64_t i = 0; i < (count - tail) / 5; ++i) bytes.append("\x00\x00\x00\xff\xff", 5);
  if (tail == 6) return bytes.append("\x02\x04\x00\x00\xff\xff", 6);
  std::string bits(static_cast<std::size_t>(tail), '\0');
  const std::uint64_t blocks = tail - 1;  // 10 bits each fill exactly `tail` bytes
  for (std::uint64_t block = 0; block < blocks; ++block) {
    const std::uint64_t at = block * 10;
    if (block + 1 == blocks) bits[at / 8] |= static_cast<char>(1 << (at % 8));  // final
    bits[(at + 1) / 8] |= static_cast<char>(1 << ((at + 1) % 8));               // type 01
  }
  return bytes + bits;
}

}  // namespace

Result<void> ZipWriter::end_entry_aligned_with(std::uint64_t input_offset) {
  State& s = *state_;
  if (s.open != State::Open::Content || !s.deflating) return end_entry();
  PELVANE_TRY_VOID(
      as_archive_failure(deflate_into(s.stream, s.chunk, {}, Z_SYNC_FLUSH, sink_, s.data_size)));
  const std::uint64_t end = s.offset + s.data_size;
  const std::uint64_t padding = (input_offset + 2 * kPage - (end + 2) % kPage) % kPage + 2;
  PELVANE_TRY_VOID(as_archive_failure(sink_.write(empty_deflate_blocks(padding))));
  s.data_size += padding;
  return complete_entry();
}

Result<void> ZipWriter::end_entry() {
  State& s = *state_;
  if (s.open == State::Open::None) return fail(PelvaneError::zip("no entry is open"));
  if (s.open == State::Open::Content && s.deflating)
    PELVANE_TRY_VOID(
        as_archive_failure(deflate_into(s.stream, s.chunk, {}, Z_FINISH, sink_, s.data_size)));
  return complete_entry();
}

Result<void> ZipWriter::complete_entry() {
  State& s = *state_;
  CentralRecord& record = s.current();
  if (s.open == State::Open::Raw) {
    if (s.data_size != record.compressed_size)
      return fail(PelvaneError::zip("entry " + record.name +
                                    " has less compressed data than its header states"));
  } else {
    if (s.data_size > kMax32) return fail(too_large(record.name));
    record.crc32 = s.crc;
    record.compressed_size = static_cast<std::uint32_t>(s.data_size);
    record.uncompressed_size = static_cast<std::uint32_t>(s.uncompressed_size);
    std::string fields;
    put32(fields, record.crc32);
    put32(fields, record.compressed_size);
    put32(fields, record.uncompressed_size);
    PELVANE_TRY_VOID(as_archive_failure(sink_.patch(record.local_offset + 14, fields)));
  }
  s.offset += s.data_size;
  s.open = State::Open::None;
  return {};
}

Result<void> ZipWriter::add_entry(std::string_view name, std::string_view content,
                                  const ZipEntryOptions& options) {
  PELVANE_TRY_VOID(begin_entry(name, options));
  PELVANE_TRY_VOID(write_entry_data(content));
  return end_entry();
}

Result<void> ZipWriter::add_directory(std::string_view name) {
  ZipEntryOptions options;
  options.method = kZipMethodStored;
  options.unix_mode = kUnixDirectoryMode;
  PELVANE_TRY_VOID(begin_entry(name, options));
  return end_entry();
}

Result<void> ZipWriter::finish() {
  State& s = *state_;
  if (s.finished) return fail(PelvaneError::zip("archive is already finished"));
  if (s.open != State::Open::None) return fail(PelvaneError::zip("last entry was not completed"));
  if (s.offset > kMax32) return fail(archive_too_large());
  PELVANE_TRY_VOID(copy_pending());
  std::uint64_t directory_offset = s.offset;
  std::string block;
  block.reserve(64 * 1024);
  for (const auto& record : s.records) {
    put32(block, kCentralHeaderSignature);
    put16(block, record.version_made_by);
    put_shared_fields(block, record, record.extra.size());
    put16(block, static_cast<std::uint16_t>(record.comment.size()));
    put16(block, 0);  // disk number
    put16(block, record.internal_attributes);
    put32(block, record.external_attributes);
    put32(block, record.local_offset);
    block.append(record.name);
    block.append(record.extra);
    block.append(record.comment);
    if (block.size() >= 60 * 1024) {
      s.offset += block.size();
      PELVANE_TRY_VOID(as_archive_failure(sink_.write(block)));
      block.clear();
    }
  }
  s.offset += block.size();
  std::uint64_t directory_size = s.offset - directory_offset;
  // The end record itself must also lie below 4 GiB for readers that seek to it.
  if (s.offset + 22 > kMax32 + 1) return fail(archive_too_large());
  auto count = static_cast<std::uint16_t>(s.records.size());
  put32(block, kEndRecordSignature);
  put16(block, 0);  // this disk
  put16(block, 0);  // disk of the central directory
  put16(block, count);
  put16(block, count);
  put32(block, static_cast<std::uint32_t>(directory_size));
  put32(block, static_cast<std::uint32_t>(directory_offset));
  put16(block, 0);  // no archive comment
  PELVANE_TRY_VOID(as_archive_failure(sink_.write(block)));
  s.offset += 22;
  PELVANE_TRY_VOID(as_archive_failure(sink_.flush()));
  s.finished = true;
  return {};
}

}  // namespace pelvane
