// The headers of an input archive as it stores them: its end record and central directory,
// read by us (the archive library gives the entry time only through local time, and converts
// every entry's time when it opens an archive, which costs more than copying a package of many
// small parts), and the entries' local headers, each read when first needed together with the
// headers that lie close after it. The entries' stored regions are checked against each other
// and the directory when the directory is read, and again when a local header is read
// (entry_regions.hpp).
//
// They give raw copies their header fields and tell whether a stored local header can be
// copied as it is; they tell whether an entry opens without the archive library opening it;
// and for a plain archive (one whose directory the library reads exactly as stated here) they
// stand in for the library's directory altogether: names, lookups, sizes and the data of
// plain entries.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/buffer_shelf.hpp"
#include "core/base/error.hpp"
#include "core/base/name_index.hpp"
#include "core/base/owned_fd.hpp"
#include "core/base/string_room.hpp"
#include "core/zip/copied_file.hpp"
#include "core/zip/entry_regions.hpp"
#include "core/zip/library_archive.hpp"
#include "core/zip/zip_format.hpp"

namespace pelvane {

class ArchiveSource;

class StoredEntryHeaders {
 public:
  // Random access to the archive's bytes, a file or a buffer (archive_source.hpp).
  using Source = ArchiveSource;

  // Reads the headers of the archive file open as `fd`, its first `size` bytes (its size when it
  // was opened), through `fd`, which the headers keep open for raw copies and plain reads. A file
  // of at most `kMostHeldBytes` is read whole first, in one read, and held: its local headers,
  // plain reads and raw copies then all come from those bytes. Should that read fail or come
  // back short, the file is read as a larger one is, so that its failures are told as they are.
  static StoredEntryHeaders read_file(OwnedFd fd, std::uint64_t size);
  // Reads the headers of an archive in memory; the caller keeps `bytes` alive while the headers
  // are in use.
  static StoredEntryHeaders read_bytes(std::string_view bytes);
  // Either reading is the archive's one reading, made without the archive library. Once the
  // library has opened the same archive, this checks the headers against the directory it read,
  // count and every name as stored. The library's stored names differ from these only where one
  // holds a NUL byte, which it reads as a space, or has a Unicode path field, whose name it takes,
  // and both are refused before it opens the archive (entry_names.hpp). So any difference, or no
  // directory read here at all (no end record that the library could take was found, or the
  // directory could not be read), means that the library reads what nothing here has checked:
  // it fails closed, `Zip` "archive library reads a directory that could not be checked". The
  // archive is no longer `plain()`: names and lookups come from the library from then on.
  Result<void> agree_with_library(zip_t* handle);

  StoredEntryHeaders() = default;
  StoredEntryHeaders(StoredEntryHeaders&&) = default;
  StoredEntryHeaders& operator=(StoredEntryHeaders&&) = default;
  // Gives the large tables back to their shelves (buffer_shelf.hpp) for the next archive read.
  ~StoredEntryHeaders();

  // Why the archive is refused before any reader reads it: a reader could take another end
  // record or directory than the one read here (end_records.hpp), or its entries' stored regions
  // overlap each other or the central directory, or run past the end of the archive, as the
  // central headers state them (entry_regions.hpp).
  const std::optional<PelvaneError>& refusal() const { return refusal_; }
  // `Zip` when the entry's local header, once read, makes its data run into the next entry's
  // region or the central directory; checked before its data is used.
  Result<void> check_region(std::uint64_t index) const {
    if (!exact_ || index >= entries_.size() || !local(index).runs_over) return {};
    return fail(region_failure(index));
  }
  // `check_region` of every entry in archive order, their local headers read.
  Result<void> check_regions() const {
    for (std::uint64_t index = 0; index < entries_.size(); ++index)
      PELVANE_TRY_VOID(check_region(index));
    return {};
  }

  // True when the values come from the central directory itself.
  bool exact() const { return exact_; }
  // True when the archive library reads this directory entry for entry as stated here: one end
  // record, which also ends the file (its comment reaching the end), no ZIP64 record, no archive
  // spanning disks, a directory that is exactly its entries, and entries without comments, without
  // ZIP64, Unicode-path or AES fields, with well-formed extra fields, unique names in UTF-8 without
  // control characters, and local headers before the directory.
  bool plain() const { return plain_; }

