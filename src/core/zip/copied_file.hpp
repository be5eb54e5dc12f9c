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

// Its descriptor and, when the file was read whole (a small archive), its bytes as it held them
// when it was opened, which then serve every copy in place of the file.
struct CopiedFile {
  int fd = -1;
  std::string_view bytes;

  // The `length` bytes at `offset`, when the file's bytes are held and hold them all.
  std::optional<std::string_view> held(std::uint64_t offset, std::uint64_t length) const {
    if (bytes.empty() || offset > bytes.size() || length > bytes.size() - offset)
      return std::nullopt;
    return std::string_view(bytes.data() + offset, static_cast<std::size_t>(length));
  }
};

}  // namespace pelvane
