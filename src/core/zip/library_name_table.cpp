#include "core/zip/library_name_table.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/base/byte_search.hpp"
#include "core/zip/stored_headers.hpp"
#include "core/zip/zip_format.hpp"

namespace pelvane {
namespace {

// The most chain steps the library's insertions may take in all, for `count` entries. Names
// that spread as ordinary ones do fill a table at most 3/4 full with chains shorter than one
// entry on average: packages of tens to 65,534 entries walk 0.2 to 0.5 steps per entry. Names
// crowding a few slots walk about half the square of each slot's count. 16 steps per entry
// (and a few thousand more for small archives, whose slots are few) is far above any ordinary
// package and still keeps the library's open linear in the entries.
std::uint64_t most_chain_steps(std::uint64_t count) { return 16 * count + 4096; }

// The library's hash of a name, fed byte by byte: value = value * 33 + byte, modulo 2^32, from
// 5381 (`hash_string`, zip_hash.c; release quirk). It hashes the name it reads, which need not
// be the stored bytes, so each form of name feeds it what the library would.
class LibraryNameHash {
 public:
  std::uint32_t value() const { return value_; }
  void add(unsigned char byte) { value_ = value_ * 33 + byte; }
  // The bytes of the code point (below 0x10000) in UTF-8.
  void add_code_point(std::uint16_t code) {
    if (code < 0x80) return add(static_cast<unsigned char>(code));
    if (code < 0x800) {
      add(static_cast<unsigned char>(0xC0 | code >> 6));
    } else {
      add(static_cast<unsigned char>(0xE0 | code >> 12));
      add(static_cast<unsigned char>(0x80 | (code >> 6 & 0x3F)));
    }
    add(static_cast<unsigned char>(0x80 | (code & 0x3F)));
  }

 private:
  std::uint32_t value_ = 5381;
};

// How the library reads each byte of a name in code page 437 (`_zip_cp437_to_utf8`, zip_utf-8.c):
// the control bytes as the symbols their places show, DEL as a house, and NUL as a space (the
// library replaces every NUL of a stored name by a space before it reads the name:
// `_zip_read_data`, zip_io_util.c; release quirk). Eight bytes a row, from 0x00.
// clang-format off
constexpr std::array<std::uint16_t, 256> kCodePage437 = {
    0x0020, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,
    0x25D8, 0x25CB, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C,
    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8,
    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC,
    0x0020, 0x0021, 0x0022, 0x0023, 0x0024, 0x0025, 0x0026, 0x0027,
    0x0028, 0x0029, 0x002A, 0x002B, 0x002C, 0x002D, 0x002E, 0x002F,
    0x0030, 0x0031, 0x0032, 0x0033, 0x0034, 0x0035, 0x0036, 0x0037,
    0x0038, 0x0039, 0x003A, 0x003B, 0x003C, 0x003D, 0x003E, 0x003F,
    0x0040, 0x0041, 0x0042, 0x0043, 0x0044, 0x0045, 0x0046, 0x0047,
    0x0048, 0x0049, 0x004A, 0x004B, 0x004C, 0x004D, 0x004E, 0x004F,
    0x0050, 0x0051, 0x0052, 0x0053, 0x0054, 0x0055, 0x0056, 0x0057,
    0x0058, 0x0059, 0x005A, 0x005B, 0x005C, 0x005D, 0x005E, 0x005F,
    0x0060, 0x0061, 0x0062, 0x0063, 0x0064, 0x0065, 0x0066, 0x0067,
    0x0068, 0x0069, 0x006A, 0x006B, 0x006C, 0x006D, 0x006E, 0x006F,
    0x0070, 0x0071, 0x0072, 0x0073, 0x0074, 0x0075, 0x0076, 0x0077,
    0x0078, 0x0079, 0x007A, 0x007B, 0x007C, 0x007D, 0x007E, 0x2302,
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};
// clang-format on

// True when the library reads the name (its NUL bytes as spaces) in code page 437: when a byte
// other than printable ASCII, DEL, tab, line feed and carriage return does not start a UTF-8
// sequence of 2 to 4 bytes whose continuation bytes follow within the name
// (`_zip_guess_encoding`, zip_utf-8.c). Looser than UTF-8 validity: overlong forms and
// surrogates read as UTF-8 here (release quirk).
bool reads_as_code_page_437(std::string_view name) {
  // Names are nearly always printable ASCII, told in one scan.
  std::size_t at = byte_scan::find_in_set(name, byte_scan::ControlOrNonAscii{});
  for (; at < name.size(); ++at) {
    const auto byte = static_cast<unsigned char>(name[at]);
    if (byte >= 0x20 && byte < 0x80) continue;
    if (byte == '\0' || byte == '\t' || byte == '\n' || byte == '\r') continue;
    std::size_t continuation = 0;
    if ((byte & 0xE0) == 0xC0)
      continuation = 1;
    else if ((byte & 0xF0) == 0xE0)
      continuation = 2;
    else if ((byte & 0xF8) == 0xF0)
      continuation = 3;
    else
      return true;
    if (continuation >= name.size() - at) return true;
    for (std::size_t next = 1; next <= continuation; ++next)
      if ((static_cast<unsigned char>(name[at + next]) & 0xC0) != 0x80) return true;
    at += continuation;
  }
  return false;
}

// The library's hash of the entry's name as it reads it: the stored name, read in code page 437
// unless the entry states UTF-8 or the name has the form of UTF-8 (`_zip_string_get`,
// zip_string.c). The names it reads otherwise, through a Unicode path field or with a NUL byte as
// a space, are refused before the table is counted (entry_names.hpp).
std::uint32_t library_name_hash(std::string_view name, std::uint16_t flags) {
  LibraryNameHash hash;
  if ((flags & zip_format::kFlagUtf8Name) == 0 && reads_as_code_page_437(name)) {
    for (const char byte : name)
      hash.add_code_point(kCodePage437[static_cast<unsigned char>(byte)]);
    return hash.value();
  }
  for (const char byte : name) hash.add(static_cast<unsigned char>(byte));
  return hash.value();
}

}  // namespace

Result<void> check_library_name_table(const StoredEntryHeaders& headers) {
  if (!headers.exact()) return {};
  const std::uint64_t count = headers.entry_count();
  // The library sizes its table once for the entry count: the power of two at or above 4/3 of
  // it (`_zip_hash_reserve_capacity`, zip_hash.c, from `_zip_open`, zip_open.c). Each insertion
  // walks every name already in its slot (`_zip_hash_add`, zip_hash.c). Both release quirks.
  const std::uint64_t slots = std::bit_ceil(std::max<std::uint64_t>(count * 4 / 3, 1));
  std::vector<std::uint32_t> chain(static_cast<std::size_t>(slots));
  const std::uint64_t most = most_chain_steps(count);
  std::uint64_t steps = 0;
  for (std::uint64_t index = 0; index < count; ++index) {
    const auto hash = library_name_hash(headers.name(index), headers.name_fields(index).flags);
    steps += chain[hash & (slots - 1)]++;
    if (steps > most)
      return fail(PelvaneError::zip("entry names crowd one slot of the name table"));
  }
  return {};
}

}  // namespace pelvane
