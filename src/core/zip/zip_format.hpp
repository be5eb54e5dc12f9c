// The ZIP records that the writer writes and the reader of stored headers reads: signatures,
// fixed sizes and fields, entry times, methods and modes, and the header fields of an entry
// copied raw.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

namespace pelvane {

// Record signatures, fixed header sizes and the little-endian fields they are made of.
namespace zip_format {
inline constexpr std::uint32_t kLocalHeaderSignature = 0x04034b50;
inline constexpr std::uint32_t kCentralHeaderSignature = 0x02014b50;
inline constexpr std::uint32_t kEndRecordSignature = 0x06054b50;
inline constexpr std::size_t kLocalHeaderSize = 30;
inline constexpr std::size_t kCentralHeaderSize = 46;
inline constexpr std::uint16_t kZip64ExtraFieldId = 0x0001;
// General-purpose flag bits: encrypted, strong encryption.
inline constexpr std::uint16_t kFlagEncrypted = 0x0001;
inline constexpr std::uint16_t kFlagStrongEncryption = 0x0040;
// General-purpose flag bits: the Deflate options (1 and 2), CRC-32 and sizes in a data
// descriptor after the data (3), a name and comment in UTF-8 (11).
inline constexpr std::uint16_t kFlagDeflateOptions = 0x0006;
inline constexpr std::uint16_t kFlagSizesAfterData = 0x0008;
inline constexpr std::uint16_t kFlagUtf8Name = 0x0800;
// The method of an entry encrypted with AES, whose real method is in its extra field.
inline constexpr std::uint16_t kMethodAes = 99;

// A 16-bit count or a 32-bit size or offset holding all ones means "see the ZIP64 record or
// extra field", so the largest value a 32-bit field carries on its own is one less.
inline constexpr std::uint16_t kZip64Count = 0xFFFF;
inline constexpr std::uint32_t kZip64Value = 0xFFFFFFFF;
inline constexpr std::uint32_t kMaxValue32 = kZip64Value - 1;
// The largest length or count a 16-bit field states: the longest name, extra field or comment.
inline constexpr std::size_t kMax16 = 0xFFFF;

// Where each field of a record starts, from the record's signature, which every record
// starts with.
inline constexpr std::size_t kSignatureAt = 0;
namespace local_header {
inline constexpr std::size_t kVersionNeeded = 4;
inline constexpr std::size_t kFlags = 6;
inline constexpr std::size_t kMethod = 8;
inline constexpr std::size_t kTime = 10;
inline constexpr std::size_t kDate = 12;
inline constexpr std::size_t kCrc32 = 14;
inline constexpr std::size_t kCompressedSize = 18;
inline constexpr std::size_t kUncompressedSize = 22;
inline constexpr std::size_t kNameLength = 26;
inline constexpr std::size_t kExtraLength = 28;
}  // namespace local_header

namespace central_header {
inline constexpr std::size_t kVersionMadeBy = 4;
inline constexpr std::size_t kVersionNeeded = 6;
inline constexpr std::size_t kFlags = 8;
inline constexpr std::size_t kMethod = 10;
inline constexpr std::size_t kTime = 12;
inline constexpr std::size_t kDate = 14;
inline constexpr std::size_t kCrc32 = 16;
inline constexpr std::size_t kCompressedSize = 20;
inline constexpr std::size_t kUncompressedSize = 24;
inline constexpr std::size_t kNameLength = 28;
inline constexpr std::size_t kExtraLength = 30;
inline constexpr std::size_t kCommentLength = 32;
inline constexpr std::size_t kDiskStart = 34;
inline constexpr std::size_t kInternalAttributes = 36;
inline constexpr std::size_t kExternalAttributes = 38;
inline constexpr std::size_t kLocalHeaderOffset = 42;
}  // namespace central_header

// The two headers of an entry hold the same fields, in the same order, from the version needed
// to extract through the extra field's length.
static_assert(central_header::kExtraLength - central_header::kVersionNeeded ==
              local_header::kExtraLength - local_header::kVersionNeeded);

// The end of central directory record, 22 bytes and the archive comment.
namespace end_record {
inline constexpr std::size_t kSize = 22;
inline constexpr std::size_t kDisk = 4;
inline constexpr std::size_t kDirectoryDisk = 6;
inline constexpr std::size_t kDiskEntries = 8;  // on this disk
inline constexpr std::size_t kEntries = 10;
inline constexpr std::size_t kDirectorySize = 12;
inline constexpr std::size_t kDirectoryOffset = 16;
inline constexpr std::size_t kCommentLength = 20;
}  // namespace end_record

// The ZIP64 end of central directory locator, right before the end record.
namespace zip64_locator {
inline constexpr std::uint32_t kSignature = 0x07064b50;
inline constexpr std::size_t kSize = 20;
inline constexpr std::size_t kRecordDisk = 4;    // 32 bits: the disk of the ZIP64 end record
inline constexpr std::size_t kRecordOffset = 8;  // of the ZIP64 end record
}  // namespace zip64_locator

// The ZIP64 end of central directory record, its fixed part.
namespace zip64_end_record {
inline constexpr std::uint32_t kSignature = 0x06064b50;
inline constexpr std::size_t kSize = 56;
// The record's length past this field (44 for the fixed part alone).
inline constexpr std::size_t kRecordSize = 4;
inline constexpr std::size_t kSizeCounted = 12;    // the bytes that `kRecordSize` leaves out
inline constexpr std::size_t kDisk = 16;           // 32 bits
inline constexpr std::size_t kDirectoryDisk = 20;  // 32 bits
inline constexpr std::size_t kDiskEntries = 24;    // on this disk
inline constexpr std::size_t kEntries = 32;
inline constexpr std::size_t kDirectorySize = 40;
inline constexpr std::size_t kDirectoryOffset = 48;
}  // namespace zip64_end_record

// The fields of an extra field: each an id and a data length, then its data.
namespace extra_field {
inline constexpr std::size_t kId = 0;
inline constexpr std::size_t kDataLength = 2;
inline constexpr std::size_t kHeaderSize = 4;
// Ids of the fields the archive library reads into an entry's name, comment, sizes or method.
inline constexpr std::uint16_t kUnicodePathId = 0x7075;
inline constexpr std::uint16_t kUnicodeCommentId = 0x6375;
inline constexpr std::uint16_t kAesId = 0x9901;
// The data of a Unicode path field: a version, the CRC-32 of the stored name, the name in UTF-8.
namespace unicode_path {
inline constexpr std::size_t kVersion = 0;
inline constexpr std::size_t kNameCrc32 = 1;
inline constexpr std::size_t kName = 5;
}  // namespace unicode_path
}  // namespace extra_field

// One load each on a little-endian machine: every header of a package of many parts is read
// field by field.
inline std::uint16_t get16(std::string_view bytes, std::size_t at) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint16_t value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
  }
  return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                    static_cast<unsigned char>(bytes[at + 1]) << 8);
}

