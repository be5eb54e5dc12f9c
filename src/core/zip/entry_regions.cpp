#include "core/zip/entry_regions.hpp"

#include <algorithm>
#include <numeric>

namespace pelvane {

Result<RegionLimits> limit_entry_regions(std::span<const EntryRegion> regions,
                                         std::uint64_t directory_offset,
                                         std::uint64_t directory_size) {
  const std::size_t count = regions.size();
  RegionLimits limits;
  limits.order.resize(count);
  std::iota(limits.order.begin(), limits.order.end(), std::uint64_t{0});
  // Archives written in one pass are in order already: checking that costs one pass.
  const auto by_start = [&](std::uint64_t a, std::uint64_t b) {
    return regions[a].start < regions[b].start;
  };
  if (!std::ranges::is_sorted(limits.order, by_start))
    std::ranges::stable_sort(limits.order, by_start);

  const auto name_of = [&](std::uint64_t index) { return regions[index].name; };
  const std::uint64_t directory_end = directory_offset + directory_size;
  limits.end_limit.assign(count, std::numeric_limits<std::uint64_t>::max());
  limits.limited_by.assign(count, kCentralDirectoryLimit);
  for (std::size_t k = 0; k < count; ++k) {
    const std::uint64_t entry = limits.order[k];
    const EntryRegion& region = regions[entry];
    // The directory limits the regions that start before it and holds none of them.
    if (region.start < directory_end && region.least_end > directory_offset)
      return fail(overlap_failure(entry, kCentralDirectoryLimit, name_of));
    if (region.start < directory_offset) limits.end_limit[entry] = directory_offset;
    if (k + 1 < count) {
      const std::uint64_t next = limits.order[k + 1];
      if (region.least_end > regions[next].start)
        return fail(overlap_failure(entry, next, name_of));
      if (regions[next].start < limits.end_limit[entry]) {
        limits.end_limit[entry] = regions[next].start;
        limits.limited_by[entry] = next;
      }
    }
  }
  return limits;
}

}  // namespace pelvane
