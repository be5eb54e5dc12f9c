// Our own ZIP archive writer over zlib.
//
// Every header field is set here, so a rewritten package says exactly what we mean: the
// compression method of each entry, its MS-DOS time, Unix permissions, and nothing else (no
// ZIP64 records, no archive comment, no data descriptors). Entries written from content carry
// no extra field and no comment; an entry copied raw keeps the extra fields and the comment it
// had, but for a ZIP64 extended-information field.
//
// Three ways to write an entry:
//   - from content (`begin_entry`, `write_entry_data`, `end_entry`, or `add_entry` for a whole
//     buffer): stored or raw Deflate at level 6, CRC-32 and sizes computed while streaming and
//     patched into the local header afterwards;
//   - as a directory (`add_directory`): stored, empty, Unix mode 040755;
//   - raw (`begin_raw_entry`, `write_raw_data`, `end_entry`, or `add_raw_entry_from_file` for
//     bytes that lie in a file): compressed bytes copied as they are, with the CRC-32, sizes,
//     method, time, extra fields and comment the caller states; `add_content_entry_from_file`
//     and `add_stored_entries_from_file` take the two common headers of such entries as they
//     are at hand, a header written from content and a stored one that needs no change.
// Headers go to the sink with the bytes around them; the central directory grows in memory as
// entries are added.
// `finish` writes the central directory and the end record. An archive that would need ZIP64
// (an entry or offset at or past 4 GiB, more than 65,535 entries) fails with `Zip`, and so does
// an entry under a name already written ("entry name {0} is already in the archive"): readers
// would see one of the two and ignore the other.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"
#include "core/zip/copied_file.hpp"
#include "core/zip/zip_format.hpp"
#include "core/zip/zip_sink.hpp"

namespace pelvane {

// What an entry written from content looks like.
struct ZipEntryOptions {
  // Stored or Deflate; any other method is written as Deflate, the one we can produce.
  std::uint16_t method = kZipMethodDeflate;
  DosDateTime modified = kZipEpoch;
  std::uint32_t unix_mode = kUnixFileMode;
};

// What the compressed bytes of an entry copied raw hold.
struct CompressedData {
  std::uint32_t crc32 = 0;
  std::uint64_t compressed_size = 0;
  std::uint64_t uncompressed_size = 0;
};

// An entry's stored local header as it lies in `file` from `local_offset`, followed by its
// compressed bytes.
struct StoredLocalEntry {
  CopiedFile file;
  std::uint64_t local_offset = 0;
  std::string_view local_header;
};

// The header fields `ZipWriter::begin_entry(name, options)` writes, CRC-32 and sizes left to the
// caller: for an entry written from content whose compressed bytes are already at hand.
RawEntryHeader content_entry_header(std::string_view name, const ZipEntryOptions& options);

// The size of the local header `ZipWriter::begin_raw_entry(header)` writes.
std::uint64_t raw_local_header_size(const RawEntryHeader& header);

// True when a raw copy of an entry under the header fields its whole central header `central`
// states (extra field and comment included) writes that central header as it is, but for the
// local header's offset, and its whole local header `local` as it is: no field needs to change.
bool writes_stored_headers(std::string_view central, std::string_view local);
// The same for a local header known to hold the central header's name after its fixed part
// (the name is not compared again): what the copy loop asks of each entry whose stored headers
// it could keep (stored_headers.hpp, `stored_copy`).
bool writes_stored_headers_of_name(std::string_view central, std::string_view local);

class ZipWriter {
 public:
  explicit ZipWriter(ZipSink& sink);
  ~ZipWriter();
  ZipWriter(const ZipWriter&) = delete;
  ZipWriter& operator=(const ZipWriter&) = delete;

  // Starts an entry written from content; its data follows through `write_entry_data`.
  Result<void> begin_entry(std::string_view name, const ZipEntryOptions& options);
  Result<void> write_entry_data(std::string_view bytes);

  // Starts an entry whose compressed bytes are copied as they are; exactly
  // `header.compressed_size` bytes must follow through `write_raw_data`.
  Result<void> begin_raw_entry(const RawEntryHeader& header);
  Result<void> write_raw_data(std::string_view bytes);