inline std::uint32_t get32(std::string_view bytes, std::size_t at) {
  if constexpr (std::endian::native == std::endian::little) {
    std::uint32_t value;
    std::memcpy(&value, bytes.data() + at, sizeof value);
    return value;
  }
  return static_cast<std::uint32_t>(get16(bytes, at)) |
         static_cast<std::uint32_t>(get16(bytes, at + 2)) << 16;
}

inline std::uint64_t get64(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint64_t>(get32(bytes, at)) |
         static_cast<std::uint64_t>(get32(bytes, at + 4)) << 32;
}

// The length of a central header from its fixed part (`fixed` holds at least those bytes):
// the fixed part, the name, the extra field and the comment.
inline std::size_t central_header_size(std::string_view fixed) {
  return kCentralHeaderSize + get16(fixed, central_header::kNameLength) +
         get16(fixed, central_header::kExtraLength) + get16(fixed, central_header::kCommentLength);
}

// The length of the central header at `at` of the directory `bytes`; none when no whole,
// well-formed central header starts there. Always inline: the readers of a directory ask it of
// every entry in a loop that keeps its values in registers.
[[gnu::always_inline]] inline std::optional<std::size_t> central_header_length(
    std::string_view bytes, std::size_t at) {
  if (bytes.size() - at < kCentralHeaderSize || get32(bytes, at) != kCentralHeaderSignature)
    return std::nullopt;
  const std::size_t length = central_header_size(bytes.substr(at, kCentralHeaderSize));
  if (bytes.size() - at < length) return std::nullopt;
  return length;
}
}  // namespace zip_format

// MS-DOS date and time as stored in ZIP headers (two-second resolution).
struct DosDateTime {
  std::uint16_t time = 0;
  std::uint16_t date = 0x0021;  // 1980-01-01

  friend bool operator==(const DosDateTime&, const DosDateTime&) = default;
};

// 1980-01-01 00:00:00, the time of every entry written from content.
inline constexpr DosDateTime kZipEpoch{0, 0x0021};

