#include "core/zip/end_records.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "core/base/byte_search.hpp"

namespace pelvane {
namespace {

using namespace zip_format;

// The tail the library reads at once: room for a comment, a record and a ZIP64 locator, 65,578
// bytes (`_zip_find_central_dir`). Its room for a comment is 65,536 bytes, one more than a 16-bit
// length can state (`MAXCOMLEN`, zipint.h; release quirk), so that it searches one byte further
// back than a record with the longest comment needs.
constexpr std::uint64_t kTailSize = (kMax16 + 1) + end_record::kSize + zip64_locator::kSize;
// The library refuses offsets it cannot seek to (`_zip_read_eocd64`).
constexpr std::uint64_t kMostSeekable = std::numeric_limits<std::int64_t>::max();
constexpr std::string_view kEndRecordMagic("PK\x05\x06", 4);
constexpr std::string_view kLocalHeaderMagic("PK\x03\x04", 4);
// A file is read this many bytes at a time when counting a directory's headers, or when looking
// for a local header before the archive.
constexpr std::uint64_t kCountingWindow = 64 * 1024;
// The highest version of the format an entry may need to be extracted: 6.3.
constexpr std::uint16_t kMostVersionNeeded = 63;
// The entries by which the library grows a directory's table past its stated count.
constexpr std::uint64_t kLibraryGrowth = kMax16 + 1;
// Readers that scan back from the end search the room of a record with the longest comment,
// the last 65,557 bytes, in blocks of 128 bytes, each starting 106 bytes before the one after it
// (so that every signature with a record's room after it lies in one), from the archive's last
// 128 bytes down to the first block that starts 106 bytes or less before that room.
constexpr std::uint64_t kBackwardSearch = kMax16 + end_record::kSize;
constexpr std::uint64_t kBackwardBlock = 128;
constexpr std::uint64_t kBackwardStep = kBackwardBlock - end_record::kSize;

PelvaneError more_than_one_end_record() {
  return PelvaneError::zip("archive holds more than one end record");
}

PelvaneError directory_elsewhere() {
  return PelvaneError::zip("central directory does not end where its end record says");
}

// The record as stored, for the readers that take its own values.
std::string_view stored_bytes(const EndRecord& record) {
  return std::string_view(record.stored.data(), record.stored.size());
}

// Where the directory of `record` ends for the readers that find it by its size: right before
// the ZIP64 end record, when there is one, else right before the end record.
std::uint64_t directory_end(const EndRecord& record) { return record.zip64_at.value_or(record.at); }

// Takes the values of the ZIP64 end record that the locator at `locator_at` of the tail points
// to into `record`, when the library would (`_zip_read_eocd64`): false when it refuses them (and
// with them the end record).
bool take_zip64_values(const ArchiveSource& source, std::string_view tail, std::uint64_t tail_start,
                       std::size_t locator_at, EndRecord& record) {
  namespace field = zip64_end_record;
  const std::string_view locator = known_part(tail, locator_at, zip64_locator::kSize);
  const std::uint64_t zip64_at = get64(locator, zip64_locator::kRecordOffset);
  if (zip64_at > kMostSeekable || zip64_at + field::kSize > tail_start + locator_at) return false;
  std::string storage;
  const auto zip64 = source.get(zip64_at, field::kSize, storage);
  if (!zip64 || get32(*zip64, kSignatureAt) != field::kSignature) return false;
  // The library reads the locator's disk as two 16-bit halves, each all ones for the record's
  // (release quirk).
  std::uint32_t disk = get16(locator, zip64_locator::kRecordDisk);
  std::uint32_t directory_disk = get16(locator, zip64_locator::kRecordDisk + 2);
  if (disk == kZip64Count) disk = get32(*zip64, field::kDisk);
  if (directory_disk == kZip64Count) directory_disk = get32(*zip64, field::kDirectoryDisk);
  record.entries = get64(*zip64, field::kEntries);
  record.directory_size = get64(*zip64, field::kDirectorySize);
  record.directory_offset = get64(*zip64, field::kDirectoryOffset);
  const std::uint64_t end = record.directory_offset + record.directory_size;
  // The library bounds the directory here by the record's offset plus where the tail starts,
  // looser than the record itself (release quirk); the end record bounds it again
  // (`fits_before`).
  if (disk != 0 || directory_disk != 0 || get64(*zip64, field::kDiskEntries) != record.entries ||
      record.directory_offset > kMostSeekable || end < record.directory_offset ||
      end > tail_start + zip64_at || record.entries > record.directory_size / kCentralHeaderSize)
    return false;
  record.zip64_at = zip64_at;
  record.zip64_end = zip64_at + field::kSizeCounted + get64(*zip64, field::kRecordSize);
  return true;
}

// The end record whose signature is at `at` of the tail (read from `tail_start` on), when the
// library takes its values, and with them sets aside room for the entries it states: there is
// room for it, it states no other disk, and the directory it states ends before it (or before
// the ZIP64 end record, as the library counts; `_zip_read_eocd`). Whether the library can go on
// with it is `fits_before`.
std::optional<EndRecord> read_end_record(const ArchiveSource& source, std::string_view tail,
                                         std::uint64_t tail_start, std::size_t at) {
  namespace field = end_record;
  if (tail.size() - at < field::kSize) return std::nullopt;
  const std::string_view stored = known_part(tail, at, field::kSize);
  EndRecord record;
  record.at = tail_start + at;
  std::memcpy(record.stored.data(), stored.data(), field::kSize);
  record.comment_length = get16(stored, field::kCommentLength);
  if (at >= zip64_locator::kSize &&
      get32(tail, at - zip64_locator::kSize) == zip64_locator::kSignature) {
    if (!take_zip64_values(source, tail, tail_start, at - zip64_locator::kSize, record))
      return std::nullopt;
    return record;
  }
  // The library reads the two 16-bit disk numbers as one 32-bit value (release quirk).
  record.entries = get16(stored, field::kEntries);
  record.directory_size = get32(stored, field::kDirectorySize);
  record.directory_offset = get32(stored, field::kDirectoryOffset);
  if (get32(stored, field::kDisk) != 0 || get16(stored, field::kDiskEntries) != record.entries ||
      record.directory_offset + record.directory_size > record.at)
    return std::nullopt;
  return record;
}

// True when the library goes on from the end record to read its directory: the directory
// ends before the record, and its comment fits in the archive, bytes may follow it
// (`_zip_read_cdir`).
bool fits_before(const EndRecord& record, std::uint64_t archive_size) {
  return record.directory_offset + record.directory_size <= record.at &&
         record.comment_length <= archive_size - record.at - end_record::kSize;
}

// True when `source` holds `magic` at `at`.
bool holds_signature(const ArchiveSource& source, std::uint64_t at, std::uint32_t magic) {
  std::string storage;
  const auto bytes = source.get(at, sizeof magic, storage);
  return bytes && get32(*bytes, kSignatureAt) == magic;
}

// True when the directory `record` states starts as the library reads one: with a central
// header, or, empty, stating no entries (`_zip_read_cdir`, `_zip_dirent_read`).
bool starts_directory(const ArchiveSource& source, const EndRecord& record) {
  if (record.directory_size == 0) return record.entries == 0;
  return holds_signature(source, record.directory_offset, kCentralHeaderSignature);
}

// The number of whole central headers that fill the `size` bytes of `source` at `offset`
// exactly; none when they do not. A file is read a window at a time.
std::optional<std::uint64_t> count_central_headers(const ArchiveSource& source,
                                                   std::uint64_t offset, std::uint64_t size) {
  const std::uint64_t end = offset + size;
  std::string storage;
  std::string_view window;
  std::uint64_t window_at = offset;
  std::uint64_t count = 0;
  std::uint64_t at = offset;
  for (; at < end; ++count) {
    if (end - at < kCentralHeaderSize) return std::nullopt;
    if (at - window_at + kCentralHeaderSize > window.size()) {
      const std::uint64_t length =
          source.in_memory() ? end - at : std::min(end - at, kCountingWindow);
      const auto read = source.get(at, length, storage);
      if (!read) return std::nullopt;
      window = *read;
      window_at = at;
    }
    const auto fixed = known_part(window, at - window_at, kCentralHeaderSize);
    if (get32(fixed, kSignatureAt) != kCentralHeaderSignature) return std::nullopt;
    at += central_header_size(fixed);
  }
  if (at != end) return std::nullopt;
  return count;
}

// True when the library reads `headers` central headers as the entries of a directory stating
// `record.entries`: that many, or, without ZIP64, a multiple of 65,536 more (`_zip_read_cdir`).
bool library_takes_headers(std::uint64_t headers, const EndRecord& record) {
  if (headers == record.entries) return true;
  return !record.zip64_at && headers > record.entries &&
         (headers - record.entries) % kLibraryGrowth == 0;
}

// True when the library grows the table of the directory of `record` past what it states before
// it reads a central header there: it states no entries, without ZIP64, over a directory with
// room for one (`_zip_read_cdir`, `_zip_cdir_grow`; release quirk). The table grows past stated
// entries too, but only once they have been read as central headers, and then for each further
// 65,536 of them, as many as the directory holds.
bool library_grows(const EndRecord& record) {
  return !record.zip64_at && record.entries == 0 && record.directory_size >= kCentralHeaderSize;
}

// True when the end record's own values, where they are not all ones, are those of the ZIP64
// end record.
bool own_values_agree(const EndRecord& record) {
  namespace field = end_record;
  const std::string_view stored = stored_bytes(record);
  const auto agrees = [](std::uint64_t own, std::uint64_t all_ones, std::uint64_t value) {
    return own == all_ones || own == value;
  };
  return agrees(get16(stored, field::kDiskEntries), kZip64Count, record.entries) &&
         agrees(get16(stored, field::kEntries), kZip64Count, record.entries) &&
         agrees(get32(stored, field::kDirectorySize), kZip64Value, record.directory_size) &&
         agrees(get32(stored, field::kDirectoryOffset), kZip64Value, record.directory_offset);
}

// True when `fixed`, 30 bytes, are a local header's: its signature, a version needed of at most
// 6.3 and a name. The signature alone is not one: programs that handle archives hold it among
// their constants, followed by other signatures or text.
bool is_local_header(std::string_view fixed) {
  return get32(fixed, kSignatureAt) == kLocalHeaderSignature &&
         get16(fixed, local_header::kVersionNeeded) <= kMostVersionNeeded &&
         get16(fixed, local_header::kNameLength) != 0;
}

// True when `source` holds at `at` the local header of an entry named `name`.
bool holds_local_header_named(const ArchiveSource& source, std::uint64_t at,
                              std::string_view name) {
  std::string storage;
  const auto header = source.get(at, kLocalHeaderSize + name.size(), storage);
  return header && is_local_header(known_part(*header, 0, kLocalHeaderSize)) &&
         get16(*header, local_header::kNameLength) == name.size() &&
         header->substr(kLocalHeaderSize) == name;
}

// True when a local header starts among the first `count` bytes of `source`, read a window at a
// time. Each window reaches 29 bytes past the next one's start, so that a header starting in it
// is tested in place, and one search of a window passes over every signature that starts no
// header: a stub may hold one every 4 bytes.
bool holds_local_header_before(const ArchiveSource& source, std::uint64_t count) {
  const std::uint64_t step = source.in_memory() ? count : kCountingWindow;
  std::string storage;
  for (std::uint64_t from = 0; from < count; from += step) {
    const std::uint64_t length =
        std::min(std::min(step, count - from) + kLocalHeaderSize - 1, source.size() - from);
    const auto window = source.get(from, length, storage);
    if (!window) return false;
    const auto starts_header = [&](std::size_t at) {
      return window->size() - at >= kLocalHeaderSize &&
             is_local_header(known_part(*window, at, kLocalHeaderSize));
    };
    if (find_pattern(*window, kLocalHeaderMagic, 0, starts_header) != std::string_view::npos)
      return true;
  }
  return false;
}

// The failure of an archive whose directory, not at its stated offset, starts where the size of
// `record` places it, that many bytes further on, when those bytes were written before it
// without moving its offsets: they hold no local header, and the local header of the entry of
// its first central header, under that header's name, lies as many bytes past the offset the
// header states. None for any other: a package cut short or damaged, whose own entries lie
// before that place, or whose record found is that of an archive stored in one of its entries;
// or one whose directory offset, damaged, falls short by whole entries, which puts a later
// entry's local header that far on.
std::optional<PelvaneError> uncounted_leading_bytes(const ArchiveSource& source,
                                                    const EndRecord& record) {
  const std::uint64_t end = directory_end(record);
  if (record.directory_size > end) return std::nullopt;
  const std::uint64_t placed = end - record.directory_size;
  if (placed <= record.directory_offset) return std::nullopt;
  const std::uint64_t count = placed - record.directory_offset;
  std::string storage;
  const auto first = source.get(placed, kCentralHeaderSize, storage);
  if (!first || get32(*first, kSignatureAt) != kCentralHeaderSignature) return std::nullopt;
  // The true offset of an offset held in a ZIP64 field stands in the header's extra field, which
  // is not read here: with no local header to find, such an archive names no bytes.
  const std::uint64_t first_local = get32(*first, central_header::kLocalHeaderOffset);
  if (first_local == kZip64Value) return std::nullopt;
  const auto name =
      source.read(placed + kCentralHeaderSize, get16(*first, central_header::kNameLength));
  if (!name || !holds_local_header_named(source, first_local + count, *name) ||
      holds_local_header_before(source, count))
    return std::nullopt;
  return PelvaneError::zip("archive has " + std::to_string(count) +
                           (count == 1 ? " byte" : " bytes") +
                           " before its first entry that its offsets do not count");
}

// True when readers that scan back from the end take the end record `stored` at `at`: its
// comment reaches the end of the archive, or the directory that its own size places right
// before it starts with a central header and the first local header, that less its own offset,
// with a local header.
bool backward_reader_takes(const ArchiveSource& source, std::uint64_t at, std::string_view stored) {
  namespace field = end_record;
  if (at + field::kSize + get16(stored, field::kCommentLength) == source.size()) return true;
  const std::uint64_t size = get32(stored, field::kDirectorySize);
  const std::uint64_t offset = get32(stored, field::kDirectoryOffset);
  if (size > at || offset > at - size) return false;
  return holds_signature(source, at - size, kCentralHeaderSignature) &&
         holds_signature(source, at - size - offset, kLocalHeaderSignature);
}

// Where the lowest block that readers scanning back from the end read starts, in an archive of
// `archive_size` bytes (at least a record's); what lies before the archive counts as zeros.
std::uint64_t backward_search_start(std::uint64_t archive_size) {
  const auto size = static_cast<std::int64_t>(archive_size);
  const auto step = static_cast<std::int64_t>(kBackwardStep);
  const std::int64_t last = size - static_cast<std::int64_t>(kBackwardBlock);
  const std::int64_t lowest =
      std::max<std::int64_t>(size - static_cast<std::int64_t>(kBackwardSearch), 0) - step;
  return static_cast<std::uint64_t>(
      std::max<std::int64_t>(last - (last - lowest) / step * step, 0));
}

}  // namespace

EndRecords EndRecords::find(const ArchiveSource& source) {
  EndRecords records;
  records.archive_size_ = source.size();
  if (source.size() < end_record::kSize) return records;
  const std::uint64_t tail_size = std::min(source.size(), kTailSize);
  const std::uint64_t tail_start = source.size() - tail_size;
  std::string storage;
  const auto tail = source.get(tail_start, tail_size, storage);
  if (!tail) return records;
  // The library searches past the locator's room in a whole tail (a file of at least
  // `kTailSize` bytes), else from the file's first byte, and only where a record has room
  // (`_zip_find_central_dir`; release quirk).
  const std::size_t search_from = tail_size == kTailSize ? zip64_locator::kSize : 0;
  for (std::size_t at = tail->find(kEndRecordMagic); at != std::string_view::npos;
       at = tail->find(kEndRecordMagic, at + 1)) {
    records.last_signature_ = tail_start + at;
    if (at < search_from) continue;
    auto record = read_end_record(source, *tail, tail_start, at);
    if (!record) continue;
    if (!fits_before(*record, source.size())) {
      records.add_other(source, *record, /*read=*/false);
      continue;
    }
    if (records.last_) records.add_other(source, *records.last_, /*read=*/true);
    records.last_ = *record;
  }
  return records;
}

void EndRecords::add_other(const ArchiveSource& source, const EndRecord& record, bool read) {
  constexpr std::uint64_t kCap = kMostOtherEntries + 1;
  other_entries_ = std::min(other_entries_ + std::min(record.entries, kCap), kCap);
  if (!read) return;
  if (library_grows(record)) ++other_growths_;
  if (!starts_directory(source, record)) return;
  if (other_count_ < kMostOtherDirectories) others_[other_count_] = record;
  ++other_count_;
}

Result<void> EndRecords::check_no_other_directory(const ArchiveSource& source) const {
  if (other_count_ > kMostOtherDirectories || other_entries_ > kMostOtherEntries ||
      other_growths_ > kMostOtherGrowths)
    return fail(more_than_one_end_record());
  for (std::size_t k = 0; k < other_count_; ++k) {
    const EndRecord& other = others_[k];
    const auto headers =
        count_central_headers(source, other.directory_offset, other.directory_size);
    if (headers && library_takes_headers(*headers, other)) return fail(more_than_one_end_record());
  }
  return {};
}

Result<void> EndRecords::check_readers_agree(const ArchiveSource& source) const {
  PELVANE_TRY_VOID(check_last_signature_readers());
  PELVANE_TRY_VOID(check_backward_readers(source));
  return check_directory_end();
}

Result<void> EndRecords::check_last_signature_readers() const {
  if (last_signature_ && *last_signature_ > last_->at &&
      last_->at + end_record::kSize != archive_size_)
    return fail(more_than_one_end_record());
  return {};
}

Result<void> EndRecords::check_backward_readers(const ArchiveSource& source) const {
  const EndRecord& record = *last_;
  if (backward_reader_takes(source, record.at, stored_bytes(record))) return {};
  // They pass over it: none of the earlier signatures they meet may be one they take (only
  // earlier ones, since a record they pass over does not end the archive, and any signature after
  // it has refused the archive already: `check_last_signature_readers`). The bytes
  // from the lowest block they read to the end of this record hold them all, found as `find`
  // finds signatures (a search that compares only where the first byte matches); which of
  // them they meet first does not matter, since any one refuses the archive.
  const std::uint64_t from = backward_search_start(archive_size_);
  std::string storage;
  const auto scanned = source.get(from, record.at + end_record::kSize - from, storage);
  if (!scanned) return {};
  const std::size_t before = record.at - from;
  for (std::size_t at = scanned->find(kEndRecordMagic); at < before;
       at = scanned->find(kEndRecordMagic, at + 1)) {
    if (backward_reader_takes(source, from + at, known_part(*scanned, at, end_record::kSize)))
      return fail(more_than_one_end_record());
  }
  return {};
}

Result<void> EndRecords::check_directory_end() const {
  const EndRecord& record = *last_;
  if (record.zip64_at &&
      (!own_values_agree(record) || record.zip64_end != record.at - zip64_locator::kSize))
    return fail(PelvaneError::zip("ZIP64 end record disagrees with the end record"));
  if (record.directory_offset + record.directory_size != directory_end(record))
    return fail(directory_elsewhere());
  return {};
}

std::optional<PelvaneError> directory_extent_failure(const ArchiveSource& source,
                                                     std::string_view directory,
                                                     const EndRecord& record) {
  const ArchiveSource bytes(directory);
  if (!directory.empty() && !holds_signature(bytes, 0, kCentralHeaderSignature))
    return uncounted_leading_bytes(source, record);
  const auto held = count_central_headers(bytes, 0, directory.size());
  if (!held || *held == record.entries) return directory_elsewhere();
  if (library_takes_headers(*held, record))
    return PelvaneError::zip("central directory holds more entries than its end record states");
  return PelvaneError::zip("central directory holds " + std::to_string(*held) +
                           (*held == 1 ? " entry" : " entries") + " where its end record states " +
                           std::to_string(record.entries));
}

}  // namespace pelvane
