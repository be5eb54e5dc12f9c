// The end records of an archive, and the one central directory that every reader of it takes.
//
// A reader finds an archive's central directory through its end record, in the archive's tail
// (the record and a comment of at most 65,535 bytes: the last 65,557 bytes), but readers choose
// it in different ways:
//   - the archive library (`kModelledLibraryVersion`) tries every end-record signature of its
//     own tail, the last 65,578 bytes (room for a ZIP64 locator, and for a comment one byte
//     longer than any), that leaves room for a record (past the tail's first 20 bytes, the
//     locator's room, when the archive is at least that long) whose record, ZIP64 records and
//     directory read;
//     when several do, it takes the one whose entries span the most of the file, reading every
//     local header of each to tell, and again for each further one (`_zip_find_central_dir`,
//     `_zip_read_cdir`; the choice by span, `_zip_checkcons`, is a release quirk);
//   - some readers take the last signature of the tail (or the last 22 bytes, when they form an
//     end record without a comment), and some find the directory where its size puts it, right
//     before the end record or the ZIP64 end record, rather than at its stated offset;
//   - readers that scan back from the end (`java.util.zip`) take the first record whose comment
//     reaches the end of the archive, or whose directory, where its size puts it, starts with a
//     central header and the first local header, that less its stated offset, with a local
//     header; they pass over a record that neither holds for, to an earlier one;
//   - behind a ZIP64 locator, the library takes the ZIP64 end record's values alone
//     (`_zip_read_eocd64`); other readers take the end record's own where they are not all ones;
//   - a directory is read by its entry count by some readers, by its size by others, and by
//     the library by both, taking central headers past the stated count as entries too, as long
//     as they are a multiple of 65,536 (the count of an archive of more entries than 16 bits
//     hold, stored as it is modulo 65,536; `_zip_read_cdir`).
// An archive is read here only when all of them take one end record and one directory, header
// for header; any other is refused before any reader reads it, saying what could be read two
// ways. These steps establish it, in this order (`StoredEntryHeaders::parse` takes them):
//   1. `EndRecords::find`: the end records of the tail, and the last one the library could take;
//   2. `check_no_other_directory`: the library can take no other;
//   3. the directory read as the record states it, its count of whole central headers
//      (stored_headers.cpp);
//   4. when it is not that, `directory_extent_failure` says why;
//   5. `check_readers_agree`: the other readers take the same record and directory.
// The library, opening only what passed, then reads the directory once and no local header,
// tries at most `kMostOtherDirectories` other directories, none of which reads, sets aside room
// for at most `kMostOtherEntries` stated entries of the others, and grows a table of theirs past
// what they state at most `kMostOtherGrowths` times.
//
// What merely looks like an end record is no reason to refuse: the bytes of an archive stored
// inside an entry, say, state a directory where the outer archive holds no central header.
//
// Release quirks. The library's rules are those of the release `kModelledLibraryVersion`; each
// names the function of its source that it copies, all in zip_open.c but `_zip_cdir_new`,
// `_zip_cdir_grow` and `_zip_dirent_read` (zip_dirent.c). A rule marked "release quirk" is how
// that release's code happens to go rather than what the format asks, which later releases may
// change: an upgrade revisits those first. This is the mark's one definition; the name table
// (library_name_table.hpp) and the README use it as it stands here.
//
// Upgrade map. Later releases (1.11: `_zip_find_central_dir`, `find_eocd`, `_zip_read_cdir`)
// search the tail back from its last signature down to its first byte, the 20 bytes left for a
// ZIP64 locator included, and pass over a record, to go on back, in four cases only:
//   - fewer than 22 bytes lie from its signature to the tail's end (`_zip_read_eocd`);
//   - a ZIP64 locator right before it points where no ZIP64 end record's signature stands
//     (`_zip_read_eocd64` answers `CDIR_NOT_FOUND`);
//   - without a locator, its two disk numbers differ, one of them not 0, and its own disk is the
//     lower one or the stated directory size is at most the record's own offset;
//   - without a locator, no central-header signature stands at the stated directory offset,
//     whatever the stated size, unless the record states an empty archive at the start of the
//     file (both disks, the record's offset, the directory offset and the count all 0).
// The first record past those four is taken, and every later failure of it is final: the disk
// and count conditions and the span condition of `read_end_record` (a directory that does not
// end before its record), the same span condition in `fits_before`, and the checks of
// `take_zip64_values` but the signature's, each refuse the archive instead of passing over the
// record; a comment running past the end is cut short, where `fits_before` passes over its
// record. When no record passes, the library says "Possibly truncated or corrupted zip archive"
// (`_is_truncated_zip`) of a file that starts with a local-header signature, but only while its
// error is still "Not a zip archive": a signature passed over for want of room has set "Zip
// archive inconsistent", which stays, and the other three cases set nothing. The table rows that
// expect "Not a zip archive" of such files change with it. On such an upgrade:
//   - what goes: the entry and growth counts of the other records, which the library no longer
//     sets aside room for (`kMostOtherEntries`, `kMostOtherGrowths`, `other_entries_`,
//     `other_growths_`, and `library_grows`, which only they use), and the road of `add_other`
//     that only counts a record whose directory is not read;
//   - what changes: `find`, whose search starts from the tail's first byte (no `search_from`)
//     and whose choice, today the last record that `read_end_record`, `take_zip64_values` and
//     `fits_before` pass, becomes the first from the back past the four cases; where one of the
//     final failures above then holds, it takes none, and the library refuses the archive with
//     its own message. `find` must go on walking the earlier signatures after it chooses, where
//     the library stops, so that `add_other` still meets every earlier record whose directory
//     may read. `starts_directory` is not the fourth case: it answers "starts" for a directory
//     of size 0 without looking, and it looks behind a ZIP64 locator too; it stays as
//     `add_other`'s filter;
//   - what stays: `check_no_other_directory`, with `others_`, `other_count_` and
//     `kMostOtherDirectories`, which the library's own reading no longer needs but which go on
//     refusing an earlier record whose directory reads, since readers that weigh every record,
//     as this release does, may take it; `last_`, `last_signature_` and the checks of the other
//     readers (`check_readers_agree`), `directory_extent_failure`, and `count_central_headers`
//     and `library_takes_headers`, which it shares with `check_no_other_directory`;
//   - the leading-bytes message: `uncounted_leading_bytes` names bytes only for a record whose
//     stated directory offset holds no central header, which, without a locator, is the fourth
//     case. The changed `find` passes over that record, takes none, and the library says "Not a
//     zip archive". To keep the message, `find` keeps the first record from the back that it
//     passes over in the fourth case alone, and when it takes none, `StoredEntryHeaders::parse`
//     asks `uncounted_leading_bytes` of that record before the library opens anything; without
//     that, the message goes, and so do the rows that expect it (in the end-record table and the
//     Python tests of packages misleading their readers);
//   - the fail-closed check (`StoredEntryHeaders::agree_with_library`) reads as it does now:
//     where `find` takes no record, the library takes none either, passing over the same four
//     cases and refusing on the same final failures, so an archive that it opens all the same,
//     or reads with other entries, is one the model has missed, and it is refused. It stays, and
//     so does the test that sweeps the library's tail against the library itself, whose edge
//     then lies at the tail's first byte.
// In this order: the library and `find` change together, since the model follows the release
// that is linked (a test fails on any other); what goes is deleted after, since it only bounds
// the work of a release that reads every record, which then is gone.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "core/base/error.hpp"
#include "core/zip/archive_source.hpp"
#include "core/zip/zip_format.hpp"

