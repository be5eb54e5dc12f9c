// Read-only access to a package: a ZIP archive opened over a file or over bytes in memory,
// its entries by index (archive order) or by exact name.
#pragma once

#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "core/base/error.hpp"
#include "core/base/file_input.hpp"
#include "core/base/name_index.hpp"
#include "core/zip/library_archive.hpp"
#include "core/zip/plain_entry.hpp"
#include "core/zip/stored_headers.hpp"

namespace pelvane {

// A plain archive file (stored_headers.hpp) is read through its stored headers, and opened
// through the archive library (`library()`) only when something needs it.
class PackageArchive : public LibraryArchive {
 public:
  // Opens the file read-only. A path that is not a regular file, or a file that cannot be
  // opened, is `Io` as `InputFile::open` says; a file that is not a ZIP archive is `Zip` with
  // the archive library's message.
  static Result<PackageArchive> open_file(std::string_view path);
  // The same over a file already opened and checked. Every read of the archive (the library's,
  // the stored headers', raw copies, plain entries) goes through that one descriptor, up to the
  // size the file had when it was opened: the path is never opened again.
  static Result<PackageArchive> open_input(InputFile input);
  // Opens an archive over bytes in memory; the caller keeps `bytes` alive while the archive
  // is in use. Empty bytes are `Zip` "Not a zip archive", as an empty file is.
  static Result<PackageArchive> open_bytes(std::string_view bytes);

  PackageArchive(PackageArchive&&) noexcept = default;
  PackageArchive& operator=(PackageArchive&&) noexcept = default;
  PackageArchive(const PackageArchive&) = delete;
  PackageArchive& operator=(const PackageArchive&) = delete;
  ~PackageArchive() = default;

  std::uint64_t entry_count() const {
    return plain_ ? stored_headers_->entry_count() : library_entry_count(opened());
  }
  // The entry's name as the archive library decodes it from the central directory; valid
  // while the archive is open. Empty for an index out of range.
  std::string_view entry_name(std::uint64_t index) const {
    return plain_ ? stored_headers_->name(index) : library_entry_name(opened(), index);
  }
  // The same, or `Zip` with the archive library's message when it cannot give the name.
  Result<std::string_view> checked_entry_name(std::uint64_t index) {
    if (plain_ && index < stored_headers_->entry_count()) return stored_headers_->name(index);
    return library_checked_entry_name(index);
  }
  // Index of the entry with exactly this name (byte-wise, case-sensitive), through the
  // archive's name index. `hash`: the name's `NameIndex<>::hash_of` (that of every name set),
  // when the caller has it already.
  std::optional<std::uint64_t> find(std::string_view name) const {
    return find(name, plain_ ? NameIndex<>::hash_of(name) : 0);
  }
  std::optional<std::uint64_t> find(std::string_view name, std::uint64_t hash) const;
  // Directory entries are those whose name ends in "/".
  bool is_directory(std::uint64_t index) const { return entry_name(index).ends_with('/'); }

  // The archive's stored headers (stored_headers.hpp): its one reading, made when it was opened
  // and kept while it is open, which the library's view, the slide listing and the copy loop
  // share.
  const StoredEntryHeaders& stored_headers() const { return *stored_headers_; }
  // The stored headers when the archive is read through them (a plain archive file), else null.
  const StoredEntryHeaders* plain_headers() const {
    return plain_ ? stored_headers_.get() : nullptr;
  }

  // An edit of a plain archive file too large to be held leaves the check that each entry
  // opens (`check_entry_opens`) to the copy that writes the edited package, which reads their
  // local headers anyway and checks every entry in archive order before it writes it
  // (archive_copy.cpp); the entries the edit reads are checked as they are read. The other
  // archives are checked up front.
  void leave_entry_checks_to_copy() {
    checks_left_to_copy_ = plain_ && stored_headers_->file().bytes.empty() &&
                           stored_headers_->file_size() > StoredEntryHeaders::kMostHeldBytes;
    if (checks_left_to_copy_) stored_headers_->read_local_headers_alone();
  }
  bool entry_checks_left_to_copy() const { return checks_left_to_copy_; }

