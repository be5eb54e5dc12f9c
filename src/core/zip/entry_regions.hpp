// Where the entries of an archive store their bytes, and the refusal of entries that share them.
//
// An entry's stored region runs from its local header to the end of its compressed data. Entries
// of different names may all point at one local header, or at headers nested inside another
// entry's data: one small stream then serves any number of entries, and a small archive reads
// as a huge one. The regions are checked against each other, against the central directory and
// against the end of the archive when it opens, from the central headers alone: each region
// takes at least its local header without extra field, its name and its compressed size. What
// only a local header states (the length of its extra field) is checked against the same limits
// when that header is read, before the entry's data is used.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/error.hpp"

namespace pelvane {

// One entry as its central header places it.
struct EntryRegion {
  std::string_view name;
  std::uint64_t start = 0;      // the local header's offset
  std::uint64_t least_end = 0;  // start + local header, name and compressed size
};

// Marks the central directory where an entry's region is limited by it.
inline constexpr std::uint64_t kCentralDirectoryLimit = std::numeric_limits<std::uint64_t>::max();

// How far one entry's region may reach without meeting another.
struct RegionLimit {
  std::uint64_t end_limit = std::numeric_limits<std::uint64_t>::max();  // where it must end by
  // The entry whose region follows it, or `kCentralDirectoryLimit`; unlimited when neither.
  std::uint64_t limited_by = kCentralDirectoryLimit;
};

// The entries by the start of their regions: empty when that is archive order (archives written
// in one pass are), else their indices in that order.
using RegionOrder = std::vector<std::uint64_t>;

// Fills `limits` (one per region) for the regions of `regions` (in archive order) and returns
// their order, or, for the first region by offset that overlaps another or the directory at
// `directory_offset` of `directory_size` bytes, `Zip` as `overlap_failure` says, and for one
// that runs past the end of the archive of `archive_size` bytes, "entry {0} runs past the end of
// the archive".
Result<RegionOrder> limit_entry_regions(std::span<const EntryRegion> regions,
                                        std::uint64_t directory_offset,
                                        std::uint64_t directory_size, std::uint64_t archive_size,
                                        std::span<RegionLimit> limits);

// `Zip` "entries {0} and {1} overlap", the names of `entry` and `other` (`name_of` gives them)
// in archive order, or "entry {0} overlaps the central directory" when `other` is
// `kCentralDirectoryLimit`.
template <class NameOf>
PelvaneError overlap_failure(std::uint64_t entry, std::uint64_t other, NameOf&& name_of) {
  if (other == kCentralDirectoryLimit)
    return PelvaneError::zip("entry " + std::string(name_of(entry)) +
                             " overlaps the central directory");
  const auto [first, second] = std::minmax(entry, other);
  return PelvaneError::zip("entries " + std::string(name_of(first)) + " and " +
                           std::string(name_of(second)) + " overlap");
}

}  // namespace pelvane
