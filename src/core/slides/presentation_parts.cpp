#include "core/slides/presentation_parts.hpp"

#include <utility>

#include "core/zip/package_archive.hpp"

namespace pelvane {

std::string slide_part_name(std::uint64_t number) {
  return "ppt/slides/slide" + std::to_string(number) + ".xml";
}

Result<std::string> read_required_part(PackageArchive& archive, std::string_view name) {
  auto bytes = PELVANE_TRY(read_archive_bytes(archive, name));
  if (!bytes) return fail(PelvaneError::zip("specified file not found in archive"));
  return std::move(*bytes);
}

}  // namespace pelvane
