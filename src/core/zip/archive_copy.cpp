#include "core/zip/archive_copy.hpp"

#include <algorithm>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "core/zip/stored_headers.hpp"
#include "core/zip/zip_raw_copy.hpp"
#include "core/zip/zip_sink.hpp"
#include "core/zip/zip_writer.hpp"

namespace pelvane {

namespace {

constexpr std::size_t kReadChunk = 1024 * 1024;
// Below this many input bytes from a large kept entry on, aligning its copy is not worth the
// padding of the entry written from content before it.
constexpr std::uint64_t kAlignWorthwhile = 16 * 1024 * 1024;

// A raw copy takes the stated CRC-32 over unread. A stored entry of 0 bytes has nothing to read:
// a CRC-32 other than 0 is refused as a reader of the entry refuses it (`EntryReader`), where
// the copy would pass it on.
Result<void> check_copied_crc(std::uint16_t method, std::uint64_t uncompressed_size,
                              std::uint32_t crc32) {
  if (states_wrong_empty_crc(method, uncompressed_size, crc32)) return fail(crc_mismatch());
  return {};
}

// One input entry as the rewrite sees it.
struct PlannedEntry {
  std::string_view name;
  bool directory = false;
  EntryDecision decision;
};

// The copy loop of one rewrite: every input entry in archive order, as the plan decides.
class CopyLoop {
 public:
  CopyLoop(PackageArchive& input, ZipWriter& writer, const RewritePlan& plan,
           const StoredEntryHeaders& headers, const WrittenEntry& written)
      : input_(input),
        writer_(writer),
        plan_(plan),
        headers_(headers),
        written_(written),
        checks_entries_(input.entry_checks_left_to_copy()) {}

  Result<void> run();

 private:
  // Where the data of the next raw copy should land, relative to the end of the entry just
  // written from content.
  struct AlignmentTarget {
    std::uint64_t input_offset = 0;   // of that entry's data in the input
    std::uint64_t bytes_between = 0;  // output bytes between the end of the entry and that data
  };