namespace pelvane {

// An end record that the archive library could take, up to reading its directory, and the
// directory it states: its own values, or those of the ZIP64 end record its locator points to.
struct EndRecord {
  std::uint64_t at = 0;  // of its signature in the archive
  std::uint64_t directory_offset = 0;
  std::uint64_t directory_size = 0;
  std::uint64_t entries = 0;
  std::uint16_t comment_length = 0;
  // The record as stored, for the readers that take its own values.
  std::array<char, zip_format::end_record::kSize> stored{};
  // Behind a ZIP64 locator: where the ZIP64 end record starts, and where its stated size ends it.
  std::optional<std::uint64_t> zip64_at;
  std::uint64_t zip64_end = 0;
};

class EndRecords {
 public:
  // How many other end records, each stating a directory that starts with a central header, may
  // have their directories read to tell that the library cannot take them; more are refused
  // unread.
  static constexpr std::size_t kMostOtherDirectories = 2;
  // How many entries the other end records may state in all: the library sets aside room for
  // each one's before it looks at its directory (`_zip_cdir_new`).
  static constexpr std::uint64_t kMostOtherEntries = 65536;
  // How many of the other end records may state none over a directory with room for a central
  // header: the library grows the table of each by 65,536 entries before it reads a header there
  // (`_zip_read_cdir`, `_zip_cdir_grow`; release quirk).
  static constexpr std::uint64_t kMostOtherGrowths = 1;