// True when the date's day exists in its month and year (day 29 to 31).
bool is_valid_dos_late_day(std::uint16_t date);

// True when the fields name a real calendar date and time of day. Inline, as every entry
// copied raw asks it: days up to the 28th exist in every month.
inline bool is_valid_dos_date_time(DosDateTime stamp) {
  const unsigned day = stamp.date & 0x1F;
  const unsigned month = (stamp.date >> 5) & 0x0F;
  const unsigned seconds = (stamp.time & 0x1F) * 2;
  const unsigned minutes = (stamp.time >> 5) & 0x3F;
  const unsigned hours = stamp.time >> 11;
  if (month < 1 || month > 12 || day < 1 || hours >= 24 || minutes >= 60 || seconds >= 60)
    return false;
  return day <= 28 || is_valid_dos_late_day(stamp.date);
}

inline constexpr std::uint16_t kZipMethodStored = 0;
inline constexpr std::uint16_t kZipMethodDeflate = 8;

// True when an entry stored as it is states 0 bytes of content and a CRC-32 other than 0, the
// CRC-32 of no bytes: its headers are wrong, which takes no reading to tell. (What a Deflate
// entry of 0 bytes holds is known only once inflated: it may go on past its stated size.)
inline bool states_wrong_empty_crc(std::uint16_t method, std::uint64_t uncompressed_size,
                                   std::uint32_t crc32) {
  return method == kZipMethodStored && uncompressed_size == 0 && crc32 != 0;
}

inline constexpr std::uint32_t kUnixFileMode = 0100644;
inline constexpr std::uint32_t kUnixDirectoryMode = 040755;
inline constexpr std::uint16_t kUnixMadeBy = (3 << 8) | 63;  // Unix, 6.3

// The fixed fields of an entry's central header but its length fields and the local header's
// offset; the local header holds the same fields from version needed to extract through the
// uncompressed size. A new entry's defaults: made by Unix, version 2.0, stored.
struct EntryFields {
  std::uint16_t version_made_by = kUnixMadeBy;
  std::uint16_t version_needed = 20;
  std::uint16_t flags = 0;
  std::uint16_t method = kZipMethodStored;
  DosDateTime modified;
  std::uint32_t crc32 = 0;
  std::uint32_t compressed_size = 0;
  std::uint32_t uncompressed_size = 0;
  std::uint16_t internal_attributes = 0;
  std::uint32_t external_attributes = 0;

  // The fields of a central header record, as they are stored.
  static EntryFields from_central_header(std::string_view header) {
    using zip_format::get16;
    using zip_format::get32;
    namespace field = zip_format::central_header;
    return {.version_made_by = get16(header, field::kVersionMadeBy),
            .version_needed = get16(header, field::kVersionNeeded),
            .flags = get16(header, field::kFlags),
            .method = get16(header, field::kMethod),
            .modified = DosDateTime{get16(header, field::kTime), get16(header, field::kDate)},
            .crc32 = get32(header, field::kCrc32),
            .compressed_size = get32(header, field::kCompressedSize),
            .uncompressed_size = get32(header, field::kUncompressedSize),
            .internal_attributes = get16(header, field::kInternalAttributes),
            .external_attributes = get32(header, field::kExternalAttributes)};
  }
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
  std::uint16_t version_made_by = kUnixMadeBy;
  std::uint32_t external_attributes = kUnixFileMode << 16;
  std::uint16_t internal_attributes = 0;
  // Extra fields of the local and of the central header, and the entry comment, as stored.
  // A ZIP64 extended-information field is left out (nothing is written with ZIP64, and its
  // values would no longer hold), and so is whatever follows a field that does not parse.
  std::string_view local_extra;
  std::string_view central_extra;
  std::string_view comment;

  // The header of an entry named `name` with these fixed fields as they are, without extra
  // fields or comment.
  static RawEntryHeader from_fields(std::string_view name, const EntryFields& fields) {
    RawEntryHeader header;
    header.name = name;
    header.flags = fields.flags;
    header.method = fields.method;
    header.version_needed = fields.version_needed;
    header.modified = fields.modified;
    header.crc32 = fields.crc32;
    header.compressed_size = fields.compressed_size;
    header.uncompressed_size = fields.uncompressed_size;
    header.version_made_by = fields.version_made_by;
    header.external_attributes = fields.external_attributes;
    header.internal_attributes = fields.internal_attributes;
    return header;
  }
};

}  // namespace pelvane
