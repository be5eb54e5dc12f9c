#include "core/zip/entry_regions.hpp"

#include <algorithm>
#include <numeric>

namespace pelvane {

Result<RegionOrder> limit_entry_regions(std::span<const EntryRegion> regions,
                                        std::uint64_t directory_offset,
                                        std::uint64_t directory_size, std::uint64_t archive_size,
                                        std::span<RegionLimit> limits) {
  const std::size_t count = regions.size();
  RegionOrder order;
  // Archives written in one pass are in order already: checking that costs one pass.
  const auto in_order = std::ranges::is_sorted(
      regions, [](const EntryRegion& a, const EntryRegion& b) { return a.start < b.start; });
  if (!in_order) {
    order.resize(count);
    std::iota(order.begin(), order.end(), std::uint64_t{0});
    std::ranges::stable_sort(order, [&](std::uint64_t a, std::uint64_t b) {
      return regions[a].start < regions[b].start;
    });
  }
  const auto entry_at = [&](std::size_t k) -> std::uint64_t { return in_order ? k : order[k]; };

  const auto name_of = [&](std::uint64_t index) { return regions[index].name; };
  const std::uint64_t directory_end = directory_offset + directory_size;
  for (std::size_t k = 0; k < count; ++k) {
    const std::uint64_t entry = entry_at(k);
    const EntryRegion& region = regions[entry];
    RegionLimit& limit = limits[entry];
    limit = RegionLimit{};
    // The directory limits the regions that start before it and holds none of them.
    if (region.start < directory_end && region.least_end > directory_offset)
      return fail(overlap_failure(entry, kCentralDirectoryLimit, name_of));
    // A region past the directory is in no other's way, but the file must hold it.
    if (region.least_end > archive_size)
      return fail(PelvaneError::zip("entry " + std::string(region.name) +
                                    " runs past the end of the archive"));
    if (region.start < directory_offset) limit.end_limit = directory_offset;
    if (k + 1 < count) {
      const std::uint64_t next = entry_at(k + 1);
      if (region.least_end > regions[next].start)
        return fail(overlap_failure(entry, next, name_of));
      if (regions[next].start < limit.end_limit) {
        limit.end_limit = regions[next].start;
        limit.limited_by = next;
      }
    }
  }
  return order;
}

}  // namespace pelvane