  // Every input entry, in archive order.
  Result<void> copy_input_entries();
  // The input entry at `index` and what the plan decides for it. `decided`: where to look in
  // the plan's `decisions`, moved on past the entries before `index`; the indices asked about
  // through one cursor never decrease.
  // Filled in `entry`, which the caller keeps: copied out of a result, it would be moved through
  // memory in pieces of other sizes than it was written in, which stalls on every entry.
  // Inline: asked about every entry, nearly all of them kept.
  [[gnu::always_inline]] Result<void> planned(std::uint64_t index, std::size_t& decided,
                                              PlannedEntry& entry) const;
  Result<void> write_entry(std::uint64_t index, const PlannedEntry& entry);
  // When the copy checks the entries (`leave_entry_checks_to_copy`): a kept entry to be written
  // as it lies whose local header is unread has it read with the bytes the copy takes from
  // there on, in one read into the writer's sink, which then copies them as they are
  // (`ZipWriter::read_ahead`): the local headers in them are settled from those bytes.
  // In the recompressing style, any other entry whose local header is unread has it read with
  // the bytes from there on, into the sink too, placed for entries under new headers: those
  // whose compressed bytes are among them are copied from there. The file is read once, for
  // the check and the copy alike.
  //
  // Entry assumptions. The bytes read ahead lie in the writer's buffer, which the appends that
  // follow overwrite; this road takes them on trust, because four facts kept elsewhere hold:
  //   1. the sink hands bytes read ahead to a copy only while nothing appended since has reached
  //      them, and forgets them on every flush and wherever its buffer starts afresh
  //      (`FileZipSink::read_ahead_at`, `place_room`): no copy takes overwritten bytes;
  //   2. the stored headers keep copies of the local headers they settle from a file's bytes,
  //      in storage of their own, and views only of a source in memory
  //      (`StoredEntryHeaders::settle_local_headers`): nothing they keep points into the buffer;
  //   3. only a file that is not held is read ahead (`FileZipSink::read_ahead` reads nothing for
  //      a held one), so the bytes the stored headers settle from here are never those of a
  //      source in memory, of which they would keep views;
  //   4. the copy checks the entries, and so reads ahead, only for a file too large to be held
  //      (`PackageArchive::leave_entry_checks_to_copy`).
  // The reader's half, 2 and 3, is asserted where it takes the bytes
  // (`StoredEntryHeaders::take_local_headers`), in debug and sanitizer builds.
  Result<void> read_ahead(std::uint64_t index, const PlannedEntry& entry);
  // That the entry opens, as `check_entry_opens` checks it up front for other archives.
  Result<void> check_opens(std::uint64_t index) {
    if (!checks_entries_ || headers_.opens(index)) return {};
    return check_unsettled_entry_opens(input_, index);
  }
  // True when the plan and the style have a kept entry written as it lies, its stored headers
  // allowing.
  bool kept_as_stored(const PlannedEntry& entry) const {
    return entry.decision.action == EntryAction::Keep &&
           (entry.directory ? plan_.directories == DirectoryStyle::RawCopy
                            : plan_.style == RewriteStyle::RawCopy);
  }
  // A kept entry written as it lies in the input, headers and all (`stored_copy`); none when
  // the plan or its headers have it written otherwise.
  std::optional<StoredEntryHeaders::StoredCopy> stored_as_it_lies(std::uint64_t index,
                                                                  const PlannedEntry& entry) const;
  // True when a kept entry is written as its compressed bytes under a header of ours.
  bool copied_raw(const PlannedEntry& entry) const;
  // The header under which the kept entry at `index` is copied raw: its stored one in the
  // raw-copy style and for directories copied raw, in the recompressing style the header of an
  // entry written from content with its own method, CRC-32 and sizes. None when its compressed
  // bytes cannot be taken over (encrypted, a method we do not write), and a failure when the
  // entry cannot be described.
  // Filled in `header`; true when there is one.
  Result<bool> kept_header(std::uint64_t index, const PlannedEntry& entry,
                           RawEntryHeader& header) const;
  ZipEntryOptions content_options(std::uint64_t index) const;
  // The options of the header under which a kept entry is copied raw in the recompressing
  // style: its own method, the time as the plan says.
  ZipEntryOptions kept_options(std::uint64_t index, std::uint16_t method) const;
  // In the recompressing style, a kept entry whose compressed bytes the writer copies from the
  // input file under a header it lays out itself (the header `kept_header` gives): its stored
  // fields and where it lies; none when the entry takes the longer road.
  struct Reheaded {
    StoredEntryHeaders::Data data;
    StoredEntryHeaders::Placement placement;
  };
  std::optional<Reheaded> reheaded(std::uint64_t index) const;
  std::optional<AlignmentTarget> alignment_target(std::uint64_t from) const;