  // The end records of the archive's tail.
  static EndRecords find(const ArchiveSource& source);

  // The last end record that the library could take, whose directory is the archive's; none
  // when there is none, and then the library finds no directory either, and says so.
  const std::optional<EndRecord>& last() const { return last_; }

  // `Zip` "archive holds more than one end record" when the directory of another end record
  // reads too, when more than `kMostOtherDirectories` other ones could, or when the other ones
  // state more than `kMostOtherEntries` entries or would have the library grow their tables
  // more than `kMostOtherGrowths` times (`_zip_find_central_dir`).
  Result<void> check_no_other_directory(const ArchiveSource& source) const;
  // `Zip` when other readers could take another directory than that of `last`, which reads:
  // each kind of reader in its own check below, in this order.
  Result<void> check_readers_agree(const ArchiveSource& source) const;

 private:
  std::uint64_t archive_size_ = 0;
  std::optional<EndRecord> last_;
  // Where the last end-record signature of the tail starts, whether or not it could be one.
  std::optional<std::uint64_t> last_signature_;
  // The other end records whose directories start with a central header, the first ones.
  std::array<EndRecord, kMostOtherDirectories> others_{};
  std::size_t other_count_ = 0;  // all of them
  // The entries the other end records state, up to one more than `kMostOtherEntries`, and how
  // many of them the library grows the table of.
  std::uint64_t other_entries_ = 0;
  std::uint64_t other_growths_ = 0;

  // Counts `record`, an end record the library reads other than the last; `read`: one whose
  // directory it goes on to read.
  void add_other(const ArchiveSource& source, const EndRecord& record, bool read);
  // Readers that take the last signature of the tail: "archive holds more than one end record"
  // when it follows `last`, unless it is one of the record's own bytes and the record ends the
  // archive (they then take the record first).
  Result<void> check_last_signature_readers() const;
  // Readers that scan back from the end: "archive holds more than one end record" when they pass
  // over `last` and take an earlier one.
  Result<void> check_backward_readers(const ArchiveSource& source) const;
  // Readers that find the directory where its size puts it, and those that take the end
  // record's own values behind a ZIP64 locator: "ZIP64 end record disagrees with the end record"
  // when those values differ from the ZIP64 end record's, or that record does not end at its
  // locator; "central directory does not end where its end record says" when the directory does
  // not end right before the end record or the ZIP64 end record.
  Result<void> check_directory_end() const;
};

// Why the directory of `record`, once read from `source` as `directory`, is refused, when it is
// not its stated count of whole central headers. When it is whole central headers of another
// count: those that the library would read as more entries, "central directory holds more
// entries than its end record states", else "central directory holds {held} entries where its
// end record states {stated}" ("entry" for one). Any other layout: "central directory does not
// end where its end record says". When it does not start with a central header, the library
// reads nothing there and says so itself: none, unless the file holds what bytes written before
// an archive without moving its offsets leave, "archive has {count} bytes before its first entry
// that its offsets do not count" ("byte" for one), which is when all of these hold:
//   - a central header starts where the record's size places the directory, right before the
//     record or its ZIP64 end record, {count} bytes past its stated offset;
//   - that header states its local header's offset itself, not in a ZIP64 field: the true offset
//     would stand in its extra field, which is not read here, and with no local header to look
//     for such bytes cannot be told from a package's own;
//   - {count} bytes past that offset lies the local header of that header's entry, under the
//     name the central header gives it (a directory offset damaged short by whole entries puts a
//     later entry's local header there, under another name);
//   - no local header starts among the first {count} bytes of the file (a package cut short or
//     damaged holds its own entries there, whether the record found is its own or that of an
//     archive stored in one of its entries).
std::optional<PelvaneError> directory_extent_failure(const ArchiveSource& source,
                                                     std::string_view directory,
                                                     const EndRecord& record);

}  // namespace pelvane
