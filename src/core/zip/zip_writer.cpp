#include "core/zip/zip_writer.hpp"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <functional>

#include "core/base/buffer_shelf.hpp"
#include "core/base/string_room.hpp"
#include "core/base/utf8.hpp"
#include "core/zip/crc32.hpp"
#include "core/zip/deflate_stream.hpp"
#include "core/zip/raw_entry_fields.hpp"
#include "core/zip/zip_name_table.hpp"

namespace pelvane {

namespace {

using namespace zip_format;
using namespace raw_fields;

// The largest size or offset written, and the most entries: no ZIP64 record is written.
constexpr std::uint64_t kMax32 = kMaxValue32;
constexpr std::uint64_t kMaxEntries = kMax16;

constexpr std::size_t kDeflateChunk = 256 * 1024;
constexpr std::uint64_t kPage = 4096;

// The MS-DOS directory attribute goes with a Unix directory mode.
bool is_directory_mode(std::uint32_t mode) { return (mode & 0170000) == 040000; }

// Inline, so that each field is one store: thousands of headers are laid out per package.
[[gnu::always_inline]] inline char* put_le(char* out, std::uint32_t value, int bytes) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, &value, static_cast<std::size_t>(bytes));
    return out + bytes;
  }
  for (int i = 0; i < bytes; ++i) *out++ = static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

// The fields that the local and the central header of an entry share, in their common order:
// version needed to extract through the extra field's length.
char* put_shared_fields(char* out, const EntryFields& fields, std::size_t name_size,
                        std::size_t extra_size) {
  out = put_le(out, fields.version_needed, 2);
  out = put_le(out, fields.flags, 2);
  out = put_le(out, fields.method, 2);
  out = put_le(out, fields.modified.time, 2);
  out = put_le(out, fields.modified.date, 2);
  out = put_le(out, fields.crc32, 4);
  out = put_le(out, fields.compressed_size, 4);
  out = put_le(out, fields.uncompressed_size, 4);
  out = put_le(out, static_cast<std::uint32_t>(name_size), 2);
  return put_le(out, static_cast<std::uint32_t>(extra_size), 2);
}

// Copies `bytes` to `out`; returns the end of the copy.
char* put_bytes(char* out, std::string_view bytes) {
  if (!bytes.empty()) std::memcpy(out, bytes.data(), bytes.size());
  return out + bytes.size();
}

// The fixed part of an entry's local header, up to its name.
void put_local_fixed(LocalHeaderFixed& out, const EntryFields& fields, std::size_t name_size,
                     std::size_t extra_size) {
  put_shared_fields(put_le(out.data(), kLocalHeaderSignature, 4), fields, name_size, extra_size);
}

// Replaces `out` with the local header of these parts, laid out in place: a package of many
// small parts writes thousands of them.
void assign_local_header(std::string& out, const LocalHeaderFixed& fixed, std::string_view name,
                         std::string_view extra) {
  grow_unwritten(out, fixed.size() + name.size() + extra.size());
  put_bytes(put_bytes(put_bytes(out.data(), {fixed.data(), fixed.size()}), name), extra);
}

// The end record of a directory of `count` entries, on one disk, with no archive comment.
void append_end_record(std::string& out, std::uint16_t count, std::uint64_t directory_size,
                       std::uint64_t directory_offset) {
  namespace field = end_record;
  const std::size_t start = out.size();
  grow_unwritten(out, start + field::kSize);
  char* const record = out.data() + start;
  put_le(record, kEndRecordSignature, 4);
  put_le(record + field::kDisk, 0, 2);
  put_le(record + field::kDirectoryDisk, 0, 2);
  put_le(record + field::kDiskEntries, count, 2);
  put_le(record + field::kEntries, count, 2);
  put_le(record + field::kDirectorySize, static_cast<std::uint32_t>(directory_size), 4);
  put_le(record + field::kDirectoryOffset, static_cast<std::uint32_t>(directory_offset), 4);
  put_le(record + field::kCommentLength, 0, 2);
}

