// The header fields the writer gives an entry copied raw: the stored fields normalised, the
// extra field without its ZIP64 field, and the rules both follow, which also decide whether
// stored headers are kept as they lie (zip_writer_raw_headers.cpp). For the writer's own files;
// inline, as the writer applies them to every entry it writes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/zip/zip_format.hpp"

namespace pelvane::raw_fields {

// Bits kept from an input entry's flags.
inline constexpr std::uint16_t kKeptFlagBits =
    zip_format::kFlagDeflateOptions | zip_format::kFlagUtf8Name;

// Version needed to extract, by what the reader must support for the method.
inline std::uint16_t version_needed(std::uint16_t method, bool directory) {
  switch (method) {
    case 0: return directory ? 20 : 10;
    case 8: return 20;
    case 9: return 21;
    case 12: return 46;
    default: return 63;
  }
}

inline bool is_directory_name(std::string_view name) { return !name.empty() && name.back() == '/'; }

// The version needed that a raw copy writes: the stated one kept up to 2.0, and at least what
// the entry's method and kind need.
inline std::uint16_t kept_version_needed(std::uint16_t method, std::string_view name,
                                         std::uint16_t stated) {
  return std::max<std::uint16_t>(version_needed(method, is_directory_name(name)),
                                 std::min<std::uint16_t>(stated, 20));
}

// True when the extra field `stored` is written as it is stored: whole fields, none of them
// ZIP64.
inline bool is_kept_whole(std::string_view stored) {
  using namespace zip_format;
  using namespace extra_field;
  for (std::size_t at = 0; at < stored.size();
       at += kHeaderSize + get16(stored, at + kDataLength)) {
    if (stored.size() - at < kHeaderSize ||
        get16(stored, at + kDataLength) > stored.size() - at - kHeaderSize ||
        get16(stored, at + kId) == kZip64ExtraFieldId)
      return false;
  }
  return true;
}

// The extra field `stored` as a raw copy writes it: its fields in order but a ZIP64
// extended-information field, up to the first field that does not parse (a length running
// past the end, or a tail too short for a field header). Built in `storage` when it differs.
inline std::string_view without_zip64_field(std::string_view stored, std::string& storage) {
  if (is_kept_whole(stored)) return stored;
  using namespace zip_format;
  using namespace extra_field;
  storage.clear();
  for (std::size_t at = 0; stored.size() - at >= kHeaderSize;) {
    const std::size_t size = get16(stored, at + kDataLength);
    if (size > stored.size() - at - kHeaderSize) break;
    if (get16(stored, at + kId) != kZip64ExtraFieldId)
      storage.append(stored.substr(at, kHeaderSize + size));
    at += kHeaderSize + size;
  }
  return storage;
}

// The failure of an entry whose sizes do not fit a 32-bit field.
inline PelvaneError too_large(std::string_view name) {
  return PelvaneError::zip("entry " + std::string(name) +
                           " is 4 GiB or larger and would need ZIP64, which is not written");
}

// The fields of an entry copied raw, normalised: flags that no longer hold dropped, an invalid
// time replaced, the version needed kept up to 2.0. Inline into the writer's one caller, which
// every entry copied raw passes.
[[gnu::always_inline]] inline Result<EntryFields> raw_entry_fields(const RawEntryHeader& header) {
  using zip_format::kMax16;
  using zip_format::kMaxValue32;
  if (header.compressed_size > kMaxValue32 || header.uncompressed_size > kMaxValue32)
    return fail(too_large(header.name));
  if (header.local_extra.size() > kMax16 || header.central_extra.size() > kMax16 ||
      header.comment.size() > kMax16)
    return fail(PelvaneError::zip("entry " + std::string(header.name) +
                                  " has an extra field or comment longer than 65535 bytes"));
  EntryFields fields;
  fields.version_made_by = header.version_made_by;
  fields.version_needed = kept_version_needed(header.method, header.name, header.version_needed);
  fields.flags = static_cast<std::uint16_t>(header.flags & kKeptFlagBits);
  fields.method = header.method;
  fields.modified = is_valid_dos_date_time(header.modified) ? header.modified : kZipEpoch;
  fields.crc32 = header.crc32;
  fields.compressed_size = static_cast<std::uint32_t>(header.compressed_size);
  fields.uncompressed_size = static_cast<std::uint32_t>(header.uncompressed_size);
  fields.internal_attributes = header.internal_attributes;
  fields.external_attributes = header.external_attributes;
  return fields;
}

}  // namespace pelvane::raw_fields
