#include "core/zip/library_name_table.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <string_view>
#include <vector>

#include "core/zip/stored_headers.hpp"

namespace pelvane {
namespace {

// The most chain steps the library's insertions may take in all, for `count` entries. Names
// that spread as ordinary ones do fill a table at most 3/4 full with chains shorter than one
// entry on average: packages of tens to 65,534 entries walk 0.2 to 0.5 steps per entry. Names
// crowding a few slots walk about half the square of each slot's count. 16 steps per entry
// (and a few thousand more for small archives, whose slots are few) is far above any ordinary
// package and still keeps the library's open linear in the entries.
std::uint64_t most_chain_steps(std::uint64_t count) { return 16 * count + 4096; }

// The library's hash of a name: over its bytes up to the first NUL, which ends its C string.
std::uint32_t library_name_hash(std::string_view name) {
  std::uint32_t value = 5381;
  for (const char byte : name) {
    if (byte == '\0') break;
    value = value * 33 + static_cast<unsigned char>(byte);
  }
  return value;
}

}  // namespace

Result<void> check_library_name_table(const StoredEntryHeaders& headers) {
  if (!headers.exact()) return {};
  const std::uint64_t count = headers.entry_count();
  // The library sizes its table once for the entry count: the power of two at or above 4/3 of
  // it. Each insertion walks every name already in its slot.
  const std::uint64_t slots = std::bit_ceil(std::max<std::uint64_t>(count * 4 / 3, 1));
  std::vector<std::uint32_t> chain(static_cast<std::size_t>(slots));
  const std::uint64_t most = most_chain_steps(count);
  std::uint64_t steps = 0;
  for (std::uint64_t index = 0; index < count; ++index) {
    steps += chain[library_name_hash(headers.name(index)) & (slots - 1)]++;
    if (steps > most)
      return fail(PelvaneError::zip("entry names crowd one slot of the name table"));
  }
  return {};
}

}  // namespace pelvane