void append_central_header(std::string& out, const EntryFields& fields, std::uint64_t local_offset,
                           std::string_view name, std::string_view extra,
                           std::string_view comment) {
  const std::size_t start = out.size();
  grow_unwritten(out, start + kCentralHeaderSize + name.size() + extra.size() + comment.size());
  char* at =
      put_le(put_le(out.data() + start, kCentralHeaderSignature, 4), fields.version_made_by, 2);
  at = put_shared_fields(at, fields, name.size(), extra.size());
  at = put_le(at, static_cast<std::uint32_t>(comment.size()), 2);
  at = put_le(at, 0, 2);  // disk number
  at = put_le(at, fields.internal_attributes, 2);
  at = put_le(at, fields.external_attributes, 4);
  at = put_le(at, static_cast<std::uint32_t>(local_offset), 4);
  put_bytes(put_bytes(put_bytes(at, name), extra), comment);
}

PelvaneError archive_too_large() {
  return PelvaneError::zip("archive would reach 4 GiB and need ZIP64, which is not written");
}

// A failure of the sink while the archive's own structure is written (headers, raw copies,
// the end of an entry, the central directory) is a failure of the archive, `Zip`; only
// writing an entry's content reports the sink's `Io` as it is.
[[gnu::noinline]] Result<void> archive_failure(PelvaneError error) {
  if (error.kind() == PelvaneError::Kind::Io) return fail(PelvaneError::zip(error.message()));
  return fail(std::move(error));
}

// Inline, as every entry passes here a few times.
inline Result<void> as_archive_failure(Result<void> result) {
  if (result) [[likely]]
    return {};
  return archive_failure(std::move(result).error());
}

}  // namespace

struct ZipWriter::State {
  enum class Open { None, Content, Raw };

  ZipSink& sink;

  // The central directory as it grows, one header per entry written.
  std::string central;
  std::uint64_t entries = 0;
  std::uint64_t expected_entries = 0;  // as `reserve` was told
  std::uint64_t offset = 0;            // bytes written so far, pending span included

  // Every name written so far: an archive never holds one name twice. Names known distinct
  // (`set_names_known_distinct`) are left out while they are written, and taken in before the
  // next name is looked up.
  ZipNameTable names;
  std::uint64_t name_hash = 0;  // of the entry being admitted
  bool names_known_distinct = false;
  bool names_left_out = false;

  // Bytes of an input file still to be copied, at the end of what was written.
  CopiedFile pending_file;
  std::uint64_t pending_offset = 0;
  std::uint64_t pending_length = 0;
  bool finished = false;

  // The entry open now: where its headers lie, and what has been written of it.
  Open open = Open::None;
  std::uint64_t local_offset = 0;
  std::size_t central_at = 0;
  std::uint64_t stated_size = 0;        // compressed bytes a raw entry's header states
  std::uint64_t data_size = 0;          // compressed bytes of the open entry written so far
  std::uint64_t uncompressed_size = 0;  // content bytes of the open entry taken so far
  std::uint32_t crc = 0;
  bool deflating = false;
  std::unique_ptr<Deflater> deflater;  // once the first entry is deflated
  std::string chunk;
  std::span<char> chunk_room;  // the Deflate output room within `chunk`
  // The local header of the entry being admitted: its fixed part, and its extra field (without
  // its ZIP64 field: a view of the caller's or of `extra`); `header` when it is written anew.
  LocalHeaderFixed local_fixed{};
  std::string_view local_extra;
  std::string extra;
  std::string header;
  std::string central_extra;  // a central extra field without its ZIP64 field

  explicit State(ZipSink& output) : sink(output) {}
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() {
    give_back_deflater(std::move(deflater));
    BufferShelf<std::string>::give_back(std::move(central));
  }