  std::uint64_t entry_count() const { return entries_.size(); }
  // The entry's name as stored (for a plain archive, also the library's decoded name).
  std::string_view name(std::uint64_t index) const {
    return index < entries_.size() ? entries_[index].name : std::string_view();
  }
  // The index of the entry with exactly this name; plain archives only. `hash`: the name's
  // `NameIndex<>::hash_of`, when the caller has it already.
  std::optional<std::uint64_t> find(std::string_view name) const {
    return find(name, NameIndex<>::hash_of(name));
  }
  std::optional<std::uint64_t> find(std::string_view name, std::uint64_t hash) const;
  // What the archive library reads an entry's name from besides its stored bytes: the
  // general-purpose flags and the extra field of its central header, as stored; none when the
  // values do not come from the directory.
  struct NameFields {
    std::uint16_t flags = 0;
    std::string_view central_extra;
  };
  NameFields name_fields(std::uint64_t index) const {
    if (!exact_ || index >= entries_.size()) return {};
    const Entry& entry = entries_[index];
    const std::size_t extra_length =
        zip_format::get16(directory_, entry.central_at + zip_format::central_header::kExtraLength);
    return {entry.fields.flags,
            directory_.substr(entry.central_at + zip_format::kCentralHeaderSize + entry.name.size(),
                              extra_length)};
  }

  // The raw-copy header of the entry at `index`; `Zip` when the library cannot describe it.
  // Its views stay valid while these headers and the archive are.
  Result<RawEntryHeader> header(LibraryArchive& archive, std::uint64_t index) const;
  // The stored time of the entry (1980-01-01 00:00:00 when the stored one is not a valid date).
  DosDateTime modified(LibraryArchive& archive, std::uint64_t index) const;
  // The uncompressed size as the directory states it, when it is there (not in a ZIP64 field).
  std::optional<std::uint64_t> uncompressed_size(std::uint64_t index) const {
    if (!exact_ || index >= entries_.size()) return std::nullopt;
    const std::uint32_t size = entries_[index].fields.uncompressed_size;
    if (size == zip_format::kZip64Value) return std::nullopt;
    return size;
  }
  // The compression method as the directory states it, for an entry not encrypted with AES
  // (whose real method only the library reads), else as the library reads it; Deflate when
  // neither can say.
  std::uint16_t method(LibraryArchive& archive, std::uint64_t index) const;

  // True when the stored headers show an entry that the archive library opens: neither
  // encrypted nor compressed with another method than Stored or Deflate, and a local header
  // where the directory says, agreeing with it on name, flags, method, CRC-32 and sizes, with
  // the entry's data inside the archive, short of the next entry's region. False tells nothing:
  // the library has to say.
  bool opens(std::uint64_t index) const {
    return exact_ && index < entries_.size() && local(index).opens;
  }
  // Where the compressed bytes of an entry that `opens` lie in the archive file, and what
  // the directory states about them.
  struct Data {
    std::uint64_t offset = 0;
    std::uint16_t method = 0;
    std::uint32_t crc32 = 0;
    std::uint64_t compressed_size = 0;
    std::uint64_t uncompressed_size = 0;
  };
  // Inline, as `placement`: the copy loop asks both about every entry it writes under a new
  // header.
  std::optional<Data> data(std::uint64_t index) const {
    if (!opens(index)) return std::nullopt;
    const Entry& entry = entries_[index];
    const EntryFields& fields = entry.fields;
    return Data{entry.local_offset + entry.local_header.size(), fields.method, fields.crc32,
                fields.compressed_size, fields.uncompressed_size};
  }

  // Where the entry lies in the archive: its local header (as stored, extra field included,
  // valid while these headers are) and the offset of its compressed bytes; none when unknown
  // or inconsistent.
  struct Placement {
    std::uint64_t local_offset = 0;
    std::string_view local_header;
    std::uint64_t data_offset = 0;
  };
  std::optional<Placement> placement(std::uint64_t index) const {
    const Entry* entry = placed(index);
    if (entry == nullptr) return std::nullopt;
    return Placement{entry->local_offset, entry->local_header,
                     entry->local_offset + entry->local_header.size()};
  }
  // An entry whose stored headers a raw copy under its stored header fields could keep as they
  // lie: its whole central header as stored, its local header, and the span of the archive file
  // that holds its local header and compressed bytes. Whether the writer keeps them is the
  // writer's to say (zip_writer.hpp, `writes_stored_headers_of_name`). None where `placement`
  // gives none, when the central header's fields are not the entry's own (encrypted, sizes in a
  // ZIP64 field), and for an entry of 0 bytes whose CRC-32 is not 0 stored
  // (`states_wrong_empty_crc`), which the copy refuses on its own.
  struct StoredCopy {
    std::string_view central;
    std::string_view local_header;  // within the span, its name that of `central`
    std::uint64_t local_offset = 0;
    std::uint64_t length = 0;
  };
  std::optional<StoredCopy> stored_copy(std::uint64_t index) const;
  // The largest archive file held in memory while its headers are: the largest buffer a thread
  // keeps (buffer_shelf.hpp), less the lead that starts the bytes on a boundary
  // (string_room.hpp), so that repeated calls find its storage ready. Reading such a file
  // once costs what reading its local headers alone does in a package of small parts, and every
  // later read and copy of it is then served without a system call.
  static constexpr std::uint64_t kMostHeldBytes =
      BufferShelf<std::string>::kMostKeptBytes - (kCopyAlignment - 1);

