#include "core/zip/zip_raw_copy.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <limits>

#include "core/zip/package_archive.hpp"

namespace pelvane {

namespace {

using namespace zip_format;
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
      ssize_t got =
          ::pread(fd_, out.data() + done, length - done, static_cast<off_t>(offset + done));
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
  bool needs_zip64 =
      location.count == 0xFFFF || location.size == 0xFFFFFFFF || location.offset == 0xFFFFFFFF;
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
    std::size_t length =
        kCentralHeaderSize + get16(bytes, at + 28) + get16(bytes, at + 30) + get16(bytes, at + 32);
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
    struct stat info{};
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

std::optional<StoredEntryHeaders::Placement> StoredEntryHeaders::placement(
    std::uint64_t index) const {
  if (!exact_ || !file_ || index >= entries_.size()) return std::nullopt;
  const Entry& entry = entries_[index];
  ByteSource source(file_->fd, file_->size);
  auto fixed = source.read(entry.local_offset, kLocalHeaderSize);
  if (!fixed || get32(*fixed, 0) != kLocalHeaderSignature || get16(*fixed, 26) != entry.name.size())
    return std::nullopt;
  const std::uint64_t header_size = kLocalHeaderSize + entry.name.size() + get16(*fixed, 28);
  auto header = source.read(entry.local_offset, header_size);
  if (!header ||
      std::string_view(*header).substr(kLocalHeaderSize, entry.name.size()) != entry.name)
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
      PELVANE_TRY_VOID(
          writer.copy_raw_data_from_file(fd, placement->data_offset, header.compressed_size));
      return writer.end_entry();
    }
  }
  ZipEntryFile file = PELVANE_TRY(open_archive_entry(archive, index, ZIP_FL_COMPRESSED));
  PELVANE_TRY_VOID(writer.begin_raw_entry(header));
  std::string chunk(
      static_cast<std::size_t>(std::min<std::uint64_t>(header.compressed_size, kCopyChunk)), '\0');
  std::uint64_t remaining = header.compressed_size;
  while (remaining > 0) {
    zip_int64_t got =
        zip_fread(file.get(), chunk.data(), std::min<std::uint64_t>(remaining, chunk.size()));
    if (got < 0) return fail(PelvaneError::zip(zip_file_strerror(file.get())));
    if (got == 0)
      return fail(PelvaneError::zip("entry " + std::string(header.name) +
                                    " ends before its stated compressed size"));
    PELVANE_TRY_VOID(
        writer.write_raw_data(std::string_view(chunk.data(), static_cast<std::size_t>(got))));
    remaining -= static_cast<std::uint64_t>(got);
  }
  return writer.end_entry();
}

}  // namespace pelvane