  // The name of the entry written last.
  std::string_view current_name() const {
    const std::string_view record = std::string_view(central).substr(central_at);
    return record.substr(kCentralHeaderSize, get16(record, central_header::kNameLength));
  }
  // Refuses an entry the archive cannot take; otherwise hashes its name for `add_record`.
  // Inline: thousands of entries are admitted per package, nearly all of them at once.
  Result<void> admit_new_entry(std::string_view name) {
    if (finished || open != Open::None || entries >= kMaxEntries || name.size() > kMax16 ||
        offset > kMax32) [[unlikely]]
      return refuse_entry(name);
    if (names_known_distinct) return {};
    if (names_left_out) take_in_all_names();
    name_hash = names.hash(name);
    return {};
  }
  // Why `admit_new_entry` refuses the entry, the first reason in the order checked.
  [[gnu::cold]] Result<void> refuse_entry(std::string_view name) const;
  // Puts the name of every central header written into `names`.
  void take_in_all_names();
  // Adds the entry's central header, at the current offset; refuses a name already written.
  Result<void> add_record(const EntryFields& fields, std::string_view name, std::string_view extra,
                          std::string_view comment);
  // Takes the central header just put at `at` as the entry's, unless its name is written
  // already (then it goes again).
  Result<void> note_record(std::size_t at, std::string_view name) {
    if (names_known_distinct) {
      names_left_out = true;
    } else if (!names.insert(central, at + kCentralHeaderSize, name.size(), name_hash))
        [[unlikely]] {
      return refuse_name(at, name);
    }
    central_at = at;
    local_offset = offset;
    ++entries;
    return {};
  }
  // Takes back the central header put at `at` for a name written already, and says so.
  [[gnu::cold]] Result<void> refuse_name(std::size_t at, std::string_view name);
  // Appends `length` bytes of `file` from `at` to what is written, joining the pending span
  // when they continue it.
  Result<void> add_span(const CopiedFile& file, std::uint64_t at, std::uint64_t length);
  // Hands the pending span over unless bytes of `file` from `at` continue it; afterwards they
  // do (or nothing is pending and they start it).
  Result<void> join_span(const CopiedFile& file, std::uint64_t at);
  // Hands the pending span, if any, to the sink, in its place among the bytes written.
  Result<void> hand_over_pending() {
    if (pending_length == 0) return {};
    return hand_over_pending_span();
  }
  Result<void> hand_over_pending_span();
  // Admits a raw entry and lays out its local header in `local_fixed` and `local_extra`;
  // returns its header fields.
  Result<EntryFields> prepare_raw_header(const RawEntryHeader& raw);
  // True when `stored` is byte for byte the local header prepared for an entry named `name`.
  bool prepared_header_is(std::string_view stored, std::string_view name) const;
  // Adds a raw entry's central header, its extra field without the ZIP64 field.
  Result<void> add_raw_record(const EntryFields& fields, const RawEntryHeader& raw);
  // Adds an entry raw under the fields and local header prepared, its data lying in a file
  // after its stored local header.
  // Inline: the road of every kept entry written under a new header.
  [[gnu::always_inline]] Result<void> add_prepared_from_file(const EntryFields& fields,
                                                             std::string_view name,
                                                             std::string_view central_extra_field,
                                                             std::string_view comment,
                                                             const StoredLocalEntry& stored);
  // Opens a raw entry under the local header prepared.
  Result<void> write_raw_header(const EntryFields& fields, const RawEntryHeader& raw);
  // Writes the local header laid out in `local_fixed` for `name` with `extra`, after the span
  // still pending.
  Result<void> write_local_header(std::string_view name, std::string_view extra) {
    PELVANE_TRY_VOID(hand_over_pending());
    assign_local_header(header, local_fixed, name, extra);
    PELVANE_TRY_VOID(as_archive_failure(sink.write(header)));
    offset += header.size();
    return {};
  }
};

ZipWriter::ZipWriter(ZipSink& sink) : state_(std::make_unique<State>(sink)), sink_(sink) {}

ZipWriter::~ZipWriter() = default;

std::uint64_t ZipWriter::entry_count() const { return state_->entries; }

void ZipWriter::reserve(std::uint64_t entries, std::uint64_t name_bytes) {
  State& s = *state_;
  entries = std::min(entries, kMaxEntries);
  const auto central_size = static_cast<std::size_t>(std::min<std::uint64_t>(
      entries * kCentralHeaderSize + name_bytes + end_record::kSize, kMax32));
  if (s.central.capacity() < central_size) {
    std::string room = BufferShelf<std::string>::take(central_size);
    room.append(s.central);
    s.central.swap(room);
    BufferShelf<std::string>::give_back(std::move(room));
  }
  s.names.reserve(static_cast<std::size_t>(entries));
  s.expected_entries = entries;
}

Result<void> ZipWriter::State::refuse_entry(std::string_view name) const {
  if (finished) return fail(PelvaneError::zip("archive is already finished"));
  if (open != Open::None) return fail(PelvaneError::zip("previous entry was not completed"));
  if (entries >= kMaxEntries)
    return fail(PelvaneError::zip(
        "archive would hold more than 65535 entries and need ZIP64, which is not written"));
  if (name.size() > kMax16) return fail(PelvaneError::zip("entry name is longer than 65535 bytes"));
  return fail(archive_too_large());
}