  PackageArchive& input_;
  ZipWriter& writer_;
  const RewritePlan& plan_;
  const StoredEntryHeaders& headers_;
  const WrittenEntry& written_;
  const bool checks_entries_;
  std::size_t decided_ = 0;  // the copy's cursor in the plan's `decisions`
  std::vector<char> chunk_;
};

Result<void> CopyLoop::run() {
  // Room for the central directory at once: one header per entry, its name, rarely more.
  const std::uint64_t count = input_.entry_count();
  std::uint64_t names = 0;
  for (std::uint64_t index = 0; index < count; ++index) names += headers_.name(index).size();
  for (const NewEntry& entry : plan_.new_entries) names += entry.name.size();
  writer_.reserve(count + plan_.new_entries.size(), names);

  // The names of a plain input differ from each other (its stored headers checked them as
  // they indexed them), and each input entry is written once under its own name: the writer
  // need not look them up. The entries the plan adds are.
  writer_.set_names_known_distinct(input_.plain_headers() != nullptr);
  Result<void> copied = copy_input_entries();
  writer_.set_names_known_distinct(false);
  PELVANE_TRY_VOID(std::move(copied));
  for (const NewEntry& entry : plan_.new_entries) {
    written_(entry.name);
    PELVANE_TRY_VOID(writer_.add_entry(entry.name, entry.content));
  }
  // Raw copies may still wait on the input file, which closes with `headers_`.
  return writer_.copy_pending();
}

Result<void> CopyLoop::copy_input_entries() {
  const std::uint64_t count = input_.entry_count();
  for (std::uint64_t index = 0; index < count;) {
    PlannedEntry entry;
    PELVANE_TRY_VOID(planned(index, decided_, entry));
    PELVANE_TRY_VOID(read_ahead(index, entry));
    PELVANE_TRY_VOID(check_opens(index));
    const auto stored = stored_as_it_lies(index, entry);
    if (!stored) {
      PELVANE_TRY_VOID(write_entry(index, entry));
      ++index;
      continue;
    }
    // The entries that follow it alike, their central headers next to each other in the
    // directory and their local headers and data next to each other in the file, go with it
    // as one block of headers and one span of the file.
    written_(entry.name);
    const char* const centrals = stored->central.data();
    std::size_t centrals_size = stored->central.size();
    std::uint64_t length = stored->length;
    PlannedEntry following;
    for (++index; index < count; ++index) {
      if (!planned(index, decided_, following)) break;  // planned again, and refused, on its own
      // An entry whose header the bytes read ahead did not hold, or that does not open, goes
      // on its own.
      if (checks_entries_ && (headers_.local_header_unread(index) || !headers_.opens(index))) break;
      const auto next = stored_as_it_lies(index, following);
      if (!next || next->central.data() != centrals + centrals_size ||
          next->local_offset != stored->local_offset + length)
        break;
      written_(following.name);
      centrals_size += next->central.size();
      length += next->length;
    }
    PELVANE_TRY_VOID(writer_.add_stored_entries_from_file(
        std::string_view(centrals, centrals_size), headers_.file(), stored->local_offset, length));
  }
  return {};
}

std::optional<StoredEntryHeaders::StoredCopy> CopyLoop::stored_as_it_lies(
    std::uint64_t index, const PlannedEntry& entry) const {
  if (!kept_as_stored(entry)) return std::nullopt;
  auto stored = headers_.stored_copy(index);
  // The block of headers takes each entry's place in the file from its central header; the
  // writer says whether it writes the stored headers as they are.
  if (!stored ||
      zip_format::get32(stored->central, zip_format::central_header::kLocalHeaderOffset) !=
          stored->local_offset ||
      !writes_stored_headers_of_name(stored->central, stored->local_header))
    return std::nullopt;
  return stored;
}

Result<void> CopyLoop::read_ahead(std::uint64_t index, const PlannedEntry& entry) {
  if (!checks_entries_ || !headers_.local_header_unread(index)) return {};
  const bool as_they_lie = kept_as_stored(entry);
  if (!as_they_lie && plan_.style != RewriteStyle::Recompress) return {};
  const auto offset = headers_.local_offset(index);
  if (!offset) return {};
  // For entries as they lie, up to the first entry ahead that is not written as it lies, as the
  // plan tells: the bytes from there on are not taken as they lie.
  std::uint64_t until = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t last = *offset;
  std::size_t decided = decided_;
  for (std::uint64_t ahead = index + 1; as_they_lie && ahead < input_.entry_count(); ++ahead) {
    const auto at = headers_.local_offset(ahead);
    PlannedEntry planned_entry;
    if (!at || *at <= last || !planned(ahead, decided, planned_entry) ||
        !kept_as_stored(planned_entry)) {
      if (at && *at > last) until = *at;
      break;
    }
    if (*at - *offset >= kReadAheadMost) break;
    last = *at;
  }
  const std::string_view bytes = PELVANE_TRY(writer_.read_ahead(
      headers_.file(), *offset, headers_.read_ahead_length(index, kReadAheadMost, until),
      as_they_lie ? ReadAheadUse::AsTheyLie : ReadAheadUse::UnderNewHeaders));
  headers_.take_local_headers(*offset, bytes);
  return {};
}

inline Result<void> CopyLoop::planned(std::uint64_t index, std::size_t& decided,
                                      PlannedEntry& entry) const {
  // The name of a plain archive's entry straight from its headers, not through a result.
  const StoredEntryHeaders* plain = input_.plain_headers();
  if (plain != nullptr && index < plain->entry_count())
    entry.name = plain->name(index);
  else
    entry.name = PELVANE_TRY(input_.checked_entry_name(index));
  entry.directory = entry.name.ends_with('/');
  if (plan_.decide) {
    entry.decision = plan_.decide(index, entry.name);
    return {};
  }
  entry.decision = {};
  const std::vector<IndexedDecision>& decisions = plan_.decisions;
  while (decided < decisions.size() && decisions[decided].index < index) ++decided;
  if (decided < decisions.size() && decisions[decided].index == index)
    entry.decision = decisions[decided].decision;
  return {};
}

bool CopyLoop::copied_raw(const PlannedEntry& entry) const {
  if (entry.decision.action != EntryAction::Keep) return false;
  if (entry.directory) return plan_.directories == DirectoryStyle::RawCopy;
  return true;  // in the recompressing style, when `kept_header` gives a header
}

ZipEntryOptions CopyLoop::kept_options(std::uint64_t index, std::uint16_t method) const {
  ZipEntryOptions options;
  options.method = method;
  if (plan_.keep_replaced_entry_time) options.modified = headers_.modified(input_, index);
  return options;
}

std::optional<CopyLoop::Reheaded> CopyLoop::reheaded(std::uint64_t index) const {
  // An entry that opens (stored or Deflate, within its region: `data`) and lies in the input
  // file (`placement`).
  auto data = headers_.data(index);
  if (!data) return std::nullopt;
  auto placement = headers_.placement(index);
  if (!placement) return std::nullopt;
  return Reheaded{*data, *placement};
}

ZipEntryOptions CopyLoop::content_options(std::uint64_t index) const {
  ZipEntryOptions options;
  options.method = headers_.method(input_, index);
  if (plan_.keep_replaced_entry_time) options.modified = headers_.modified(input_, index);
  return options;
}

Result<bool> CopyLoop::kept_header(std::uint64_t index, const PlannedEntry& entry,
                                   RawEntryHeader& header) const {
  if (entry.directory || plan_.style == RewriteStyle::RawCopy) {
    auto stored = headers_.header(input_, index);
    if (!stored) return fail(std::move(stored).error());
    header = *stored;
    return true;
  }
  // The stored method, CRC-32 and sizes: as the directory states them for an entry that opens
  // without the archive library (the raw-copy header would say the same), else as that header
  // says.
  auto stored = headers_.data(index);
  if (!stored) {
    auto raw = headers_.header(input_, index);
    if (!raw) return false;
    stored = StoredEntryHeaders::Data{.method = raw->method,
                                      .crc32 = raw->crc32,
                                      .compressed_size = raw->compressed_size,
                                      .uncompressed_size = raw->uncompressed_size};
  }
  if (stored->method != kZipMethodStored && stored->method != kZipMethodDeflate) return false;
  header = content_entry_header(entry.name, kept_options(index, stored->method));
  header.crc32 = stored->crc32;
  header.compressed_size = stored->compressed_size;
  header.uncompressed_size = stored->uncompressed_size;
  return true;
}

Result<void> CopyLoop::write_entry(std::uint64_t index, const PlannedEntry& entry) {
  const std::string_view name = entry.name;
  const EntryDecision& decision = entry.decision;
  if (decision.action == EntryAction::Drop) return {};
  written_(name);

  if (decision.action == EntryAction::Keep) {
    if (entry.directory && plan_.directories == DirectoryStyle::AsDirectory)
      return writer_.add_directory(name);
    if (copied_raw(entry)) {
      // Under its stored header, an entry that needs no field changed is copied as it lies,
      // headers and all, by `copy_input_entries`; the others come here.
      if (!entry.directory && plan_.style == RewriteStyle::Recompress) {
        if (auto stored = reheaded(index)) {
          // The header `kept_header` gives, laid out by the writer itself.
          const StoredEntryHeaders::Data& data = stored->data;
          PELVANE_TRY_VOID(check_copied_crc(data.method, data.uncompressed_size, data.crc32));
          return writer_.add_content_entry_from_file(
              name, kept_options(index, data.method),
              {data.crc32, data.compressed_size, data.uncompressed_size},
              {headers_.file(), stored->placement.local_offset, stored->placement.local_header});
        }
      }
      // Kept content is not decompressed and compressed again: its compressed bytes go under
      // the header the style gives.
      RawEntryHeader header;
      if (PELVANE_TRY(kept_header(index, entry, header))) {
        PELVANE_TRY_VOID(check_copied_crc(header.method, header.uncompressed_size, header.crc32));
        return copy_raw_entry(writer_, input_, index, headers_, header);
      }
    }
  }

  // Written from content in place of the input entry, with that entry's method.
  const ZipEntryOptions options = content_options(index);
  switch (decision.action) {
    case EntryAction::Replace:
      PELVANE_TRY_VOID(writer_.begin_entry(name, options));
      PELVANE_TRY_VOID(writer_.write_entry_data(decision.content));
      break;
    case EntryAction::Transform: {
      if (!plan_.transform)
        return fail(
            PelvaneError::invalid_input("no transform given for entry " + std::string(name)));
      PELVANE_TRY_VOID(writer_.begin_entry(name, options));
      std::string content = PELVANE_TRY(read_archive_entry(input_, index));
      std::string changed = PELVANE_TRY(plan_.transform(name, std::move(content)));
      PELVANE_TRY_VOID(writer_.write_entry_data(changed));
      break;
    }
    default:
      // Kept and written again: a directory as an empty file, an entry whose compressed bytes
      // cannot be taken over streamed through decompression into a new entry.
      PELVANE_TRY_VOID(writer_.begin_entry(name, options));
      if (!entry.directory) {
        EntryReader reader = PELVANE_TRY(EntryReader::open(input_, index));
        chunk_.resize(kReadChunk);
        PELVANE_TRY_VOID(stream_archive_entry(reader, chunk_, [&](std::string_view bytes) {
          return writer_.write_entry_data(bytes);
        }));
      }
      break;
  }
  // When a large raw copy follows, end a Deflate entry so that the copy runs page-aligned,
  // also past entries dropped or stored anew before it.
  if (options.method != kZipMethodStored) {
    if (auto target = alignment_target(index + 1))
      return writer_.end_entry_aligned_with(target->input_offset, target->bytes_between);
  }
  return writer_.end_entry();
}

std::optional<CopyLoop::AlignmentTarget> CopyLoop::alignment_target(std::uint64_t from) const {
  // The output ahead is known as long as no entry is written from content in a way whose size
  // is unknown yet: a dropped entry adds nothing, a directory written anew its header, a stored
  // replacement its header and content, a raw copy its header and compressed bytes. A Deflate
  // entry written from content on the way aligns what follows it itself. The target is the
  // first run of raw copies that lie in the output as in the input (no entry dropped or written
  // anew between them, headers of their stored length) long enough for the kernel to copy.
  const std::uint64_t file_size = headers_.file_size();
  std::uint64_t written = 0;  // output bytes from the end of the padded entry up to `index`
  std::optional<AlignmentTarget> run;  // where the current run of raw copies starts
  std::uint64_t run_bytes = 0;
  std::uint64_t run_end = 0;  // input offset where the run's last entry ends
  std::size_t decided = decided_;
  for (std::uint64_t index = from; index < input_.entry_count(); ++index) {
    const auto at = headers_.local_offset(index);
    if (!at || *at > file_size || file_size - *at < kAlignWorthwhile) return std::nullopt;
    PlannedEntry entry;
    if (!planned(index, decided, entry)) return std::nullopt;
    const std::uint64_t new_header = zip_format::kLocalHeaderSize + entry.name.size();
    if (entry.decision.action != EntryAction::Keep || !copied_raw(entry)) {
      run.reset();
      if (entry.decision.action == EntryAction::Drop) continue;
      if (entry.decision.action == EntryAction::Replace &&
          headers_.method(input_, index) == kZipMethodStored) {
        written += new_header + entry.decision.content.size();
        continue;
      }
      // A directory written anew is stored and empty, and so is an empty file in its place when
      // its entry was stored; any other entry written from content has a size known only once
      // it is written (and aligns what follows it when it is Deflate).
      if (entry.decision.action != EntryAction::Keep || !entry.directory ||
          (plan_.directories == DirectoryStyle::AsEmptyFile &&
           headers_.method(input_, index) != kZipMethodStored))
        return std::nullopt;
      written += new_header;
      continue;
    }
    RawEntryHeader header;
    auto has_header = kept_header(index, entry, header);
    auto placement = headers_.placement(index);
    if (!has_header || !*has_header || !placement) return std::nullopt;
    const std::uint64_t header_size = raw_local_header_size(header);
    if (run && (*at != run_end || header_size != placement->local_header.size())) run.reset();
    if (!run) {
      run = AlignmentTarget{placement->data_offset, written + header_size};
      run_bytes = 0;
    }
    written += header_size + header.compressed_size;
    run_bytes += header_size + header.compressed_size;
    run_end = placement->data_offset + header.compressed_size;
    if (run_bytes >= kKernelCopyMinimum) return run;
  }
  return std::nullopt;
}

}  // namespace

Result<void> copy_archive_entries(PackageArchive& input, ZipWriter& writer, const RewritePlan& plan,
                                  const WrittenEntry& written) {
  // The archive's own reading, shared with its listings.
  Result<void> copied = CopyLoop(input, writer, plan, input.stored_headers(), written).run();
  if (!copied) return fail(input.reading_failure(std::move(copied).error()));
  return copied;
}

}  // namespace pelvane
