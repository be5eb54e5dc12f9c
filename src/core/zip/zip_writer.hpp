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
//     method, time, extra fields and comment the caller states.
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
#include "core/zip/zip_sink.hpp"

namespace pelvane {

// Record signatures and the fixed size of a local header, shared by the writer and the reader
// of stored headers.
namespace zip_format {
inline constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;
inline constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;
inline constexpr std::uint32_t kEndRecordSignature = 0x06054b50;
inline constexpr std::size_t kLocalHeaderSize = 30;
}  // namespace zip_format

// MS-DOS date and time as stored in ZIP headers (two-second resolution).
struct DosDateTime {
  std::uint16_t time = 0;
  std::uint16_t date = 0x0021;  // 1980-01-01

  friend bool operator==(const DosDateTime&, const DosDateTime&) = default;
};

// 1980-01-01 00:00:00, the time of every entry written from content.
inline constexpr DosDateTime kZipEpoch{0, 0x0021};

// True when the fields name a real calendar date and time of day.
bool is_valid_dos_date_time(DosDateTime stamp);

inline constexpr std::uint16_t kZipMethodStored = 0;
inline constexpr std::uint16_t kZipMethodDeflate = 8;

inline constexpr std::uint32_t kUnixFileMode = 0100644;
inline constexpr std::uint32_t kUnixDirectoryMode = 040755;

// What an entry written from content looks like.
struct ZipEntryOptions {
  // Stored or Deflate; any other method is written as Deflate, the one we can produce.
  std::uint16_t method = kZipMethodDeflate;
  DosDateTime modified = kZipEpoch;
  std::uint32_t unix_mode = kUnixFileMode;
};

// Header fields of an entry copied raw.
struct RawEntryHeader {
  std::string_view name;  // name bytes as stored
  // General-purpose flags as stored; only the name-encoding bit and the Deflate option bits
  // are kept (the data-descriptor bit goes: sizes are written in the local header).
  std::uint16_t flags = 0;
  std::uint16_t method = kZipMethodStored;
  // Version needed to extract as stored (0: none). Kept up to 2.0 when the method needs no more;
  // higher values (such as 4.5 for ZIP64 records, which are not written) come down to what the
  // method needs.
  std::uint16_t version_needed = 0;
  DosDateTime modified = kZipEpoch;  // an invalid stamp is written as 1980-01-01 00:00:00
  std::uint32_t crc32 = 0;
  std::uint64_t compressed_size = 0;
  std::uint64_t uncompressed_size = 0;
  std::uint16_t version_made_by = (3 << 8) | 63;  // Unix, 6.3
  std::uint32_t external_attributes = kUnixFileMode << 16;
  std::uint16_t internal_attributes = 0;
  // Extra fields of the local and of the central header, and the entry comment, as stored.
  // A ZIP64 extended-information field is left out (nothing is written with ZIP64, and its
  // values would no longer hold), and so is whatever follows a field that does not parse.
  std::string_view local_extra;
  std::string_view central_extra;
  std::string_view comment;
};

// The header fields `ZipWriter::begin_entry(name, options)` writes, CRC-32 and sizes left to the
// caller: for an entry written from content whose compressed bytes are already at hand.
RawEntryHeader content_entry_header(std::string_view name, const ZipEntryOptions& options);

// The size of the local header `ZipWriter::begin_raw_entry(header)` writes.
std::uint64_t raw_local_header_size(const RawEntryHeader& header);

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

  // Adds an entry raw whose compressed bytes lie in the file `fd`, right after its stored local
  // header `stored_local_header`, which starts at `local_offset`. When that header is byte for
  // byte the one this entry gets, header and data are copied as they lie, and the spans of
  // neighbouring entries copied alike join into one copy; otherwise the header is written anew
  // before the data. Either way the bytes may be read later: call `copy_pending` before the
  // file is closed.
  Result<void> add_raw_entry_from_file(const RawEntryHeader& header, int fd,
                                       std::uint64_t local_offset,
                                       std::string_view stored_local_header);
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