void ZipWriter::State::take_in_all_names() {
  names.clear();
  // Room for the names written and those still to come, as `reserve` was told.
  names.reserve(static_cast<std::size_t>(std::max(entries, expected_entries)));
  for (std::size_t at = 0; at < central.size();) {
    const std::string_view record(central.data() + at, central.size() - at);
    const std::size_t name_size = get16(record, central_header::kNameLength);
    names.insert(central, at + kCentralHeaderSize, name_size,
                 names.hash(record.substr(kCentralHeaderSize, name_size)));
    at += central_header_size(record);
  }
  names_left_out = false;
}

void ZipWriter::set_names_known_distinct(bool known) {
  State& s = *state_;
  s.names_known_distinct = known && s.entries == 0;
}

Result<void> ZipWriter::State::add_record(const EntryFields& fields, std::string_view name,
                                          std::string_view extra, std::string_view comment) {
  const std::size_t at = central.size();
  append_central_header(central, fields, offset, name, extra, comment);
  return note_record(at, name);
}

Result<void> ZipWriter::State::refuse_name(std::size_t at, std::string_view name) {
  const std::string message = "entry name " + std::string(name) + " is already in the archive";
  central.resize(at);
  return fail(PelvaneError::zip(message));
}

namespace {

// The fields `begin_entry` writes, CRC-32 and sizes left at 0. Inline: every entry a rewrite
// writes under a new header has them laid out.
[[gnu::always_inline]] inline EntryFields content_entry_fields(std::string_view name,
                                                               const ZipEntryOptions& options) {
  EntryFields fields;
  fields.method = options.method == kZipMethodStored ? kZipMethodStored : kZipMethodDeflate;
  fields.version_made_by = kUnixMadeBy;
  fields.version_needed = version_needed(fields.method, is_directory_name(name));
  // Names that are not plain ASCII are marked as UTF-8, the encoding of every text we hold.
  fields.flags = ascii_prefix_length(name) < name.size() ? kFlagUtf8Name : 0;
  fields.modified = options.modified;
  fields.internal_attributes = 0;
  fields.external_attributes =
      options.unix_mode << 16 | (is_directory_mode(options.unix_mode) ? 0x10u : 0u);
  return fields;
}

}  // namespace

RawEntryHeader content_entry_header(std::string_view name, const ZipEntryOptions& options) {
  return RawEntryHeader::from_fields(name, content_entry_fields(name, options));
}

Result<void> ZipWriter::begin_entry(std::string_view name, const ZipEntryOptions& options) {
  State& s = *state_;
  PELVANE_TRY_VOID(s.admit_new_entry(name));
  // CRC-32 and sizes are patched in by `end_entry`.
  const EntryFields fields = content_entry_fields(name, options);
  PELVANE_TRY_VOID(s.add_record(fields, name, {}, {}));
  put_local_fixed(s.local_fixed, fields, name.size(), 0);
  PELVANE_TRY_VOID(s.write_local_header(name, {}));
  s.open = State::Open::Content;
  s.data_size = 0;
  s.uncompressed_size = 0;
  s.crc = 0;
  s.deflating = fields.method == kZipMethodDeflate;
  if (s.deflating) {
    if (!s.deflater) {
      s.deflater = take_deflater();
      if (!s.deflater) return fail(PelvaneError::zip("cannot start the Deflate compressor"));
    } else if (deflateReset(&s.deflater->stream) != Z_OK) {
      return fail(PelvaneError::zip("cannot restart the Deflate compressor"));
    }
    // Output room only: the pages a small entry's compressed bytes never reach stay untouched.
    // On a `kCopyAlignment` boundary, as every buffer that long copies start from
    // (string_room.hpp).
    s.chunk_room = grow_unwritten_agreeing(s.chunk, kDeflateChunk - (kCopyAlignment - 1), 0);
  }
  return {};
}

