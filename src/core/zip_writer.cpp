#include "core/zip_writer.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <limits>
#include <system_error>

#include "core/package_archive.hpp"

namespace pelvane {

namespace {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;
constexpr std::uint32_t kEndRecordSignature = 0x06054b50;
constexpr std::size_t kLocalHeaderSize = 30;

// A 32-bit size or offset field holding 0xFFFFFFFF means "see the ZIP64 record", so the largest
// value a plain field can carry is one less.
constexpr std::uint64_t kMax32 = 0xFFFFFFFEu;
constexpr std::uint64_t kMaxEntries = 0xFFFF;

constexpr std::uint16_t kUnixMadeBy = (3 << 8) | 63;
// Bits kept from an input entry's flags: 1-2 (Deflate options) and 11 (UTF-8 name).
constexpr std::uint16_t kKeptFlagBits = 0x0806;
constexpr std::size_t kDeflateChunk = 256 * 1024;
constexpr std::size_t kFileBufferSize = 4 * 1024 * 1024;
constexpr std::uint64_t kKernelCopyAlignment = 64 * 1024;
constexpr std::uint64_t kPage = 4096;
constexpr std::uint64_t kKernelCopyMinimum = 1024 * 1024;

void put16(std::string& out, std::uint16_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>(value >> 8));
}

void put32(std::string& out, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<char>((value >> shift) & 0xFF));
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

bool is_directory_name(std::string_view name) { return !name.empty() && name.back() == '/'; }

// The MS-DOS directory attribute goes with a Unix directory mode.
bool is_directory_mode(std::uint32_t mode) { return (mode & 0170000) == 040000; }

PelvaneError io_error_from_errno(std::string_view what) {
  return PelvaneError::io(std::string(what) + ": " + std::generic_category().message(errno));
}

// Writes all of `bytes` at `offset`, or at the current position when `offset` is negative.
Result<void> write_fully(int fd, std::string_view bytes, off_t offset) {
  while (!bytes.empty()) {
    ssize_t written = offset < 0 ? ::write(fd, bytes.data(), bytes.size())
                                 : ::pwrite(fd, bytes.data(), bytes.size(), offset);
    if (written < 0) {
      if (errno == EINTR) continue;
      return fail(io_error_from_errno("cannot write output"));
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
    if (offset >= 0) offset += written;
  }
  return {};
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

Result<void> MemoryZipSink::write(std::string_view bytes) {
  buffer_.append(bytes);
  return {};
}

Result<void> MemoryZipSink::patch(std::uint64_t offset, std::string_view bytes) {
  if (offset > buffer_.size() || bytes.size() > buffer_.size() - offset)
    return fail(PelvaneError::zip("patch outside the written archive"));
  std::memcpy(buffer_.data() + offset, bytes.data(), bytes.size());
  return {};
}

FileZipSink::FileZipSink(int fd) : fd_(fd) {
  off_t position = ::lseek(fd_, 0, SEEK_CUR);
  start_ = position < 0 ? 0 : static_cast<std::uint64_t>(position);
  buffer_.reserve(kFileBufferSize);
}

Result<void> FileZipSink::write(std::string_view bytes) {
  if (buffer_.size() + bytes.size() > kFileBufferSize) {
    PELVANE_TRY_VOID(flush());
    if (bytes.size() >= kFileBufferSize) {
      // Large blocks go straight to the file.
      PELVANE_TRY_VOID(write_fully(fd_, bytes, -1));
      flushed_ += bytes.size();
      return {};
    }
  }
  buffer_.append(bytes);
  return {};
}

Result<void> FileZipSink::patch(std::uint64_t offset, std::string_view bytes) {
  if (offset >= flushed_) {
    std::uint64_t in_buffer = offset - flushed_;
    if (in_buffer > buffer_.size() || bytes.size() > buffer_.size() - in_buffer)
      return fail(PelvaneError::zip("patch outside the written archive"));
    std::memcpy(buffer_.data() + in_buffer, bytes.data(), bytes.size());
    return {};
  }
  if (offset + bytes.size() > flushed_) PELVANE_TRY_VOID(flush());
  return write_fully(fd_, bytes, static_cast<off_t>(start_ + offset));
}

namespace {

// Appends `length` bytes of `fd` from `offset` through a buffer.
template <class Append>
Result<void> copy_through_memory(int fd, std::uint64_t offset, std::uint64_t length, Append&& append) {
  std::string chunk(static_cast<std::size_t>(std::min<std::uint64_t>(length, 1u << 20)), '\0');
  while (length > 0) {
    std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(length, chunk.size()));
    ssize_t got = ::pread(fd, chunk.data(), wanted, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fail(io_error_from_errno("cannot read input"));
    if (got == 0) return fail(PelvaneError::io("input ended before the entry's data"));
    PELVANE_TRY_VOID(append(std::string_view(chunk.data(), static_cast<std::size_t>(got))));
    offset += static_cast<std::uint64_t>(got);
    length -= static_cast<std::uint64_t>(got);
  }
  return {};
}

}  // namespace

Result<void> MemoryZipSink::copy_from_file(int fd, std::uint64_t offset, std::uint64_t length) {
  return copy_through_memory(fd, offset, length, [&](std::string_view bytes) { return write(bytes); });
}

Result<void> FileZipSink::copy_from_file(int fd, std::uint64_t offset, std::uint64_t length) {
  // The kernel copies a long span much faster when it starts writing on a 64 KiB boundary of
  // the output (where the page cache can use its large pages); the bytes before that boundary
  // go through the buffer.
  const std::uint64_t position_in_output = start_ + flushed_ + buffer_.size();
  const std::uint64_t head = (kKernelCopyAlignment - position_in_output % kKernelCopyAlignment) % kKernelCopyAlignment;
  if (length >= kKernelCopyMinimum && head > 0) {
    PELVANE_TRY_VOID(copy_through_memory(fd, offset, head, [&](std::string_view bytes) { return write(bytes); }));
    offset += head;
    length -= head;
  }
  PELVANE_TRY_VOID(flush());
  auto position = static_cast<off_t>(offset);
  std::uint64_t remaining = length;
  while (remaining > 0) {
    ssize_t copied = ::copy_file_range(fd, &position, fd_, nullptr, remaining, 0);
    if (copied > 0) {
      remaining -= static_cast<std::uint64_t>(copied);
      flushed_ += static_cast<std::uint64_t>(copied);
      continue;
    }
    if (copied < 0 && errno == EINTR) continue;
    if (copied == 0) return fail(PelvaneError::io("input ended before the entry's data"));
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
        errno == EPERM || errno == ETXTBSY) {
      // Not possible between these files: through memory instead.
      return copy_through_memory(fd, static_cast<std::uint64_t>(position), remaining,
                                 [&](std::string_view bytes) -> Result<void> {
                                   PELVANE_TRY_VOID(write_fully(fd_, bytes, -1));
                                   flushed_ += bytes.size();
                                   return {};
                                 });
    }
    return fail(io_error_from_errno("cannot copy input to output"));
  }
  return {};
}

Result<void> FileZipSink::flush() {
  if (buffer_.empty()) return {};
  PELVANE_TRY_VOID(write_fully(fd_, buffer_, -1));
  flushed_ += buffer_.size();
  buffer_.clear();
  return {};
}

// One entry's central directory record, kept until `finish`.
struct ZipWriterRecord {
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
};

struct ZipWriter::State {
  using CentralRecord = ZipWriterRecord;

  enum class Open { None, Content, Raw };

  std::vector<CentralRecord> records;
  std::uint64_t offset = 0;  // bytes written so far, pending span included

  // Bytes of an input file still to be copied, at the end of what was written.
  int pending_fd = -1;
  std::uint64_t pending_offset = 0;
  std::uint64_t pending_length = 0;
  bool finished = false;

  Open open = Open::None;
  std::uint64_t data_size = 0;         // compressed bytes of the open entry written so far
  std::uint64_t uncompressed_size = 0;  // content bytes of the open entry taken so far
  std::uint32_t crc = 0;
  bool deflating = false;
  bool stream_ready = false;
  z_stream stream{};
  std::string chunk;

  ~State() {
    if (stream_ready) deflateEnd(&stream);
  }

  CentralRecord& current() { return records.back(); }
};

ZipWriter::ZipWriter(ZipSink& sink) : state_(std::make_unique<State>()), sink_(sink) {}

ZipWriter::~ZipWriter() = default;

std::uint64_t ZipWriter::entry_count() const { return state_->records.size(); }

namespace {

std::string local_header(std::string_view name, std::uint16_t version_needed, std::uint16_t flags,
                         std::uint16_t method, DosDateTime modified, std::uint32_t crc,
                         std::uint32_t compressed, std::uint32_t uncompressed) {
  std::string header;
  header.reserve(kLocalHeaderSize + name.size());
  put32(header, kLocalHeaderSignature);
  put16(header, version_needed);
  put16(header, flags);
  put16(header, method);
  put16(header, modified.time);
  put16(header, modified.date);
  put32(header, crc);
  put32(header, compressed);
  put32(header, uncompressed);
  put16(header, static_cast<std::uint16_t>(name.size()));
  put16(header, 0);  // no extra field
  header.append(name);
  return header;
}

PelvaneError too_large(std::string_view name) {
  return PelvaneError::zip("entry " + std::string(name) +
                           " is 4 GiB or larger and would need ZIP64, which is not written");
}

PelvaneError archive_too_large() {
  return PelvaneError::zip("archive would reach 4 GiB and need ZIP64, which is not written");
}

}  // namespace

static Result<void> check_new_entry(const ZipWriter& writer, bool finished, bool open,
                                    std::uint64_t offset, std::string_view name) {
  if (finished) return fail(PelvaneError::zip("archive is already finished"));
  if (open) return fail(PelvaneError::zip("previous entry was not completed"));
  if (writer.entry_count() >= kMaxEntries)
    return fail(PelvaneError::zip(
        "archive would hold more than 65535 entries and need ZIP64, which is not written"));
  if (name.size() > 0xFFFF) return fail(PelvaneError::zip("entry name is longer than 65535 bytes"));
  if (offset > kMax32) return fail(archive_too_large());
  return {};
}

namespace {

Result<void> flush_pending(int& fd, std::uint64_t offset, std::uint64_t& length, ZipSink& sink) {
  if (length == 0) return {};
  PELVANE_TRY_VOID(sink.copy_from_file(fd, offset, length));
  length = 0;
  fd = -1;
  return {};
}

}  // namespace

#define PELVANE_FLUSH_PENDING(s) \
  PELVANE_TRY_VOID(flush_pending((s).pending_fd, (s).pending_offset, (s).pending_length, sink_))

Result<void> ZipWriter::begin_entry(std::string_view name, const ZipEntryOptions& options) {
  State& s = *state_;
  PELVANE_TRY_VOID(check_new_entry(*this, s.finished, s.open != State::Open::None, s.offset, name));
  PELVANE_FLUSH_PENDING(s);
  std::uint16_t method = options.method == kZipMethodStored ? kZipMethodStored : kZipMethodDeflate;
  bool directory = is_directory_name(name);
  std::uint16_t needed = version_needed(method, directory);
  std::uint16_t flags = 0;
  // Names that are not plain ASCII are marked as UTF-8, the encoding of every text we hold.
  for (unsigned char c : name) {
    if (c >= 0x80) {
      flags |= 0x0800;
      break;
    }
  }
  s.records.push_back({std::string(name), kUnixMadeBy, needed, flags, method, options.modified, 0, 0,
                       0, 0, options.unix_mode << 16 | (is_directory_mode(options.unix_mode) ? 0x10u : 0u),
                       static_cast<std::uint32_t>(s.offset)});
  std::string header = local_header(name, needed, flags, method, options.modified, 0, 0, 0);
  PELVANE_TRY_VOID(sink_.write(header));
  s.offset += header.size();
  s.open = State::Open::Content;
  s.data_size = 0;
  s.uncompressed_size = 0;
  s.crc = 0;
  s.deflating = method == kZipMethodDeflate;
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
    uInt slice = static_cast<uInt>(std::min<std::size_t>(remaining, 1u << 30));
    stream.avail_in = slice;
    bool last_slice = slice == remaining;
    int flush = last_slice ? mode : Z_NO_FLUSH;
    int status;
    do {
      stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
      stream.avail_out = static_cast<uInt>(chunk.size());
      status = deflate(&stream, flush);
      if (status == Z_STREAM_ERROR) return fail(PelvaneError::zip("Deflate compression failed"));
      std::size_t produced = chunk.size() - stream.avail_out;
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
  if (s.open != State::Open::Content) return fail(PelvaneError::zip("no entry is open for content"));
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

namespace {

// Validates a raw entry's header and returns its central record (at `offset`) and local header.
Result<std::string> raw_entry_record(const RawEntryHeader& header, std::uint64_t offset,
                                     std::vector<ZipWriterRecord>& records) {
  if (header.compressed_size > kMax32 || header.uncompressed_size > kMax32)
    return fail(too_large(header.name));
  DosDateTime modified = is_valid_dos_date_time(header.modified) ? header.modified : kZipEpoch;
  std::uint16_t flags = header.flags & kKeptFlagBits;
  const std::uint16_t least = version_needed(header.method, is_directory_name(header.name));
  const std::uint16_t needed = std::max<std::uint16_t>(least, std::min<std::uint16_t>(header.version_needed, 20));
  auto compressed = static_cast<std::uint32_t>(header.compressed_size);
  auto uncompressed = static_cast<std::uint32_t>(header.uncompressed_size);
  records.push_back({std::string(header.name), header.version_made_by, needed, flags, header.method,
                     modified, header.crc32, compressed, uncompressed, header.internal_attributes,
                     header.external_attributes, static_cast<std::uint32_t>(offset)});
  return local_header(header.name, needed, flags, header.method, modified, header.crc32, compressed,
                      uncompressed);
}

}  // namespace

std::string raw_local_header(const RawEntryHeader& header) {
  std::vector<ZipWriterRecord> records;
  auto local = raw_entry_record(header, 0, records);
  return local ? std::move(*local) : std::string();
}

Result<void> ZipWriter::begin_raw_entry(const RawEntryHeader& header) {
  State& s = *state_;
  PELVANE_TRY_VOID(
      check_new_entry(*this, s.finished, s.open != State::Open::None, s.offset, header.name));
  PELVANE_FLUSH_PENDING(s);
  std::string local = PELVANE_TRY(raw_entry_record(header, s.offset, s.records));
  PELVANE_TRY_VOID(sink_.write(local));
  s.offset += local.size();
  s.open = State::Open::Raw;
  s.data_size = 0;
  return {};
}

Result<void> ZipWriter::add_verbatim_raw_entry(const RawEntryHeader& header, int fd,
                                               std::uint64_t offset, std::uint64_t length) {
  State& s = *state_;
  PELVANE_TRY_VOID(
      check_new_entry(*this, s.finished, s.open != State::Open::None, s.offset, header.name));
  std::string local = PELVANE_TRY(raw_entry_record(header, s.offset, s.records));
  if (length != local.size() + header.compressed_size) {
    s.records.pop_back();
    return fail(PelvaneError::zip("entry " + std::string(header.name) + " does not span its stated size"));
  }
  if (s.pending_length > 0 && (s.pending_fd != fd || s.pending_offset + s.pending_length != offset))
    PELVANE_FLUSH_PENDING(s);
  if (s.pending_length == 0) {
    s.pending_fd = fd;
    s.pending_offset = offset;
  }
  s.pending_length += length;
  s.offset += length;
  return {};
}

Result<void> ZipWriter::copy_pending() {
  State& s = *state_;
  PELVANE_FLUSH_PENDING(s);
  return {};
}

Result<void> ZipWriter::write_raw_data(std::string_view bytes) {
  State& s = *state_;
  if (s.open != State::Open::Raw) return fail(PelvaneError::zip("no entry is open for raw data"));
  if (bytes.size() > s.current().compressed_size - s.data_size)
    return fail(PelvaneError::zip("entry " + s.current().name +
                                  " has more compressed data than its header states"));
  PELVANE_TRY_VOID(sink_.write(bytes));
  s.data_size += bytes.size();
  return {};
}

Result<void> ZipWriter::copy_raw_data_from_file(int fd, std::uint64_t offset, std::uint64_t length) {
  State& s = *state_;
  if (s.open != State::Open::Raw) return fail(PelvaneError::zip("no entry is open for raw data"));
  if (length > s.current().compressed_size - s.data_size)
    return fail(PelvaneError::zip("entry " + s.current().name +
                                  " has more compressed data than its header states"));
  PELVANE_TRY_VOID(sink_.copy_from_file(fd, offset, length));
  s.data_size += length;
  return {};
}

namespace {

// Bytes that end an open Deflate stream (left on a byte boundary by a sync flush) and decode to
// nothing: `count` >= 2 bytes of empty blocks. Stored empty blocks take 5 bytes each; the last
// 2 to 5 bytes are one to four empty fixed-Huffman blocks (10 bits each: final flag, block type
// 01, end-of-block code 0000000), the last of them final.
std::string empty_deflate_blocks(std::uint64_t count) {
  const std::uint64_t tail = 2 + (count - 2) % 5;
  std::string bytes;
  for (std::uint64_t i = 0; i < (count - tail) / 5; ++i) bytes.append("\x00\x00\x00\xff\xff", 5);
  std::string bits(static_cast<std::size_t>(tail), '\0');
  const std::uint64_t blocks = tail - 1;  // 10 bits each fill exactly `tail` bytes
  for (std::uint64_t block = 0; block < blocks; ++block) {
    const std::uint64_t at = block * 10;
    if (block + 1 == blocks) bits[at / 8] |= static_cast<char>(1 << (at % 8));  // final
    bits[(at + 1) / 8] |= static_cast<char>(1 << ((at + 1) % 8));                 // type 01
  }
  return bytes + bits;
}

}  // namespace

Result<void> ZipWriter::end_entry_aligned_with(std::uint64_t input_offset) {
  State& s = *state_;
  if (s.open != State::Open::Content || !s.deflating) return end_entry();
  PELVANE_TRY_VOID(deflate_into(s.stream, s.chunk, {}, Z_SYNC_FLUSH, sink_, s.data_size));
  const std::uint64_t end = s.offset + s.data_size;
  const std::uint64_t padding = (input_offset + 2 * kPage - (end + 2) % kPage) % kPage + 2;
  PELVANE_TRY_VOID(sink_.write(empty_deflate_blocks(padding)));
  s.data_size += padding;
  return complete_entry();
}

Result<void> ZipWriter::end_entry() {
  State& s = *state_;
  if (s.open == State::Open::None) return fail(PelvaneError::zip("no entry is open"));
  if (s.open == State::Open::Content && s.deflating)
    PELVANE_TRY_VOID(deflate_into(s.stream, s.chunk, {}, Z_FINISH, sink_, s.data_size));
  return complete_entry();
}

Result<void> ZipWriter::complete_entry() {
  State& s = *state_;
  State::CentralRecord& record = s.current();
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
    PELVANE_TRY_VOID(sink_.patch(record.local_offset + 14, fields));
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
  PELVANE_FLUSH_PENDING(s);
  std::uint64_t directory_offset = s.offset;
  std::string block;
  block.reserve(64 * 1024);
  for (const auto& record : s.records) {
    put32(block, kCentralHeaderSignature);
    put16(block, record.version_made_by);
    put16(block, record.version_needed);
    put16(block, record.flags);
    put16(block, record.method);
    put16(block, record.modified.time);
    put16(block, record.modified.date);
    put32(block, record.crc32);
    put32(block, record.compressed_size);
    put32(block, record.uncompressed_size);
    put16(block, static_cast<std::uint16_t>(record.name.size()));
    put16(block, 0);  // extra field
    put16(block, 0);  // comment
    put16(block, 0);  // disk number
    put16(block, record.internal_attributes);
    put32(block, record.external_attributes);
    put32(block, record.local_offset);
    block.append(record.name);
    if (block.size() >= 60 * 1024) {
      s.offset += block.size();
      PELVANE_TRY_VOID(sink_.write(block));
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
  PELVANE_TRY_VOID(sink_.write(block));
  s.offset += 22;
  PELVANE_TRY_VOID(sink_.flush());
  s.finished = true;
  return {};
}

}  // namespace pelvane

// ---- Reading stored header fields and copying entries raw ----

namespace pelvane {

namespace {

constexpr std::uint32_t kZip64EndRecordSignature = 0x06064b50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kCentralHeaderSize = 46;
constexpr std::size_t kCopyChunk = 4 * 1024 * 1024;

std::uint16_t get16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t get32(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint32_t>(get16(bytes, at)) |
         static_cast<std::uint32_t>(get16(bytes, at + 2)) << 16;
}

std::uint64_t get64(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint64_t>(get32(bytes, at)) |
         static_cast<std::uint64_t>(get32(bytes, at + 4)) << 32;
}

// Random access to the archive's bytes: a file (not owned) or a buffer.
class ByteSource {
 public:
  explicit ByteSource(std::string_view bytes) : bytes_(bytes), size_(bytes.size()) {}
  ByteSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}

  std::uint64_t size() const { return size_; }

  // Exactly `length` bytes at `offset`, or none.
  std::optional<std::string> read(std::uint64_t offset, std::uint64_t length) const {
    if (offset > size_ || length > size_ - offset) return std::nullopt;
    if (fd_ < 0) return std::string(bytes_.substr(offset, length));
    std::string out(length, '\0');
    std::size_t done = 0;
    while (done < length) {
      ssize_t got = ::pread(fd_, out.data() + done, length - done, static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return std::nullopt;
      done += static_cast<std::size_t>(got);
    }
    return out;
  }

 private:
  int fd_ = -1;
  std::string_view bytes_;
  std::uint64_t size_ = 0;
};

struct DirectoryLocation {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint64_t count = 0;
  std::uint64_t record_offset = 0;  // where the end record (or the ZIP64 one) starts
};

// Reads the end record at `at` (and the ZIP64 one it points to, when its fields say so).
std::optional<DirectoryLocation> read_end_record(const ByteSource& source, std::uint64_t at) {
  auto record = source.read(at, kEndRecordSize);
  if (!record || get32(*record, 0) != kEndRecordSignature) return std::nullopt;
  DirectoryLocation location{get32(*record, 16), get32(*record, 12), get16(*record, 10), at};
  if (get16(*record, 4) != 0 || get16(*record, 6) != 0) return std::nullopt;  // multi-disk
  bool needs_zip64 = location.count == 0xFFFF || location.size == 0xFFFFFFFF ||
                     location.offset == 0xFFFFFFFF;
  if (at >= 20) {
    auto locator = source.read(at - 20, 20);
    if (locator && get32(*locator, 0) == kZip64LocatorSignature) {
      std::uint64_t zip64_at = get64(*locator, 8);
      auto zip64 = source.read(zip64_at, 56);
      if (zip64 && get32(*zip64, 0) == kZip64EndRecordSignature) {
        location = {get64(*zip64, 48), get64(*zip64, 40), get64(*zip64, 32), zip64_at};
      } else if (needs_zip64) {
        return std::nullopt;
      }
    } else if (needs_zip64 && location.count != 0xFFFF) {
      return std::nullopt;
    }
  }
  return location;
}

// Parses the central directory at `location`; none when it is not a sequence of `count`
// well-formed central headers.
std::optional<std::vector<std::string>> read_central_directory(const ByteSource& source,
                                                               const DirectoryLocation& location) {
  if (location.size > source.size()) return std::nullopt;
  auto directory = source.read(location.offset, location.size);
  if (!directory) return std::nullopt;
  std::vector<std::string> headers;
  std::size_t at = 0;
  std::string_view bytes = *directory;
  while (headers.size() < location.count) {
    if (bytes.size() - at < kCentralHeaderSize || get32(bytes, at) != kCentralHeaderSignature)
      return std::nullopt;
    std::size_t length = kCentralHeaderSize + get16(bytes, at + 28) + get16(bytes, at + 30) +
                         get16(bytes, at + 32);
    if (bytes.size() - at < length) return std::nullopt;
    headers.emplace_back(bytes.substr(at, length));
    at += length;
  }
  return headers;
}

// The local header offset from a central header's ZIP64 extra field; its values appear in the
// order uncompressed size, compressed size, offset, each only when its plain field is full.
std::uint64_t zip64_local_offset(std::string_view header) {
  const std::size_t name_length = get16(header, 28);
  std::string_view extra = header.substr(kCentralHeaderSize + name_length, get16(header, 30));
  while (extra.size() >= 4) {
    const std::uint16_t id = get16(extra, 0);
    const std::size_t size = get16(extra, 2);
    if (size > extra.size() - 4) break;
    if (id == 0x0001) {
      std::size_t at = 4;
      if (get32(header, 24) == 0xFFFFFFFF) at += 8;
      if (get32(header, 20) == 0xFFFFFFFF) at += 8;
      if (at + 8 <= 4 + size) return get64(extra, at);
      break;
    }
    extra.remove_prefix(4 + size);
  }
  return std::numeric_limits<std::uint64_t>::max();
}

// DOS date and time of a time_t, through local time (how the library produced it).
DosDateTime dos_time_from_local(std::time_t stamp) {
  std::tm local{};
  if (::localtime_r(&stamp, &local) == nullptr || local.tm_year < 80 || local.tm_year > 207)
    return kZipEpoch;
  return {static_cast<std::uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2),
          static_cast<std::uint16_t>((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 |
                                     local.tm_mday)};
}

}  // namespace

StoredEntryHeaders StoredEntryHeaders::read(PackageArchive& archive,
                                            std::optional<std::string_view> archive_bytes) {
  StoredEntryHeaders result;
  std::optional<ByteSource> source;
  if (archive_bytes) {
    source.emplace(*archive_bytes);
  } else if (!archive.path().empty()) {
    auto file = std::make_shared<File>();
    file->fd = ::open(archive.path().c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (file->fd < 0 || ::fstat(file->fd, &info) != 0) return result;
    file->size = static_cast<std::uint64_t>(info.st_size);
    source.emplace(file->fd, file->size);
    result.file_ = std::move(file);
  }
  if (!source || source->size() < kEndRecordSize) return result;

  zip_t* handle = archive.handle();
  const std::uint64_t count = archive.entry_count();
  // The end record is within the last 64 KiB + 22 bytes (its comment is at most 65535 bytes).
  std::uint64_t tail_size = std::min<std::uint64_t>(source->size(), 0xFFFF + kEndRecordSize);
  std::uint64_t tail_start = source->size() - tail_size;
  auto tail = source->read(tail_start, tail_size);
  if (!tail) return result;

  // Try every end-record signature from the back; the first whose directory matches what the
  // library read (entry count and every name) is the one.
  for (std::size_t at = tail->size() - kEndRecordSize + 1; at-- > 0;) {
    if (get32(*tail, at) != kEndRecordSignature) continue;
    auto location = read_end_record(*source, tail_start + at);
    if (!location || location->count != count) continue;
    auto headers = read_central_directory(*source, *location);
    if (!headers) continue;
    std::vector<Entry> entries;
    entries.reserve(headers->size());
    bool agrees = true;
    for (std::uint64_t index = 0; index < count && agrees; ++index) {
      std::string_view header = (*headers)[index];
      std::string_view name = header.substr(kCentralHeaderSize, get16(header, 28));
      const char* library_name = zip_get_name(handle, index, ZIP_FL_ENC_RAW);
      agrees = library_name != nullptr && name == library_name;
      std::uint64_t local_offset = get32(header, 42);
      if (local_offset == 0xFFFFFFFF) local_offset = zip64_local_offset(header);
      entries.push_back({std::string(name), local_offset, get16(header, 8), get16(header, 6),
                         DosDateTime{get16(header, 12), get16(header, 14)}, get16(header, 4),
                         get16(header, 36), get32(header, 38)});
    }
    if (!agrees) continue;
    result.entries_ = std::move(entries);
    result.exact_ = true;
    return result;
  }
  return result;
}

StoredEntryHeaders::File::~File() {
  if (fd >= 0) ::close(fd);
}

std::optional<StoredEntryHeaders::Placement> StoredEntryHeaders::placement(std::uint64_t index) const {
  if (!exact_ || !file_ || index >= entries_.size()) return std::nullopt;
  const Entry& entry = entries_[index];
  ByteSource source(file_->fd, file_->size);
  auto fixed = source.read(entry.local_offset, kLocalHeaderSize);
  if (!fixed || get32(*fixed, 0) != kLocalHeaderSignature || get16(*fixed, 26) != entry.name.size())
    return std::nullopt;
  const std::uint64_t header_size = kLocalHeaderSize + entry.name.size() + get16(*fixed, 28);
  auto header = source.read(entry.local_offset, header_size);
  if (!header || std::string_view(*header).substr(kLocalHeaderSize, entry.name.size()) != entry.name)
    return std::nullopt;
  return Placement{entry.local_offset, std::move(*header), entry.local_offset + header_size};
}

DosDateTime StoredEntryHeaders::modified(PackageArchive& archive, std::uint64_t index) const {
  if (exact_ && index < entries_.size()) {
    DosDateTime stamp = entries_[index].modified;
    return is_valid_dos_date_time(stamp) ? stamp : kZipEpoch;
  }
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive.handle(), index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_MTIME))
    return kZipEpoch;
  return dos_time_from_local(stat.mtime);
}

Result<RawEntryHeader> StoredEntryHeaders::header(PackageArchive& archive,
                                                  std::uint64_t index) const {
  zip_t* handle = archive.handle();
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(handle, index, 0, &stat) != 0)
    return fail(PelvaneError::zip(archive_error_message(handle)));
  // Raw bytes of an encrypted entry would be written without their encryption header fields.
  if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
    return fail(PelvaneError::zip("entry " + std::string(archive.entry_name(index)) +
                                  " is encrypted and cannot be copied"));
  constexpr std::uint64_t kNeeded =
      ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD;
  if ((stat.valid & kNeeded) != kNeeded)
    return fail(PelvaneError::zip("entry " + std::string(archive.entry_name(index)) +
                                  " has no complete header"));
  RawEntryHeader header;
  header.method = stat.comp_method;
  header.crc32 = stat.crc;
  header.compressed_size = stat.comp_size;
  header.uncompressed_size = stat.size;
  header.modified = modified(archive, index);
  if (exact_ && index < entries_.size()) {
    const Entry& entry = entries_[index];
    header.name = entry.name;
    header.flags = entry.flags;
    header.version_needed = entry.version_needed;
    header.version_made_by = entry.version_made_by;
    header.internal_attributes = entry.internal_attributes;
    header.external_attributes = entry.external_attributes;
  } else {
    // The library's UTF-8 name, marked as such when it is not plain ASCII.
    header.name = archive.entry_name(index);
    for (unsigned char c : header.name) {
      if (c >= 0x80) {
        header.flags = 0x0800;
        break;
      }
    }
    zip_uint8_t opsys = ZIP_OPSYS_UNIX;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(handle, index, 0, &opsys, &attributes) == 0) {
      header.version_made_by = static_cast<std::uint16_t>(opsys << 8 | 63);
      header.external_attributes = attributes;
    }
  }
  return header;
}

Result<void> copy_raw_entry(ZipWriter& writer, PackageArchive& archive, std::uint64_t index,
                            const StoredEntryHeaders& headers) {
  RawEntryHeader header = PELVANE_TRY(headers.header(archive, index));
  // Entries of an archive file are read straight from the file. One whose stored local header
  // is already the header we would write goes whole, header and data, and runs of such
  // entries are copied in one go (inside the kernel when the output is a file).
  const int fd = headers.file_descriptor();
  if (fd >= 0) {
    if (auto placement = headers.placement(index)) {
      std::string wanted = raw_local_header(header);
      if (placement->local_header == wanted)
        return writer.add_verbatim_raw_entry(header, fd, placement->local_offset,
                                             wanted.size() + header.compressed_size);
      PELVANE_TRY_VOID(writer.begin_raw_entry(header));
      PELVANE_TRY_VOID(writer.copy_raw_data_from_file(fd, placement->data_offset, header.compressed_size));
      return writer.end_entry();
    }
  }
  zip_t* handle = archive.handle();
  zip_file_t* file = zip_fopen_index(handle, index, ZIP_FL_COMPRESSED);
  if (file == nullptr) return fail(PelvaneError::zip(archive_error_message(handle)));
  std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> closer(file, zip_fclose);
  PELVANE_TRY_VOID(writer.begin_raw_entry(header));
  std::string chunk(static_cast<std::size_t>(std::min<std::uint64_t>(header.compressed_size, kCopyChunk)), '\0');
  std::uint64_t remaining = header.compressed_size;
  while (remaining > 0) {
    zip_int64_t got = zip_fread(file, chunk.data(), std::min<std::uint64_t>(remaining, chunk.size()));
    if (got < 0) {
      return fail(PelvaneError::io(zip_error_strerror(zip_file_get_error(file))));
    }
    if (got == 0)
      return fail(PelvaneError::io("entry " + std::string(header.name) +
                                   " ends before its stated compressed size"));
    PELVANE_TRY_VOID(writer.write_raw_data(std::string_view(chunk.data(), static_cast<std::size_t>(got))));
    remaining -= static_cast<std::uint64_t>(got);
  }
  return writer.end_entry();
}

}  // namespace pelvane
