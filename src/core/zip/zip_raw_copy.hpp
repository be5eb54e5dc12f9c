// Raw copies of entries from an input archive: each entry's compressed bytes under its stored
// header fields (stored_headers.hpp), header and all when its stored local header is already
// what the writer would write.
#pragma once

#include <cstdint>

#include "core/base/error.hpp"
#include "core/zip/stored_headers.hpp"
#include "core/zip/zip_writer.hpp"

namespace pelvane {

class PackageArchive;

// Copies the entry at `index` raw: its compressed bytes, streamed in chunks, under the stored
// header fields. Any failure, opening the entry or reading or writing its bytes, is `Zip`.
// The copy may wait on the file `headers` holds open: call `writer.copy_pending()` (or
// `finish`) while `headers` is alive.
Result<void> copy_raw_entry(ZipWriter& writer, PackageArchive& archive, std::uint64_t index,
                            const StoredEntryHeaders& headers);
// The same under `header` in place of the stored header fields; its CRC-32, sizes and method
// must be the entry's own.
Result<void> copy_raw_entry(ZipWriter& writer, PackageArchive& archive, std::uint64_t index,
                            const StoredEntryHeaders& headers, const RawEntryHeader& header);

}  // namespace pelvane
