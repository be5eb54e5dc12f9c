// The copy loop of every rewrite of an archive: the input's entries in archive order, each kept,
// replaced, transformed or dropped as a plan decides, then the entries the plan adds.
//
// Entries keep the input's order; entries the plan adds follow the last input entry, in the
// order given. Each input entry is either
//   - kept: copied raw (compressed bytes and header fields untouched) in the raw-copy style; in
//     the recompressing style its compressed bytes are written under the header of an entry
//     written from content (its own method, CRC-32 and sizes; 1980-01-01 00:00:00, mode 0644),
//     or, for an entry whose bytes cannot be taken over (encrypted, a method we do not write),
//     decompressed and written again;
//   - replaced by new content, or transformed (its content read, changed, written);
//   - dropped (not written, not counted).
// Directory entries are raw-copied, written as directories (stored, 040755) or written as empty
// file entries, as the plan says.
//
// The roads of a kept entry, tried in this order (condition -> writer call, in the file that
// takes it):
//   1. raw-copy style (a directory: copied raw), the input a file whose stored headers the
//      writer writes as they are (`StoredEntryHeaders::stored_copy`,
//      `writes_stored_headers_of_name`) -> `add_stored_entries_from_file`, with the neighbours
//      alike as one block of central headers and one span of the file (archive_copy.cpp);
//   2. a directory written as a directory -> `add_directory` (archive_copy.cpp);
//   3. recompressing style, a file entry that opens without the archive library and lies in
//      the input file -> `add_content_entry_from_file`: the header of an entry written from
//      content over the stored compressed bytes (archive_copy.cpp);
//   4. any other entry copied raw, under the header its style gives, its local header placed in
//      the input file -> `add_raw_entry_from_file`: header and data as they lie when the stored
//      local header is the one written, else the header anew before the data (zip_raw_copy.cpp);
//   5. the same with no local header placed (an input over bytes, a local header not where the
//      directory says) -> `begin_raw_entry`, `write_raw_data` of the compressed bytes the archive
//      library reads, `end_entry` (zip_raw_copy.cpp);
//   6. recompressing style, compressed bytes that cannot be taken over (a method we do not
//      write, an entry the library cannot describe), and a directory written as an empty file
//      -> `begin_entry`, the content decompressed into `write_entry_data`, `end_entry`
//      (archive_copy.cpp).
// The writer and its sink copy the spans of roads 1, 3 and 4 from the input file
// (zip_writer.cpp, zip_sink.hpp).
//
// Entries written from content keep the compression method of the input entry they take the
// place of (new entries: Deflate, level 6), with the time 1980-01-01 00:00:00 and Unix mode
// 0644. The output has no archive comment, no ZIP64 records, no encryption.
//
// Kept entries stream in runs: consecutive ones whose bytes are unchanged go as one range of
// the input, the others as their data behind a header written anew (zip_sink.hpp tells how the
// bytes travel). A Deflate entry written from content ends with padding that puts the next
// long run of raw copies at the same place within a page as in the input, also past entries
// dropped or stored anew before that run.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {

class ZipWriter;

enum class EntryAction {
  Keep,       // written as the rewrite style says
  Replace,    // written from `EntryDecision::content`
  Transform,  // content read whole, passed through `RewritePlan::transform`, written from the
              // result
  Drop,       // skipped
};

struct EntryDecision {
  EntryAction action = EntryAction::Keep;
  std::string_view content;  // Replace: the new bytes, owned by the caller during the rewrite
};

enum class RewriteStyle {
  RawCopy,     // kept entries are copied raw
  Recompress,  // kept entries are written again under new headers (time and mode reset)
};

enum class DirectoryStyle {
  RawCopy,      // copied raw, in either rewrite style
  AsDirectory,  // written as a directory entry
  AsEmptyFile,  // written as an empty file entry under the same name
};

// What the plan decides for the input entry at `index`.
struct IndexedDecision {
  std::uint64_t index = 0;
  EntryDecision decision;
};

struct NewEntry {
  std::string name;
  std::string content;
};

struct RewritePlan {
  RewriteStyle style = RewriteStyle::RawCopy;
  DirectoryStyle directories = DirectoryStyle::RawCopy;
  // The action for each input entry (index in archive order, name); unset: keep them all. It is
  // asked again for entries ahead when the loop aligns a copy, and answers alike each time.
  std::function<EntryDecision(std::uint64_t index, std::string_view name)> decide;
  // When `decide` is unset: the entries not kept, by increasing index, each once; the entries
  // not listed are kept.
  std::vector<IndexedDecision> decisions;
  // For entries decided `Transform`: their content in, the content to write out.
  std::function<Result<std::string>(std::string_view name, std::string content)> transform;
  // Written after every input entry, in this order, with Deflate.
  std::vector<NewEntry> new_entries;
  // Entries written from content in place of an input entry keep that entry's time instead of
  // 1980-01-01 00:00:00 (the rewrite of an embedded workbook).
  bool keep_replaced_entry_time = false;
};

// Called with the name of every entry written, in order.
using WrittenEntry = std::function<void(std::string_view name)>;

// Writes the input's entries as `plan` says, then the entries it adds, into `writer`, which the
// caller finishes.
Result<void> copy_archive_entries(PackageArchive& input, ZipWriter& writer, const RewritePlan& plan,
                                  const WrittenEntry& written);

}  // namespace pelvane