  // For a copy that reads the archive file itself (archive_copy.cpp): true when the local
  // header of the entry at `index` of a file is not read yet.
  bool local_header_unread(std::uint64_t index) const {
    return exact_ && file_ && index < entries_.size() &&
           entries_[index].local == LocalState::Unread;
  }
  // How many bytes from that entry's local header on such a copy reads at once, to settle the
  // local headers that lie in them (`take_local_headers`): at most `most`; none of the data of
  // an entry long enough to be copied in the kernel (`kKernelCopyMinimum`); past `until` (where
  // the copy stops taking the bytes as they lie), or into the directory, no more than the room
  // of the header before.
  std::uint64_t read_ahead_length(std::uint64_t index, std::uint64_t most,
                                  std::uint64_t until) const;
  // From now on a local header read on demand is read alone, not in a window over the ones
  // that follow it: those are settled from bytes a copy reads ahead, which would read them
  // twice, and the window's memory is spared.
  void read_local_headers_alone() const { headers_alone_ = true; }
  // Settles the unread local headers that lie in `bytes`, read from the archive file from
  // `offset` on, exactly as reading them in a window settles them: the bytes a copy or a walk
  // over small entries reads anyway serve the check that the entries open.
  void take_local_headers(std::uint64_t offset, std::string_view bytes) const;

  // The archive file read for the headers, or -1, and its size.
  int file_descriptor() const { return file_ ? file_->fd.get() : -1; }
  // The same with its bytes, when they are held; none (-1) for an archive read from bytes.
  CopiedFile file() const {
    return file_ ? CopiedFile{file_->fd.get(), file_->held} : CopiedFile{};
  }
  std::uint64_t file_size() const { return file_ ? file_->size : 0; }
  // Where the entry's local header starts in the archive file, as the directory states.
  std::optional<std::uint64_t> local_offset(std::uint64_t index) const {
    if (!exact_ || !file_ || index >= entries_.size()) return std::nullopt;
    return entries_[index].local_offset;
  }