  // Adds an entry raw whose compressed bytes lie in `file`, right after its stored local
  // header `stored_local_header`, which starts at `local_offset`. When that header is byte for
  // byte the one this entry gets, header and data are copied as they lie, and the spans of
  // neighbouring entries copied alike join into one copy; otherwise the header is written anew
  // before the data. Either way the bytes may be read later: call `copy_pending` before the
  // file is closed.
  Result<void> add_raw_entry_from_file(const RawEntryHeader& header, const CopiedFile& file,
                                       std::uint64_t local_offset,
                                       std::string_view stored_local_header);
  // The same under the header fields `begin_entry(name, options)` writes, with the method of
  // `options` (Stored or Deflate) and the CRC-32 and sizes of `data`: what
  // `add_raw_entry_from_file` does with `content_entry_header(name, options)` and these values,
  // without building that header.
  Result<void> add_content_entry_from_file(std::string_view name, const ZipEntryOptions& options,
                                           const CompressedData& data,
                                           const StoredLocalEntry& stored);
  // Adds neighbouring entries raw whose headers are written as they are stored
  // (`writes_stored_headers`): `centrals` their whole central headers one after the other, as
  // they are but for the local header's offset, set here, and their local headers and
  // compressed bytes the `length` bytes of `file` from `local_offset`, where the first
  // entry's local header starts, copied as `add_raw_entry_from_file` copies an entry whose
  // stored local header it keeps. Each central header states where its local header lies in
  // that file; the entries keep their distances, so every stated offset moves by one amount.
  // Each entry is admitted (and refused) as if it were added on its own.
  Result<void> add_stored_entries_from_file(std::string_view centrals, const CopiedFile& file,
                                            std::uint64_t local_offset, std::uint64_t length);
  // Reads up to `length` bytes of `file` from `offset` into the sink ahead of the copies that
  // take them (`ZipSink::read_ahead`), once the spans left pending before them are handed over;
  // returns them, or nothing.
  Result<std::string_view> read_ahead(const CopiedFile& file, std::uint64_t offset,
                                      std::uint64_t length, ReadAheadUse use);
  // Copies the spans left pending and has the sink read every input file it still waits on
  // (zip_sink.hpp): afterwards the input files may close.
  Result<void> copy_pending();

  // Completes the entry begun last (either kind).
  Result<void> end_entry();
  // Completes a Deflate entry written from content so that the byte `bytes_between` bytes
  // after its end lands at an offset congruent to `input_offset` modulo 4096: its Deflate
  // stream ends with 2 to 4097 bytes of empty blocks, which decode to nothing. The kernel copies
  // a long file span several times faster when source and target agree within the page, so
  // this pays when a large raw copy of the input from `input_offset` is written there. Any
  // other entry ends as `end_entry` ends it.
  Result<void> end_entry_aligned_with(std::uint64_t input_offset, std::uint64_t bytes_between = 0);

  // One whole entry from a buffer.
  Result<void> add_entry(std::string_view name, std::string_view content,
                         const ZipEntryOptions& options = {});
  // A directory entry: stored, no data, 1980-01-01 00:00:00, Unix mode 040755.
  Result<void> add_directory(std::string_view name);

  // While on, the entries added have names that the caller knows to differ from each other
  // (the names of one input archive, checked distinct when it was read, each written once):
  // they are not looked up. Names added afterwards are checked against every name written,
  // those included. Taken only by a writer that holds no entry yet.
  void set_names_known_distinct(bool known);

  // Makes room at once for the headers of `entries` entries whose names take `name_bytes`.
  void reserve(std::uint64_t entries, std::uint64_t name_bytes);

  // Writes the central directory and the end record and flushes the sink. No entry may be
  // open. The writer accepts nothing afterwards.
  Result<void> finish();

  std::uint64_t entry_count() const;

 private:
  Result<void> complete_entry();

  struct State;
  std::unique_ptr<State> state_;
  ZipSink& sink_;
};

}  // namespace pelvane