Result<void> ZipWriter::write_entry_data(std::string_view bytes) {
  State& s = *state_;
  if (s.open != State::Open::Content)
    return fail(PelvaneError::zip("no entry is open for content"));
  s.crc = update_crc32(s.crc, bytes);
  s.uncompressed_size += bytes.size();
  if (s.uncompressed_size > kMax32) return fail(too_large(s.current_name()));
  if (s.deflating) {
    PELVANE_TRY_VOID(
        deflate_into(s.deflater->stream, s.chunk_room, bytes, Z_NO_FLUSH, sink_, s.data_size));
  } else {
    PELVANE_TRY_VOID(sink_.write(bytes));
    s.data_size += bytes.size();
  }
  if (s.data_size > kMax32) return fail(too_large(s.current_name()));
  return {};
}

Result<EntryFields> ZipWriter::State::prepare_raw_header(const RawEntryHeader& raw) {
  PELVANE_TRY_VOID(admit_new_entry(raw.name));
  const EntryFields fields = PELVANE_TRY(raw_entry_fields(raw));
  local_extra = without_zip64_field(raw.local_extra, extra);
  put_local_fixed(local_fixed, fields, raw.name.size(), local_extra.size());
  return fields;
}

bool ZipWriter::State::prepared_header_is(std::string_view stored, std::string_view name) const {
  return stored.size() == kLocalHeaderSize + name.size() + local_extra.size() &&
         std::memcmp(stored.data(), local_fixed.data(), kLocalHeaderSize) == 0 &&
         stored.substr(kLocalHeaderSize, name.size()) == name &&
         stored.substr(kLocalHeaderSize + name.size()) == local_extra;
}

Result<void> ZipWriter::State::add_raw_record(const EntryFields& fields,
                                              const RawEntryHeader& raw) {
  return add_record(fields, raw.name, without_zip64_field(raw.central_extra, central_extra),
                    raw.comment);
}

Result<void> ZipWriter::State::write_raw_header(const EntryFields& fields,
                                                const RawEntryHeader& raw) {
  PELVANE_TRY_VOID(add_raw_record(fields, raw));
  PELVANE_TRY_VOID(write_local_header(raw.name, local_extra));
  open = Open::Raw;
  stated_size = fields.compressed_size;
  data_size = 0;
  return {};
}

Result<void> ZipWriter::begin_raw_entry(const RawEntryHeader& header) {
  State& s = *state_;
  const EntryFields fields = PELVANE_TRY(s.prepare_raw_header(header));
  return s.write_raw_header(fields, header);
}

Result<void> ZipWriter::add_raw_entry_from_file(const RawEntryHeader& header,
                                                const CopiedFile& file, std::uint64_t local_offset,
                                                std::string_view stored_local_header) {
  State& s = *state_;
  const EntryFields fields = PELVANE_TRY(s.prepare_raw_header(header));
  return s.add_prepared_from_file(fields, header.name,
                                  without_zip64_field(header.central_extra, s.central_extra),
                                  header.comment, {file, local_offset, stored_local_header});
}

Result<void> ZipWriter::add_content_entry_from_file(std::string_view name,
                                                    const ZipEntryOptions& options,
                                                    const CompressedData& data,
                                                    const StoredLocalEntry& stored) {
  State& s = *state_;
  PELVANE_TRY_VOID(s.admit_new_entry(name));
  // The fields `add_raw_entry_from_file` gives the header `content_entry_header(name, options)`
  // with these CRC-32 and sizes.
  if (data.compressed_size > kMax32 || data.uncompressed_size > kMax32)
    return fail(too_large(name));
  EntryFields fields = content_entry_fields(name, options);
  fields.crc32 = data.crc32;
  fields.compressed_size = static_cast<std::uint32_t>(data.compressed_size);
  fields.uncompressed_size = static_cast<std::uint32_t>(data.uncompressed_size);
  s.local_extra = {};
  put_local_fixed(s.local_fixed, fields, name.size(), 0);
  return s.add_prepared_from_file(fields, name, {}, {}, stored);
}