  // `InputFile::changed` when the archive file is now shorter than when it was opened, else
  // none (always for an archive in memory). Reads stop at the file's end, and a reader that
  // found nothing past it would blame the package.
  std::optional<PelvaneError> changed() const;
  // `failure`, met while reading the archive, or `changed` in its place.
  PelvaneError reading_failure(PelvaneError failure) const {
    auto changed_file = changed();
    return changed_file ? std::move(*changed_file) : std::move(failure);
  }

 private:
  // An archive the library has opened, its headers checked against the library's reading.
  PackageArchive(zip_t* archive, std::shared_ptr<const StoredEntryHeaders> headers,
                 std::string path)
      : LibraryArchive(archive), stored_headers_(std::move(headers)), path_(std::move(path)) {}
  PackageArchive(std::shared_ptr<const StoredEntryHeaders> headers, std::FILE* file,
                 std::uint64_t size, std::string path);

  // `checked_entry_name` through the archive library.
  Result<std::string_view> library_checked_entry_name(std::uint64_t index);

  std::shared_ptr<const StoredEntryHeaders> stored_headers_;
  // The path an archive file was opened by, as given; empty for bytes.
  std::string path_;
  bool plain_ = false;  // names, lookups and plain reads come from `stored_headers_`
  bool checks_left_to_copy_ = false;
};

struct ZipEntryCloser {
  void operator()(zip_file_t* file) const noexcept { zip_fclose(file); }
};
// An entry opened for reading; closed when it goes.
using ZipEntryFile = std::unique_ptr<zip_file_t, ZipEntryCloser>;

// Opens the entry at `index` for reading, decompressed, or as its compressed bytes with
// `ZIP_FL_COMPRESSED`. An entry that cannot be opened is `Zip` with the library's message.
// Content is read through `EntryReader`, which holds every read to the declared size.
Result<ZipEntryFile> open_archive_entry(PackageArchive& archive, std::uint64_t index,
                                        zip_flags_t flags = 0);

// Checks that the entry at `index` opens the way the readers open it: an entry that cannot be
// opened (encrypted, stored with a method the archive library cannot decompress, a local header
// that cannot be read) is `Zip` with the library's text. An entry whose stored headers show
// that it opens is settled by them, without any reading; any other is opened and closed again,
// without a decompressor, the method checked where the library checks it (after the encryption,
// before the local header), so that the first failure and its text are the same as a reader's.
// The common entry of a plain archive is settled inline, without a call: listings check every
// entry of the package. Passes every entry of an archive whose checks are left to the copy
// (`leave_entry_checks_to_copy`).
Result<void> check_unsettled_entry_opens(PackageArchive& archive, std::uint64_t index);
inline Result<void> check_entry_opens(PackageArchive& archive, std::uint64_t index) {
  if (const StoredEntryHeaders* plain = archive.plain_headers();
      plain != nullptr && (archive.entry_checks_left_to_copy() || plain->opens(index)))
    return {};
  return check_unsettled_entry_opens(archive, index);
}

// The failure of a step of an edit whose entry checks are left to the copy
// (`leave_entry_checks_to_copy`), where a check up front would have failed first: the failure of
// the first entry in archive order that does not open, checked now; else `failure`. Failures
// alone pay for these checks.
PelvaneError entry_failure_first(PackageArchive& archive, PelvaneError failure);

// One entry's content, decompressed, held to the uncompressed size its central directory
// declares. Every read of an entry's content goes through here, so a small entry that inflates
// to gigabytes is caught after its declared size plus one buffer: content that goes on past the
// declared size, or ends before it, is `Zip` "entry {0} does not inflate to its declared size".
// An entry that honestly declares more than 4 MiB and more than 100 times its stored size is
// refused before any of it is inflated: `Zip` "entry {0} inflates more than 100 times its stored
// size". Entries that are copied raw are never inflated and never refused.
//
// An entry of a plain archive file that its stored headers show to open is read straight from
// the file (plain_entry.hpp), without the archive library; should its content not come out as
// the headers state, the library takes over where the plain reading stopped and says what is
// wrong, so that a reader sees the same bytes and the same failure either way.
class EntryReader {
 public:
  // An entry refused for its inflation, or one that cannot be opened (`Zip` with the library's
  // message).
  static Result<EntryReader> open(PackageArchive& archive, std::uint64_t index);

