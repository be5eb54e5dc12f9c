// Raw copies of entries from an input archive: the header fields its central directory stores
// (read by us, since the archive library gives the entry time only through local time) and the
// copy of each entry's compressed bytes, header and all when its stored local header is already
// what the writer would write.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"
#include "core/zip/zip_writer.hpp"

namespace pelvane {

class PackageArchive;

// The header fields of every entry of an open input archive as its central directory stores
// them: the exact MS-DOS time (the archive library only offers it converted through local
// time), flags, name bytes and attributes. CRC-32, sizes and method come from the library.
class StoredEntryHeaders {
 public:
  // Reads the central directory from `archive_bytes`, or from the archive's file when no bytes
  // are given. When the directory cannot be read or does not agree with what the library read,
  // the library's values stand in (the time then through local time).
  static StoredEntryHeaders read(PackageArchive& archive,
                                 std::optional<std::string_view> archive_bytes = std::nullopt);

  // The raw-copy header of the entry at `index`; `Zip` when the library cannot describe it.
  Result<RawEntryHeader> header(PackageArchive& archive, std::uint64_t index) const;
  // The stored time of the entry (1980-01-01 00:00:00 when the stored one is not a valid date).
  DosDateTime modified(PackageArchive& archive, std::uint64_t index) const;

  // True when the values come from the central directory itself.
  bool exact() const { return exact_; }

  // Where the entry lies in the archive file: its local header (as stored, extra field
  // included) and the offset of its compressed bytes; none when unknown or inconsistent.
  struct Placement {
    std::uint64_t local_offset = 0;
    std::string local_header;
    std::uint64_t data_offset = 0;
  };
  std::optional<Placement> placement(std::uint64_t index) const;
  // The archive file read for the central directory, or -1, and its size.
  int file_descriptor() const { return file_ ? file_->fd : -1; }
  std::uint64_t file_size() const { return file_ ? file_->size : 0; }
  // Where the entry's local header starts in the archive file, as the directory states.
  std::optional<std::uint64_t> local_offset(std::uint64_t index) const {
    if (!exact_ || !file_ || index >= entries_.size()) return std::nullopt;
    return entries_[index].local_offset;
  }

 private:
  struct File {
    int fd = -1;
    std::uint64_t size = 0;
    ~File();
  };
  struct Entry {
    std::string name;                // bytes as stored
    std::uint64_t local_offset = 0;  // of the local header
    std::uint16_t flags = 0;
    std::uint16_t version_needed = 0;
    DosDateTime modified;
    std::uint16_t version_made_by = 0;
    std::uint16_t internal_attributes = 0;
    std::uint32_t external_attributes = 0;
  };
  std::vector<Entry> entries_;
  bool exact_ = false;          // true when `entries_` mirrors the central directory
  std::shared_ptr<File> file_;  // kept open for raw copies between files
};

// Copies the entry at `index` raw: its compressed bytes, streamed in chunks, under the stored
// header fields. Any failure, opening the entry or reading or writing its bytes, is `Zip`.
// The copy may wait on the file `headers` holds open: call `writer.copy_pending()` (or
// `finish`) while `headers` is alive.
Result<void> copy_raw_entry(ZipWriter& writer, PackageArchive& archive, std::uint64_t index,
                            const StoredEntryHeaders& headers);

}  // namespace pelvane