inline Result<void> ZipWriter::State::add_prepared_from_file(const EntryFields& fields,
                                                             std::string_view name,
                                                             std::string_view central_extra_field,
                                                             std::string_view comment,
                                                             const StoredLocalEntry& stored) {
  PELVANE_TRY_VOID(add_record(fields, name, central_extra_field, comment));
  if (prepared_header_is(stored.local_header, name)) {
    // Header and data as they lie.
    return add_span(stored.file, stored.local_offset,
                    stored.local_header.size() + fields.compressed_size);
  }
  // Written anew: the header goes through the sink, the data is copied after it; in one call
  // when the sink takes both at once.
  PELVANE_TRY_VOID(hand_over_pending());
  if (sink.append_header_and_copy(local_fixed, name, local_extra, stored.file,
                                  stored.local_offset + stored.local_header.size(),
                                  fields.compressed_size)) {
    offset += local_fixed.size() + name.size() + local_extra.size() + fields.compressed_size;
    return {};
  }
  PELVANE_TRY_VOID(write_local_header(name, local_extra));
  PELVANE_TRY_VOID(as_archive_failure(sink.copy_from_file(
      stored.file, stored.local_offset + stored.local_header.size(), fields.compressed_size)));
  offset += fields.compressed_size;
  return {};
}

Result<void> ZipWriter::add_stored_entries_from_file(std::string_view centrals,
                                                     const CopiedFile& file,
                                                     std::uint64_t local_offset,
                                                     std::uint64_t length) {
  State& s = *state_;
  // The names written so far, before the block's own headers join the directory unchecked.
  if (!s.names_known_distinct && s.names_left_out) s.take_in_all_names();
  const std::uint64_t start = s.offset;
  const std::size_t first = s.central.size();
  grow_unwritten(s.central, first + centrals.size());
  std::memcpy(s.central.data() + first, centrals.data(), centrals.size());
  for (std::size_t at = first; at < s.central.size();) {
    char* const record = s.central.data() + at;
    const std::string_view fixed(record, kCentralHeaderSize);
    const std::string_view name(record + kCentralHeaderSize,
                                get16(fixed, central_header::kNameLength));
    const std::size_t size = central_header_size(fixed);
    // Each entry is admitted where it starts in the output, after the block's entries before it.
    const std::uint64_t before = get32(fixed, central_header::kLocalHeaderOffset) - local_offset;
    s.offset = start + before;
    Result<void> noted = s.admit_new_entry(name);
    if (noted) {
      put_le(record + central_header::kLocalHeaderOffset, static_cast<std::uint32_t>(s.offset), 4);
      noted = s.note_record(at, name);
    }
    if (!noted) {
      // The entries before it stay written, as they would one by one.
      s.central.resize(at);
      s.pending_length += before;
      return noted;
    }
    at += size;
    // The span of the first entry goes where a single entry's would.
    if (at - size == first) {
      Result<void> joined = s.join_span(file, local_offset);
      if (!joined) {
        s.central.resize(at);
        return joined;
      }
    }
  }
  s.pending_length += length;
  s.offset = start + length;
  return {};
}

Result<void> ZipWriter::State::join_span(const CopiedFile& file, std::uint64_t at) {
  if (pending_length > 0 && (pending_file.fd != file.fd || pending_offset + pending_length != at))
    PELVANE_TRY_VOID(hand_over_pending());
  if (pending_length == 0) {
    pending_file = file;
    pending_offset = at;
  }
  return {};
}

Result<void> ZipWriter::State::add_span(const CopiedFile& file, std::uint64_t at,
                                        std::uint64_t length) {
  PELVANE_TRY_VOID(join_span(file, at));
  pending_length += length;
  offset += length;
  return {};
}

Result<void> ZipWriter::State::hand_over_pending_span() {
  PELVANE_TRY_VOID(
      as_archive_failure(sink.copy_from_file(pending_file, pending_offset, pending_length)));
  pending_length = 0;
  pending_file = {};
  return {};
}

Result<std::string_view> ZipWriter::read_ahead(const CopiedFile& file, std::uint64_t offset,
                                               std::uint64_t length, ReadAheadUse use) {
  PELVANE_TRY_VOID(state_->hand_over_pending());
  auto bytes = sink_.read_ahead(file, offset, length, use);
  if (!bytes) return fail(archive_failure(std::move(bytes).error()).error());
  return bytes;
}

Result<void> ZipWriter::copy_pending() {
  PELVANE_TRY_VOID(state_->hand_over_pending());
  return as_archive_failure(sink_.read_pending());
}