 private:
  struct File {
    OwnedFd fd;
    std::uint64_t size = 0;
    // All `size` bytes of a small file, read when it was opened (`kMostHeldBytes`), within
    // `bytes` past its lead; else empty.
    std::string_view held;
    ShelvedBuffer<std::string> bytes;
  };
  enum class LocalState : std::uint8_t { Unread, Absent, Found };
  struct Entry {
    std::string_view name;              // bytes as stored, within `directory_`
    std::size_t central_at = 0;         // where its central header starts in `directory_`
    std::uint64_t local_offset = 0;     // of the local header
    EntryFields fields;                 // as the directory's own fields state them
    std::uint64_t compressed_size = 0;  // ZIP64 value included; 0 when unknown
    // The local header, within `local_headers_`, once read; empty when it is not where the
    // directory says.
    mutable LocalState local = LocalState::Unread;
    mutable bool runs_over = false;  // its data runs past `end_limit`
    mutable bool opens = false;
    mutable std::string_view local_header = {};
  };
  // Reads the end record and the directory from `source`.
  static StoredEntryHeaders parse(const Source& source, std::shared_ptr<File> file);
  // Reads the `count` central headers that `directory` (at `directory_offset` in the archive)
  // starts with into `entries`: false when they are not `count` whole headers. Sets the bytes
  // they take and whether every one of them is plain. Its own function, so that the loop over
  // every entry keeps its values in registers.
  [[gnu::noinline]] static bool read_directory(std::string_view directory, std::uint64_t count,
                                               std::uint64_t directory_offset,
                                               std::vector<Entry>& entries,
                                               std::size_t& directory_used, bool& plain_entries);
  // Checks the entries' regions as the directory states them (entry_regions.hpp).
  void limit_regions(std::uint64_t directory_offset, std::uint64_t directory_size,
                     std::uint64_t archive_size);
  // The entry with its local header read: when it is unread, it is read with the unread ones
  // that follow it closely in the file, in one window.
  const Entry& local(std::uint64_t index) const {
    const Entry& entry = entries_[index];
    if (entry.local == LocalState::Unread) read_local_headers(rank_.empty() ? index : rank_[index]);
    return entry;
  }
  // The entry with its local header read, when `placement` gives one; else null.
  const Entry* placed(std::uint64_t index) const {
    if (!exact_ || !file_ || index >= entries_.size()) return nullptr;
    const Entry& entry = local(index);
    if (entry.local != LocalState::Found || entry.runs_over) return nullptr;
    return &entry;
  }
  // `Zip`: the entry's data runs into the region that follows it.
  PelvaneError region_failure(std::uint64_t index) const;
  // True when the entry's data, starting at `data_at`, runs past where its region must end.
  bool runs_past_limit(std::uint64_t index, std::uint64_t data_at) const {
    const std::uint64_t end_limit = limits_[index].end_limit;
    return data_at > end_limit || entries_[index].compressed_size > end_limit - data_at;
  }
  // Byte ranges of the source read through one window (local_headers.cpp).
  class Window;
  // A local header found and kept: at `at` in the window's keeping string.
  struct FoundHeader {
    std::uint64_t index;
    std::size_t at;
    std::size_t size;
  };
  void read_local_headers(std::size_t from_rank) const;
  // The end of a window that holds the local header of the entry `k`-th in file order, its name
  // and some extra field; and the room that header takes among the kept ones, when unread.
  std::uint64_t reach(std::size_t k) const;
  std::size_t room(std::size_t k) const;
  // Settles the unread local headers of the entries from `first` to before `last` in file
  // order from the bytes of `window`, keeping what they found (about `expected` bytes).
  void settle_local_headers(const Window& window, std::size_t first, std::size_t last,
                            std::size_t expected) const;
  void settle_local_header(const Window& window, std::uint64_t index, std::string* kept,
                           std::vector<FoundHeader>& found) const;
  // Fills `names_`; false when two entries have the same name.
  bool index_names();
  // Whether the entry at an index is named `name`, for `names_`.
  auto entry_named(std::string_view name) const {
    return [this, name](std::size_t at) { return entries_[at].name == name; };
  }
  // True when the central header's own fields are the entry's raw-copy header fields: not
  // encrypted, and no size in a ZIP64 field.
  static bool states_own_fields(const EntryFields& fields) {
    using namespace zip_format;
    return (fields.flags & (kFlagEncrypted | kFlagStrongEncryption)) == 0 &&
           fields.method != kMethodAes && fields.compressed_size != kZip64Value &&
           fields.uncompressed_size != kZip64Value;
  }
  // The raw-copy header of an entry from its central header alone.
  RawEntryHeader stored_header(const Entry& entry) const;
  // The extra field of the entry's local header, as stored when that header was found, else as
  // the archive library reads it (`library_local_extra`).
  std::string_view local_extra(LibraryArchive& archive, std::uint64_t index) const {
    if (exact_ && index < entries_.size()) {
      const Entry& entry = local(index);
      if (entry.local == LocalState::Found) {
        std::string_view extra = entry.local_header;
        extra.remove_prefix(zip_format::kLocalHeaderSize + entry.name.size());
        return extra;
      }
    }
    return library_local_extra(archive, index);
  }
  std::string_view library_local_extra(LibraryArchive& archive, std::uint64_t index) const;
  // Keeps bytes the archive library assembled for a header, as long as these headers live.
  std::string_view keep(std::string bytes) const;

  // The central directory's bytes: in place in a source in memory, else read into
  // `directory_bytes_`.
  std::string_view directory_;
  std::string directory_bytes_;
  std::vector<Entry> entries_;
  // Where each entry's region must end, and the entry whose region follows (entry_regions.hpp).
  std::vector<RegionLimit> limits_;
  // Entry indices by the offset of their local headers, and each entry's place in that order;
  // both empty when that is archive order.
  std::vector<std::uint64_t> file_order_;
  std::vector<std::uint32_t> rank_;
  std::uint64_t by_offset(std::size_t k) const { return file_order_.empty() ? k : file_order_[k]; }
  // The archive's bytes for local headers read later: the file of `file_`, or bytes kept alive
  // by the caller.
  std::shared_ptr<const Source> source_;
  // The local headers found, one window's after the other; each string keeps its place.
  mutable std::deque<std::string> local_headers_;
  std::optional<PelvaneError> refusal_;
  // Plain archives: the entries' indices by name; see `index_names`.
  NameIndex<> names_;
  bool exact_ = false;                  // true when `entries_` mirrors the central directory
  mutable bool headers_alone_ = false;  // see `read_local_headers_alone`
  bool plain_ = false;
  std::shared_ptr<File> file_;            // kept open for raw copies between files
  mutable std::deque<std::string> kept_;  // see `keep`
};

}  // namespace pelvane
