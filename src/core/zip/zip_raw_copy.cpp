#include "core/zip/zip_raw_copy.hpp"

#include <zip.h>

#include <algorithm>
#include <string>

#include "core/zip/package_archive.hpp"

namespace pelvane {

namespace {

constexpr std::size_t kCopyChunk = 4 * 1024 * 1024;

}  // namespace

Result<void> copy_raw_entry(ZipWriter& writer, PackageArchive& archive, std::uint64_t index,
                            const StoredEntryHeaders& headers) {
  const RawEntryHeader header = PELVANE_TRY(headers.header(archive, index));
  return copy_raw_entry(writer, archive, index, headers, header);
}

Result<void> copy_raw_entry(ZipWriter& writer, PackageArchive& archive, std::uint64_t index,
                            const StoredEntryHeaders& headers, const RawEntryHeader& header) {
  // Entries of an archive file are read straight from the file, header and all when its stored
  // local header is already the header we would write (zip_writer.hpp). An entry placed there
  // has its data within its region; any other is checked before its data is read.
  if (const CopiedFile input = headers.file(); input.fd >= 0) {
    if (auto placement = headers.placement(index))
      return writer.add_raw_entry_from_file(header, input, placement->local_offset,
                                            placement->local_header);
  }
  PELVANE_TRY_VOID(headers.check_region(index));
  ZipEntryFile file = PELVANE_TRY(open_archive_entry(archive, index, ZIP_FL_COMPRESSED));
  PELVANE_TRY_VOID(writer.begin_raw_entry(header));
  std::string chunk(
      static_cast<std::size_t>(std::min<std::uint64_t>(header.compressed_size, kCopyChunk)), '\0');
  std::uint64_t remaining = header.compressed_size;
  while (remaining > 0) {
    zip_int64_t got =
        zip_fread(file.get(), chunk.data(), std::min<std::uint64_t>(remaining, chunk.size()));
    if (got < 0) return fail(PelvaneError::zip(zip_file_strerror(file.get())));
    if (got == 0)
      return fail(PelvaneError::zip("entry " + std::string(header.name) +
                                    " ends before its stated compressed size"));
    PELVANE_TRY_VOID(
        writer.write_raw_data(std::string_view(chunk.data(), static_cast<std::size_t>(got))));
    remaining -= static_cast<std::uint64_t>(got);
  }
  return writer.end_entry();
}

}  // namespace pelvane
