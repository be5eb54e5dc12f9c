#include "core/zip/entry_names.hpp"

#include <algorithm>
#include <string>

#include "core/base/byte_search.hpp"
#include "core/zip/zip_format.hpp"

namespace pelvane {
namespace {

using namespace zip_format;

// The most bytes of a name that a message shows.
constexpr std::size_t kMostShownBytes = 200;

// `bytes` in double quotes, escaped so that every byte can be told from the message.
std::string quoted_bytes(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string quoted = "\"";
  for (const char c : bytes.substr(0, kMostShownBytes)) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte >= 0x20 && byte < 0x7F) {
      quoted += c;
    } else {
      quoted += "\\x";
      quoted += kHex[byte >> 4];
      quoted += kHex[byte & 0xF];
    }
  }
  if (bytes.size() > kMostShownBytes) quoted += "...";
  return quoted + "\"";
}

// The name of the first Unicode path field of `extra` that names an entry otherwise than
// `name`, up to the first field that runs past the end; none when there is none.
std::optional<std::string_view> other_unicode_path(std::string_view name, std::string_view extra) {
  namespace data = extra_field::unicode_path;
  while (extra.size() >= extra_field::kHeaderSize) {
    const std::size_t size = get16(extra, extra_field::kDataLength);
    if (size > extra.size() - extra_field::kHeaderSize) break;
    const std::string_view field = extra.substr(extra_field::kHeaderSize, size);
    if (get16(extra, extra_field::kId) == extra_field::kUnicodePathId &&
        field.substr(std::min(field.size(), data::kName)) != name)
      return field.substr(std::min(field.size(), data::kName));
    extra.remove_prefix(extra_field::kHeaderSize + size);
  }
  return std::nullopt;
}

}  // namespace

bool holds_code_page_control(std::string_view name) {
  // Names are nearly always printable ASCII, told in one scan.
  for (std::size_t at = byte_scan::find_in_set(name, byte_scan::ControlOrNonAscii{});
       at < name.size(); ++at) {
    const char c = name[at];
    if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r') return true;
  }
  return false;
}

std::optional<PelvaneError> ambiguous_name_failure(std::string_view name, std::uint16_t flags,
                                                   std::string_view central_extra) {
  std::string why;
  if (name.find('\0') != std::string_view::npos) {
    why = " holds a NUL byte";
  } else if ((flags & kFlagUtf8Name) == 0 && holds_code_page_control(name)) {
    why = " holds a control byte and no UTF-8 flag";
  } else if (const auto other = other_unicode_path(name, central_extra)) {
    why = " has a Unicode path field naming it " + quoted_bytes(*other);
  } else {
    return std::nullopt;
  }
  return PelvaneError::zip("entry name " + quoted_bytes(name) + why +
                           ", which readers read in different ways");
}

}  // namespace pelvane