  std::uint64_t declared_size() const { return declared_size_; }
  // Reads the next bytes into the front of `buffer` (not empty); 0 at the end. The archive
  // library checks the CRC-32 at the end: a mismatch, like any other read failure, is `Io`.
  Result<std::size_t> read(std::span<char> buffer);

 private:
  EntryReader(ZipEntryFile file, std::optional<PlainEntryStream> plain, PackageArchive& archive,
              std::uint64_t index, std::uint64_t declared_size)
      : file_(std::move(file)),
        plain_(std::move(plain)),
        archive_(&archive),
        index_(index),
        declared_size_(declared_size) {}
  // The next bytes through the library, which takes over from the plain reading on first use.
  Result<std::size_t> read_from_library(std::span<char> buffer);
  Result<std::size_t> read_through_library(std::span<char> buffer);
  // Opens the entry through the library and passes over the bytes already delivered.
  Result<void> hand_over_to_library();
  PelvaneError size_mismatch() const;

  ZipEntryFile file_;                      // the library's reading, once it reads
  std::optional<PlainEntryStream> plain_;  // the plain reading, while it reads
  PackageArchive* archive_;
  std::uint64_t index_;
  std::uint64_t declared_size_;
  std::uint64_t position_ = 0;
};

// Reads an entry to its end through `buffer`, handing each chunk to `sink` in order; a sink that
// returns `Result<void>` ends the reading with its first failure. Returns the number of bytes
// read.
template <class Sink>
Result<std::uint64_t> stream_archive_entry(EntryReader& entry, std::span<char> buffer,
                                           Sink&& sink) {
  std::uint64_t total = 0;
  for (;;) {
    const std::size_t got = PELVANE_TRY(entry.read(buffer));
    if (got == 0) return total;
    total += got;
    const std::string_view chunk(buffer.data(), got);
    if constexpr (std::is_void_v<std::invoke_result_t<Sink&, std::string_view>>) {
      sink(chunk);
    } else {
      PELVANE_TRY_VOID(sink(chunk));
    }
  }
}

// The content of the entry at `index`, read whole into storage reserved once for its declared
// size. An entry that is refused (see `EntryReader`) or cannot be opened is `Zip`; a read
// failure or CRC mismatch is `Io`. `compressed`: the entry's compressed bytes as the caller
// read them through the stored headers (`StoredBytesWindow`), which spares reading them again.
Result<std::string> read_archive_entry(PackageArchive& archive, std::uint64_t index,
                                       std::optional<std::string_view> compressed = std::nullopt);

// The entry's bytes, or none when no entry has that name or the entry cannot be opened
// (encrypted, a method the library cannot decompress, a damaged local header): for readers that
// take such a part as absent. An entry refused for its inflation is `Zip`; a read failure or a
// CRC mismatch is `Io`.
Result<std::optional<std::string>> read_archive_bytes_if_opens(PackageArchive& archive,
                                                               std::string_view name);

// The same, checked to be UTF-8 text: bytes that are not are `Io`.
Result<std::optional<std::string>> read_archive_text(PackageArchive& archive,
                                                     std::string_view name);

// The entry's bytes, or none when no entry has that name. An entry that cannot be opened is
// `Zip`; a read failure or CRC mismatch is `Io`.
Result<std::optional<std::string>> read_archive_bytes(PackageArchive& archive,
                                                      std::string_view name);

// The entry's uncompressed size as the central directory declares it; 0 when it gives none.
std::uint64_t entry_declared_size(PackageArchive& archive, std::uint64_t index);

// The entry's CRC-32 as the central directory declares it; none when it gives none.
std::optional<std::uint32_t> entry_declared_crc32(PackageArchive& archive, std::uint64_t index);

// Refuses an archive holding two entries of one name (compared byte for byte as the archive
// stores them): readers by name would see the first of them and other programs the last, and
// every list of parts would count one part twice. `Zip` "package holds more than one entry
// named {0}".
Result<void> check_unique_entry_names(PackageArchive& archive);

}  // namespace pelvane