Result<void> ZipWriter::write_raw_data(std::string_view bytes) {
  State& s = *state_;
  if (s.open != State::Open::Raw) return fail(PelvaneError::zip("no entry is open for raw data"));
  if (bytes.size() > s.stated_size - s.data_size)
    return fail(PelvaneError::zip("entry " + std::string(s.current_name()) +
                                  " has more compressed data than its header states"));
  PELVANE_TRY_VOID(as_archive_failure(sink_.write(bytes)));
  s.data_size += bytes.size();
  return {};
}

Result<void> ZipWriter::end_entry_aligned_with(std::uint64_t input_offset,
                                               std::uint64_t bytes_between) {
  State& s = *state_;
  if (s.open != State::Open::Content || !s.deflating) return end_entry();
  PELVANE_TRY_VOID(as_archive_failure(
      deflate_into(s.deflater->stream, s.chunk_room, {}, Z_SYNC_FLUSH, sink_, s.data_size)));
  // The aligned byte lands at `end + padding + bytes_between`, the padding being at least 2.
  const std::uint64_t end = (s.offset + s.data_size + bytes_between + 2) % kPage;
  const std::uint64_t padding = (input_offset % kPage + kPage - end) % kPage + 2;
  PELVANE_TRY_VOID(as_archive_failure(sink_.write(empty_deflate_blocks(padding))));
  s.data_size += padding;
  return complete_entry();
}

Result<void> ZipWriter::end_entry() {
  State& s = *state_;
  if (s.open == State::Open::None) return fail(PelvaneError::zip("no entry is open"));
  if (s.open == State::Open::Content && s.deflating)
    PELVANE_TRY_VOID(as_archive_failure(
        deflate_into(s.deflater->stream, s.chunk_room, {}, Z_FINISH, sink_, s.data_size)));
  return complete_entry();
}

Result<void> ZipWriter::complete_entry() {
  State& s = *state_;
  if (s.open == State::Open::Raw) {
    if (s.data_size != s.stated_size)
      return fail(PelvaneError::zip("entry " + std::string(s.current_name()) +
                                    " has less compressed data than its header states"));
  } else {
    if (s.data_size > kMax32) return fail(too_large(s.current_name()));
    // CRC-32 and both sizes, in the local header and in the central one.
    char fields[12];
    put_le(put_le(put_le(fields, s.crc, 4), static_cast<std::uint32_t>(s.data_size), 4),
           static_cast<std::uint32_t>(s.uncompressed_size), 4);
    PELVANE_TRY_VOID(
        as_archive_failure(sink_.patch(s.local_offset + local_header::kCrc32, {fields, 12})));
    s.central.replace(s.central_at + central_header::kCrc32, sizeof fields, fields, sizeof fields);
  }
  s.offset += s.data_size;
  s.open = State::Open::None;
  return {};
}

Result<void> ZipWriter::add_entry(std::string_view name, std::string_view content,
                                  const ZipEntryOptions& options) {
  PELVANE_TRY_VOID(begin_entry(name, options));
  PELVANE_TRY_VOID(write_entry_data(content));
  return end_entry();
}

Result<void> ZipWriter::add_directory(std::string_view name) {
  ZipEntryOptions options;
  options.method = kZipMethodStored;
  options.unix_mode = kUnixDirectoryMode;
  PELVANE_TRY_VOID(begin_entry(name, options));
  return end_entry();
}

Result<void> ZipWriter::finish() {
  State& s = *state_;
  if (s.finished) return fail(PelvaneError::zip("archive is already finished"));
  if (s.open != State::Open::None) return fail(PelvaneError::zip("last entry was not completed"));
  if (s.offset > kMax32) return fail(archive_too_large());
  PELVANE_TRY_VOID(s.hand_over_pending());
  const std::uint64_t directory_offset = s.offset;
  const std::uint64_t directory_size = s.central.size();
  // The end record itself must also lie below 4 GiB for readers that seek to it.
  if (directory_offset + directory_size + end_record::kSize > kMax32 + 1)
    return fail(archive_too_large());
  append_end_record(s.central, static_cast<std::uint16_t>(s.entries), directory_size,
                    directory_offset);
  PELVANE_TRY_VOID(as_archive_failure(sink_.write(s.central)));
  s.offset += s.central.size();
  PELVANE_TRY_VOID(as_archive_failure(sink_.flush()));
  s.finished = true;
  return {};
}

}  // namespace pelvane
