#include "core/zip/stored_headers.hpp"

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <limits>

#include "core/base/buffer_shelf.hpp"
#include "core/base/byte_search.hpp"
#include "core/base/string_room.hpp"
#include "core/base/system_io.hpp"
#include "core/base/utf8.hpp"
#include "core/zip/archive_source.hpp"
#include "core/zip/end_records.hpp"
#include "core/zip/entry_names.hpp"
#include "core/zip/entry_regions.hpp"

namespace pelvane {

namespace {

using namespace zip_format;

using Source = StoredEntryHeaders::Source;

// A value of a central header's ZIP64 extra field: `field` 0, 1 or 2 for the uncompressed size,
// the compressed size and the local header offset, each there, in that order, only when its
// plain field is full. None when the field does not hold it.
std::optional<std::uint64_t> zip64_value(std::string_view header, int field) {
  constexpr std::size_t kPlainField[] = {central_header::kUncompressedSize,
                                         central_header::kCompressedSize,
                                         central_header::kLocalHeaderOffset};
  constexpr std::size_t kValueSize = sizeof(std::uint64_t);
  const std::size_t name_length = get16(header, central_header::kNameLength);
  std::string_view extra =
      header.substr(kCentralHeaderSize + name_length, get16(header, central_header::kExtraLength));
  while (extra.size() >= extra_field::kHeaderSize) {
    const std::uint16_t id = get16(extra, extra_field::kId);
    const std::size_t size = get16(extra, extra_field::kDataLength);
    if (size > extra.size() - extra_field::kHeaderSize) break;
    if (id == kZip64ExtraFieldId) {
      std::size_t at = extra_field::kHeaderSize;
      for (int before = 0; before < field; ++before)
        if (get32(header, kPlainField[before]) == kZip64Value) at += kValueSize;
      if (at + kValueSize <= extra_field::kHeaderSize + size) return get64(extra, at);
      break;
    }
    extra.remove_prefix(extra_field::kHeaderSize + size);
  }
  return std::nullopt;
}

// DOS date and time of a time_t, through local time (how the library produced it).
DosDateTime dos_time_from_local(std::time_t stamp) {
  std::tm local{};
  if (::localtime_r(&stamp, &local) == nullptr || local.tm_year < 80 || local.tm_year > 207)
    return kZipEpoch;
  return {static_cast<std::uint16_t>(local.tm_hour << 11 | local.tm_min << 5 | local.tm_sec / 2),
          static_cast<std::uint16_t>((local.tm_year - 80) << 9 | (local.tm_mon + 1) << 5 |
                                     local.tm_mday)};
}

// True when an entry's extra field is a sequence of whole fields, none of which the library
// reads into the entry's name, sizes or method (ZIP64, Unicode path and comment, AES).
bool has_plain_extra_field(std::string_view extra) {
  while (!extra.empty()) {
    if (extra.size() < extra_field::kHeaderSize) return false;
    const std::uint16_t id = get16(extra, extra_field::kId);
    const std::size_t size = get16(extra, extra_field::kDataLength);
    if (size > extra.size() - extra_field::kHeaderSize || id == kZip64ExtraFieldId ||
        id == extra_field::kUnicodePathId || id == extra_field::kUnicodeCommentId ||
        id == extra_field::kAesId)
      return false;
    extra.remove_prefix(extra_field::kHeaderSize + size);
  }
  return true;
}

// True when the library takes a name as it is stored: UTF-8 without control characters other
// than tab, line feed and carriage return (it would read any other as code page 437).
bool is_plain_name(std::string_view name) {
  // Names are nearly always printable ASCII, told in one scan.
  if (byte_scan::find_in_set(name, byte_scan::ControlOrNonAscii{}) == name.size()) return true;
  return !holds_code_page_control(name) && is_valid_utf8(name);
}

// True when the library reads the central header as it is stated: no comment, no ZIP64 value,
// not AES, starting on the first disk, its local header before the directory, and a plain name
// and extra field.
bool is_plain_entry(std::string_view header, std::uint64_t directory_offset) {
  namespace field = central_header;
  const std::size_t name_length = get16(header, field::kNameLength);
  return get16(header, field::kCommentLength) == 0 && get16(header, field::kDiskStart) == 0 &&
         get16(header, field::kMethod) != kMethodAes &&
         get32(header, field::kCompressedSize) != kZip64Value &&
         get32(header, field::kUncompressedSize) != kZip64Value &&
         get32(header, field::kLocalHeaderOffset) < directory_offset &&
         is_plain_name(known_part(header, kCentralHeaderSize, name_length)) &&
         has_plain_extra_field(known_part(header, kCentralHeaderSize + name_length,
                                          get16(header, field::kExtraLength)));
}

// The failure of the first entry whose name readers read in different ways (entry_names.hpp).
std::optional<PelvaneError> first_ambiguous_name(const StoredEntryHeaders& headers) {
  for (std::uint64_t index = 0; index < headers.entry_count(); ++index) {
    const auto fields = headers.name_fields(index);
    if (auto failure =
            ambiguous_name_failure(headers.name(index), fields.flags, fields.central_extra))
      return failure;
  }
  return std::nullopt;
}

}  // namespace

StoredEntryHeaders StoredEntryHeaders::read_file(OwnedFd fd, std::uint64_t size) {
  if (fd.get() < 0) return {};
  auto file = std::make_shared<File>();
  file->fd = std::move(fd);
  file->size = size;
  if (size > 0 && size <= kMostHeldBytes) {
    // The bytes start on a `kCopyAlignment` boundary, as the file does: the read runs at full
    // speed, and so do the copies out of them (string_room.hpp).
    std::string& room = *(file->bytes = ShelvedBuffer<std::string>(size + kCopyAlignment - 1));
    const std::span<char> bytes = grow_unwritten_agreeing(room, size, 0);
    if (read_whole_at(file->fd.get(), 0, bytes)) {
      const std::string_view held(bytes.data(), bytes.size());
      file->held = held;
      return parse(Source(held), std::move(file));
    }
    file->bytes = ShelvedBuffer<std::string>();
  }
  const Source source(file->fd.get(), file->size);
  return parse(source, std::move(file));
}

StoredEntryHeaders StoredEntryHeaders::read_bytes(std::string_view bytes) {
  return parse(Source(bytes), nullptr);
}

StoredEntryHeaders StoredEntryHeaders::parse(const Source& source, std::shared_ptr<File> file) {
  StoredEntryHeaders result;
  result.file_ = std::move(file);

  // The one end record and directory every reader takes, in the steps of end_records.hpp; an
  // archive that could be read through another is refused.
  const EndRecords records = EndRecords::find(source);
  const std::optional<EndRecord>& record = records.last();
  if (!record) return result;
  if (auto others = records.check_no_other_directory(source); !others) {
    result.refusal_ = std::move(others).error();
    return result;
  }
  // With room for the lead that places the bytes as they lie in the file (`Source::get`).
  const std::uint64_t room = record->directory_size + kCopyAlignment - 1;
  if (!source.in_memory() && result.directory_bytes_.capacity() < room)
    result.directory_bytes_ = BufferShelf<std::string>::take(room);
  const auto read =
      source.get(record->directory_offset, record->directory_size, result.directory_bytes_);
  if (!read) return result;
  const std::string_view directory = result.directory_ = *read;
  auto entries = BufferShelf<std::vector<Entry>>::take(static_cast<std::size_t>(
      std::min<std::uint64_t>(record->entries, directory.size() / kCentralHeaderSize)));
  // The directory must be exactly its stated count of whole central headers.
  std::size_t directory_used = 0;
  bool plain_entries = true;
  const bool whole = read_directory(directory, record->entries, record->directory_offset, entries,
                                    directory_used, plain_entries);
  if (!whole || directory_used != directory.size()) {
    result.refusal_ = directory_extent_failure(source, directory, *record);
    return result;
  }
  if (auto agree = records.check_readers_agree(source); !agree) {
    result.refusal_ = std::move(agree).error();
    return result;
  }
  result.entries_ = std::move(entries);
  result.exact_ = true;
  // Names that readers read in different ways are refused; plain entries hold none.
  if (!plain_entries && (result.refusal_ = first_ambiguous_name(result))) {
    result.exact_ = false;
    return result;
  }
  // One end record, which also ends the file, with no ZIP64 record and no value that would send
  // a reader looking for one (without one, the record's values are its own).
  result.plain_ = plain_entries && !record->zip64_at &&
                  record->at + end_record::kSize + record->comment_length == source.size() &&
                  record->entries != kZip64Count && record->directory_size != kZip64Value &&
                  record->directory_offset != kZip64Value && result.index_names();
  result.source_ = std::make_shared<const Source>(source);
  result.limit_regions(record->directory_offset, record->directory_size, source.size());
  return result;
}

bool StoredEntryHeaders::read_directory(std::string_view directory, std::uint64_t count,
                                        std::uint64_t directory_offset, std::vector<Entry>& entries,
                                        std::size_t& directory_used, bool& plain_entries) {
  std::size_t used = 0;
  bool plain = true;
  for (std::uint64_t index = 0; index < count; ++index) {
    const auto length = central_header_length(directory, used);
    if (!length) return false;
    const std::string_view header = known_part(directory, used, *length);
    const std::string_view name =
        known_part(header, kCentralHeaderSize, get16(header, central_header::kNameLength));
    plain = plain && is_plain_entry(header, directory_offset);
    std::uint64_t local_offset = get32(header, central_header::kLocalHeaderOffset);
    if (local_offset == kZip64Value)
      local_offset = zip64_value(header, 2).value_or(std::numeric_limits<std::uint64_t>::max());
    const EntryFields fields = EntryFields::from_central_header(header);
    std::uint64_t compressed_size = fields.compressed_size;
    if (compressed_size == kZip64Value) compressed_size = zip64_value(header, 1).value_or(0);
    // Built whole in its place: cleared first and then filled, it would be cleared by a string
    // instruction, which is slow to start for so few bytes on some processors.
    entries.push_back(Entry{.name = name,
                            .central_at = used,
                            .local_offset = local_offset,
                            .fields = fields,
                            .compressed_size = compressed_size});
    used += *length;
  }
  directory_used = used;
  plain_entries = plain;
  return true;
}

Result<void> StoredEntryHeaders::agree_with_library(zip_t* handle) {
  plain_ = false;
  names_ = {};
  bool agrees = exact_ && entries_.size() == library_entry_count(handle);
  for (std::uint64_t index = 0; agrees && index < entries_.size(); ++index) {
    const char* library_name = zip_get_name(handle, index, ZIP_FL_ENC_RAW);
    agrees = library_name != nullptr && entries_[index].name == library_name;
  }
  if (agrees) return {};
  return fail(PelvaneError::zip("archive library reads a directory that could not be checked"));
}

StoredEntryHeaders::~StoredEntryHeaders() {
  BufferShelf<std::string>::give_back(std::move(directory_bytes_));
  BufferShelf<std::vector<Entry>>::give_back(std::move(entries_));
  BufferShelf<std::vector<RegionLimit>>::give_back(std::move(limits_));
  for (std::string& headers : local_headers_)
    BufferShelf<std::string>::give_back(std::move(headers));
}

bool StoredEntryHeaders::index_names() {
  names_.reserve(entries_.size());
  for (const Entry& entry : entries_) {
    const std::string_view name = entry.name;
    if (!names_.insert(names_.hash_of(name), entry_named(name))) {
      names_ = {};
      return false;
    }
  }
  return true;
}

std::optional<std::uint64_t> StoredEntryHeaders::find(std::string_view name,
                                                      std::uint64_t hash) const {
  if (names_.size() == 0) return std::nullopt;
  return names_.find(hash, entry_named(name));
}

std::uint16_t StoredEntryHeaders::method(LibraryArchive& archive, std::uint64_t index) const {
  if (exact_ && index < entries_.size() && entries_[index].fields.method != kMethodAes)
    return entries_[index].fields.method;
  auto library = archive.library();
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (library && zip_stat_index(*library, index, 0, &stat) == 0 &&
      (stat.valid & ZIP_STAT_COMP_METHOD))
    return stat.comp_method;
  return kZipMethodDeflate;
}

void StoredEntryHeaders::limit_regions(std::uint64_t directory_offset, std::uint64_t directory_size,
                                       std::uint64_t archive_size) {
  std::vector<EntryRegion> regions;
  regions.reserve(entries_.size());
  for (const Entry& entry : entries_) {
    // At least the local header without extra field, the name and the compressed data.
    const std::uint64_t least = kLocalHeaderSize + entry.name.size() + entry.compressed_size;
    const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    regions.push_back({entry.name, entry.local_offset,
                       entry.local_offset > most - least ? most : entry.local_offset + least});
  }
  limits_ = BufferShelf<std::vector<RegionLimit>>::take(entries_.size());
  limits_.resize(entries_.size());
  auto order =
      limit_entry_regions(regions, directory_offset, directory_size, archive_size, limits_);
  if (!order) {
    // The archive is refused; nothing is read through these headers.
    refusal_ = std::move(order).error();
    exact_ = false;
    plain_ = false;
    return;
  }
  file_order_ = std::move(*order);
  if (file_order_.empty()) return;
  rank_.resize(entries_.size());
  for (std::size_t k = 0; k < file_order_.size(); ++k)
    rank_[file_order_[k]] = static_cast<std::uint32_t>(k);
}

PelvaneError StoredEntryHeaders::region_failure(std::uint64_t index) const {
  return overlap_failure(index, limits_[index].limited_by,
                         [&](std::uint64_t other) { return entries_[other].name; });
}

RawEntryHeader StoredEntryHeaders::stored_header(const Entry& entry) const {
  RawEntryHeader header = RawEntryHeader::from_fields(entry.name, entry.fields);
  if (!is_valid_dos_date_time(header.modified)) header.modified = kZipEpoch;
  // The central header's extra field and comment follow its name (the header is whole: see
  // `central_header_length`).
  const char* const central = directory_.data() + entry.central_at;
  const std::string_view lengths(central, kCentralHeaderSize);
  const char* const extra = entry.name.data() + entry.name.size();
  header.central_extra = std::string_view(extra, get16(lengths, central_header::kExtraLength));
  header.comment = std::string_view(extra + header.central_extra.size(),
                                    get16(lengths, central_header::kCommentLength));
  return header;
}

namespace {

// The extra fields the archive library read for an entry (`ZIP_FL_LOCAL` or `ZIP_FL_CENTRAL`),
// one after the other in the library's order, which need not be the stored one. The library
// keeps back those it interprets itself (ZIP64, Unicode name and comment, AES). Only archives
// whose directory we cannot read ourselves come here.
std::string library_extra_fields(zip_t* handle, std::uint64_t index, zip_flags_t which) {
  std::string fields;
  const zip_int16_t count = zip_file_extra_fields_count(handle, index, which);
  for (zip_int16_t field = 0; field < count; ++field) {
    zip_uint16_t id = 0;
    zip_uint16_t size = 0;
    const zip_uint8_t* data = zip_file_extra_field_get(
        handle, index, static_cast<zip_uint16_t>(field), &id, &size, which);
    if (data == nullptr) break;
    const char head[4] = {static_cast<char>(id & 0xFF), static_cast<char>(id >> 8),
                          static_cast<char>(size & 0xFF), static_cast<char>(size >> 8)};
    fields.append(head, 4);
    fields.append(reinterpret_cast<const char*>(data), size);
  }
  return fields;
}

}  // namespace

std::string_view StoredEntryHeaders::keep(std::string bytes) const {
  if (bytes.empty()) return {};
  return kept_.emplace_back(std::move(bytes));
}

std::string_view StoredEntryHeaders::library_local_extra(LibraryArchive& archive,
                                                         std::uint64_t index) const {
  auto library = archive.library();
  return library ? keep(library_extra_fields(*library, index, ZIP_FL_LOCAL)) : std::string_view();
}

std::optional<StoredEntryHeaders::StoredCopy> StoredEntryHeaders::stored_copy(
    std::uint64_t index) const {
  // The raw-copy header is the stored one (`header`), and the copy reads the file where
  // `placement` says.
  const Entry* entry = placed(index);
  if (entry == nullptr || !states_own_fields(entry->fields) ||
      states_wrong_empty_crc(entry->fields.method, entry->fields.uncompressed_size,
                             entry->fields.crc32))
    return std::nullopt;
  // The header is whole (see `central_header_length`).
  const char* const central_at = directory_.data() + entry->central_at;
  const std::string_view central(
      central_at, central_header_size(std::string_view(central_at, kCentralHeaderSize)));
  // A local header is found only under its entry's name.
  return StoredCopy{central, entry->local_header, entry->local_offset,
                    entry->local_header.size() + entry->fields.compressed_size};
}

DosDateTime StoredEntryHeaders::modified(LibraryArchive& archive, std::uint64_t index) const {
  if (exact_ && index < entries_.size()) {
    DosDateTime stamp = entries_[index].fields.modified;
    return is_valid_dos_date_time(stamp) ? stamp : kZipEpoch;
  }
  auto library = archive.library();
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (!library || zip_stat_index(*library, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_MTIME))
    return kZipEpoch;
  return dos_time_from_local(stat.mtime);
}

Result<RawEntryHeader> StoredEntryHeaders::header(LibraryArchive& archive,
                                                  std::uint64_t index) const {
  // The directory's own fields, when they hold the values themselves (no ZIP64 field) of an
  // entry that is not encrypted, are what the library would give: no need to ask it (its
  // answer converts the time through the local time zone, which costs more than the copy).
  if (exact_ && index < entries_.size()) {
    const Entry& entry = entries_[index];
    if (states_own_fields(entry.fields)) {
      RawEntryHeader header = stored_header(entry);
      header.local_extra = local_extra(archive, index);
      return header;
    }
  }
  zip_t* handle = PELVANE_TRY(archive.library());
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(handle, index, 0, &stat) != 0)
    return fail(PelvaneError::zip(archive_error_message(handle)));
  // Raw bytes of an encrypted entry would be written without their encryption header fields.
  if ((stat.valid & ZIP_STAT_ENCRYPTION_METHOD) && stat.encryption_method != ZIP_EM_NONE)
    return fail(PelvaneError::zip("entry " + std::string(library_entry_name(handle, index)) +
                                  " is encrypted and cannot be copied"));
  constexpr std::uint64_t kNeeded =
      ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_METHOD;
  if ((stat.valid & kNeeded) != kNeeded)
    return fail(PelvaneError::zip("entry " + std::string(library_entry_name(handle, index)) +
                                  " has no complete header"));
  RawEntryHeader header;
  if (exact_ && index < entries_.size()) {
    header = stored_header(entries_[index]);
  } else {
    // The library's UTF-8 name, marked as such when it is not plain ASCII.
    header.name = library_entry_name(handle, index);
    for (unsigned char c : header.name) {
      if (c >= 0x80) {
        header.flags = kFlagUtf8Name;
        break;
      }
    }
    zip_uint8_t opsys = ZIP_OPSYS_UNIX;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(handle, index, 0, &opsys, &attributes) == 0) {
      header.version_made_by = static_cast<std::uint16_t>(opsys << 8 | 63);
      header.external_attributes = attributes;
    }
    header.central_extra = keep(library_extra_fields(handle, index, ZIP_FL_CENTRAL));
    zip_uint32_t comment_size = 0;
    // The library keeps the comment while the archive is open.
    if (const char* comment = zip_file_get_comment(handle, index, &comment_size, ZIP_FL_ENC_RAW))
      header.comment = std::string_view(comment, comment_size);
  }
  // The library's reading of the method, CRC-32 and sizes, which the directory may not hold.
  header.method = stat.comp_method;
  header.crc32 = stat.crc;
  header.compressed_size = stat.comp_size;
  header.uncompressed_size = stat.size;
  header.modified = modified(archive, index);
  header.local_extra = local_extra(archive, index);
  return header;
}

}  // namespace pelvane
