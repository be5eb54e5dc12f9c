// What the writer says of an entry's headers without writing it (zip_writer.hpp): whether a
// raw copy keeps its stored headers as they lie, and how long a local header it writes
// otherwise. Both follow the rules of raw_entry_fields.hpp, which the writer applies as it
// writes.
#include <cstring>

#include "core/zip/raw_entry_fields.hpp"
#include "core/zip/zip_writer.hpp"

namespace pelvane {

using namespace zip_format;
using namespace raw_fields;

std::uint64_t raw_local_header_size(const RawEntryHeader& header) {
  std::string storage;
  return kLocalHeaderSize + header.name.size() +
         without_zip64_field(header.local_extra, storage).size();
}

bool writes_stored_headers(std::string_view central, std::string_view local) {
  const std::size_t name_size = get16(central, central_header::kNameLength);
  return local.size() >= kLocalHeaderSize + name_size &&
         std::string_view(local.data() + kLocalHeaderSize, name_size) ==
             std::string_view(central.data() + kCentralHeaderSize, name_size) &&
         writes_stored_headers_of_name(central, local);
}

bool writes_stored_headers_of_name(std::string_view central, std::string_view local) {
  // The central header's own fields, as `raw_entry_fields` would keep them.
  namespace field = central_header;
  const std::uint16_t stated_version = get16(central, field::kVersionNeeded);
  const std::uint16_t method = get16(central, field::kMethod);
  const std::size_t name_size = get16(central, field::kNameLength);
  const std::string_view name(central.data() + kCentralHeaderSize, name_size);
  if (kept_version_needed(method, name, stated_version) != stated_version ||
      (get16(central, field::kFlags) & ~kKeptFlagBits) != 0 ||
      get32(central, field::kCompressedSize) > kMaxValue32 ||
      get32(central, field::kUncompressedSize) > kMaxValue32 ||
      get16(central, field::kDiskStart) != 0 ||
      !is_valid_dos_date_time({get16(central, field::kTime), get16(central, field::kDate)}) ||
      !is_kept_whole({name.data() + name_size, get16(central, field::kExtraLength)}))
    return false;
  // The local header: the same fields from the version needed through the name's length, and
  // an extra field written as it is.
  if (local.size() < kLocalHeaderSize + name_size ||
      local.size() != kLocalHeaderSize + name_size + get16(local, local_header::kExtraLength) ||
      get32(local, kSignatureAt) != kLocalHeaderSignature)
    return false;
  std::uint64_t local_words[3];
  std::uint64_t central_words[3];
  static_assert(sizeof local_words == local_header::kExtraLength - local_header::kVersionNeeded);
  std::memcpy(local_words, local.data() + local_header::kVersionNeeded, sizeof local_words);
  std::memcpy(central_words, central.data() + field::kVersionNeeded, sizeof central_words);
  return local_words[0] == central_words[0] && local_words[1] == central_words[1] &&
         local_words[2] == central_words[2] &&
         is_kept_whole(local.substr(kLocalHeaderSize + name_size));
}

}  // namespace pelvane
