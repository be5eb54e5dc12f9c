// An input file whose spans the writer copies raw: what the reader of stored headers hands the
// copy loop, and what the writer and its sink copy from.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pelvane {

// Spans of an input file at least this long are copied inside the kernel by a file sink; the
// reader stops its reads ahead of a copy before the data of such an entry.
inline constexpr std::uint64_t kKernelCopyMinimum = 1024 * 1024;

// Its descriptor and bytes of it already in memory: the whole file, as it held them when it was
// opened (a small archive), which then serve every copy in place of the file, held as long as
// the copy runs; a span within them may be written from where it is held.
struct CopiedFile {
  int fd = -1;
  std::string_view bytes;
  // Where `bytes` start in the file.
  std::uint64_t bytes_offset = 0;

  // The `length` bytes at `offset`, when `bytes` hold them all.
  std::optional<std::string_view> held(std::uint64_t offset, std::uint64_t length) const {
    if (bytes.empty() || offset < bytes_offset || offset - bytes_offset > bytes.size() ||
        length > bytes.size() - (offset - bytes_offset))
      return std::nullopt;
    return std::string_view(bytes.data() + (offset - bytes_offset),
                            static_cast<std::size_t>(length));
  }
};

}  // namespace pelvane
