#include "core/concurrent_entry_reader.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace pelvane {
namespace {

constexpr std::size_t kEndRecordSize = 22;
constexpr std::size_t kMaxCommentSize = 0xFFFF;
constexpr std::size_t kDirectoryHeaderSize = 46;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::uint16_t kStored = 0;
constexpr std::uint16_t kDeflated = 8;
constexpr std::uint16_t kEncryptedFlag = 0x0001;
// Larger entries are left to the archive library, which reads them in chunks.
constexpr std::uint64_t kMaxEntrySize = std::uint64_t{64} << 20;

std::uint16_t u16(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

std::uint32_t u32(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint32_t>(u16(bytes, at)) |
         static_cast<std::uint32_t>(u16(bytes, at + 2)) << 16;
}

// Reads exactly `size` bytes at `offset` into `out`; false on any failure or short read.
bool read_at(int fd, std::uint64_t offset, std::size_t size, char* out) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::pread(fd, out + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

std::uint32_t crc_of(std::string_view bytes) {
  return static_cast<std::uint32_t>(
      crc32_z(0, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

// Inflates a raw deflate stream that must give exactly `size` bytes with CRC-32 `crc`.
std::optional<std::string> inflate_exactly(std::string_view compressed, std::uint64_t size,
                                           std::uint32_t crc) {
  // Deflate shrinks nothing by more than about 1032 to 1: a larger declared size cannot be
  // true, and is not allocated.
  if (size > kMaxEntrySize || size / 1032 > compressed.size() + 1) return std::nullopt;
  std::string out;
  int status = Z_STREAM_ERROR;
  std::uint64_t produced = 0;
  // One byte more than declared, so that a stream running past its declared size shows; the
  // buffer is not cleared first, inflate writes it.
  out.resize_and_overwrite(static_cast<std::size_t>(size) + 1, [&](char* buffer, std::size_t room) {
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return std::size_t{0};
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = static_cast<uInt>(room);
    status = inflate(&stream, Z_FINISH);
    produced = stream.total_out;
    inflateEnd(&stream);
    return static_cast<std::size_t>(produced);
  });
  if (status != Z_STREAM_END || produced != size) return std::nullopt;
  if (crc_of(out) != crc) return std::nullopt;
  return out;
}

}  // namespace

ConcurrentEntryReader::ConcurrentEntryReader(ConcurrentEntryReader&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      file_size_(other.file_size_),
      entries_(std::move(other.entries_)),
      directory_(std::move(other.directory_)),
      names_(std::move(other.names_)),
      by_name_(std::move(other.by_name_)) {}

ConcurrentEntryReader::~ConcurrentEntryReader() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<ConcurrentEntryReader> ConcurrentEntryReader::open(PackageArchive& archive) {
  if (archive.path().empty()) return std::nullopt;
  auto reader = open_file(archive.path());
  if (!reader || !reader->lists_as(archive)) return std::nullopt;
  return reader;
}

std::optional<ConcurrentEntryReader> ConcurrentEntryReader::open_file(std::string_view path) {
  if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;
  const int fd = ::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat status;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    ::close(fd);
    return std::nullopt;
  }
  ConcurrentEntryReader reader(fd, static_cast<std::uint64_t>(status.st_size));
  const std::uint64_t file_size = reader.file_size_;
  if (file_size < kEndRecordSize) return std::nullopt;

  // The end of central directory record: the last signature that leaves room for the record
  // and its comment exactly up to the end of the file.
  const std::size_t tail_size =
      static_cast<std::size_t>(std::min<std::uint64_t>(file_size,
                                                       kEndRecordSize + kMaxCommentSize));
  std::string tail(tail_size, '\0');
  if (!read_at(fd, file_size - tail_size, tail_size, tail.data())) return std::nullopt;
  std::optional<std::size_t> end_record;
  for (std::size_t at = tail_size - kEndRecordSize + 1; at-- > 0;) {
    if (tail.compare(at, 4, "PK\x05\x06") == 0 &&
        at + kEndRecordSize + u16(tail, at + 20) == tail_size) {
      end_record = at;
      break;
    }
  }
  if (!end_record) return std::nullopt;
  const std::string_view record = std::string_view(tail).substr(*end_record, kEndRecordSize);
  const std::uint16_t disk = u16(record, 4), directory_disk = u16(record, 6);
  const std::uint16_t disk_entries = u16(record, 8), total_entries = u16(record, 10);
  const std::uint32_t directory_size = u32(record, 12), directory_offset = u32(record, 16);
  // Split archives and ZIP64 ones (any field at its maximum) are left to the archive library.
  if (disk != 0 || directory_disk != 0 || disk_entries != total_entries ||
      total_entries == 0xFFFF || directory_size == 0xFFFFFFFF || directory_offset == 0xFFFFFFFF) {
    return std::nullopt;
  }
  const std::uint64_t record_offset = file_size - tail_size + *end_record;
  if (std::uint64_t{directory_offset} + directory_size != record_offset) return std::nullopt;

  reader.directory_.resize(directory_size);
  if (!read_at(fd, directory_offset, directory_size, reader.directory_.data())) return std::nullopt;
  const std::string_view directory = reader.directory_;
  reader.entries_.reserve(total_entries);
  reader.by_name_.reserve(total_entries);
  std::size_t at = 0;
  for (std::uint64_t index = 0; index < total_entries; ++index) {
    if (directory.size() - at < kDirectoryHeaderSize ||
        directory.compare(at, 4, "PK\x01\x02") != 0) {
      return std::nullopt;
    }
    const std::uint16_t flags = u16(directory, at + 8);
    const std::size_t name_size = u16(directory, at + 28);
    const std::size_t variable_size = name_size + u16(directory, at + 30) + u16(directory, at + 32);
    if (directory.size() - at - kDirectoryHeaderSize < variable_size) return std::nullopt;
    const std::string_view name = directory.substr(at + kDirectoryHeaderSize, name_size);
    Entry entry;
    entry.method = u16(directory, at + 10);
    entry.crc = u32(directory, at + 16);
    entry.compressed_size = u32(directory, at + 20);
    entry.size = u32(directory, at + 24);
    entry.header_offset = u32(directory, at + 42);
    if (entry.compressed_size == 0xFFFFFFFF || entry.size == 0xFFFFFFFF ||
        entry.header_offset == 0xFFFFFFFF) {
      return std::nullopt;
    }
    // Encrypted entries, and methods other than stored and deflated, are left to the library.
    entry.vouched = (flags & kEncryptedFlag) == 0 &&
                    (entry.method == kStored || entry.method == kDeflated);
    // Which of two entries of one name the archive library finds is its own affair.
    if (!reader.by_name_.try_emplace(name, index).second) return std::nullopt;
    reader.entries_.push_back(entry);
    reader.names_.push_back(name);
    at += kDirectoryHeaderSize + variable_size;
  }
  return reader;
}

bool ConcurrentEntryReader::lists_as(PackageArchive& archive) const {
  if (archive.entry_count() != entries_.size()) return false;
  for (std::uint64_t index = 0; index < entries_.size(); ++index) {
    // Names the library decodes differently (or cuts at a NUL) would be found under others.
    if (archive.entry_name(index) != names_[index]) return false;
    const Entry& entry = entries_[index];
    zip_stat_t listed;
    zip_stat_init(&listed);
    if (zip_stat_index(archive.handle(), index, 0, &listed) != 0) return false;
    if (!(listed.valid & ZIP_STAT_SIZE) || !(listed.valid & ZIP_STAT_COMP_SIZE) ||
        listed.size != entry.size || listed.comp_size != entry.compressed_size) {
      return false;
    }
    if (!entry.vouched) continue;
    // An entry read here is one the library reads the same way.
    if (!(listed.valid & ZIP_STAT_CRC) || !(listed.valid & ZIP_STAT_COMP_METHOD) ||
        !(listed.valid & ZIP_STAT_ENCRYPTION_METHOD) || listed.crc != entry.crc ||
        listed.comp_method != entry.method || listed.encryption_method != ZIP_EM_NONE) {
      return false;
    }
  }
  return true;
}

std::optional<std::uint64_t> ConcurrentEntryReader::find(std::string_view name) const {
  const auto found = by_name_.find(name);
  if (found == by_name_.end()) return std::nullopt;
  return found->second;
}

std::optional<std::string> ConcurrentEntryReader::read(std::uint64_t index) const {
  if (index >= entries_.size()) return std::nullopt;
  const Entry& entry = entries_[index];
  if (!entry.vouched) return std::nullopt;
  char header[kLocalHeaderSize];
  if (!read_at(fd_, entry.header_offset, kLocalHeaderSize, header)) return std::nullopt;
  const std::string_view local(header, kLocalHeaderSize);
  if (local.compare(0, 4, "PK\x03\x04") != 0) return std::nullopt;
  if ((u16(local, 6) & kEncryptedFlag) != 0 || u16(local, 8) != entry.method) return std::nullopt;
  const std::uint64_t data_offset =
      entry.header_offset + kLocalHeaderSize + u16(local, 26) + u16(local, 28);
  if (data_offset > file_size_ || file_size_ - data_offset < entry.compressed_size) {
    return std::nullopt;
  }
  if (entry.compressed_size > kMaxEntrySize) return std::nullopt;
  std::string compressed;
  bool complete = false;
  compressed.resize_and_overwrite(static_cast<std::size_t>(entry.compressed_size),
                                  [&](char* buffer, std::size_t size) {
                                    complete = read_at(fd_, data_offset, size, buffer);
                                    return complete ? size : 0;
                                  });
  if (!complete) return std::nullopt;
  if (entry.method == kStored) {
    if (entry.compressed_size != entry.size) return std::nullopt;
    if (crc_of(compressed) != entry.crc) return std::nullopt;
    return compressed;
  }
  return inflate_exactly(compressed, entry.size, entry.crc);
}

}  // namespace pelvane
