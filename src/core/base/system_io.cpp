#include "core/base/system_io.hpp"

#include <sys/sendfile.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <system_error>

namespace pelvane {
namespace {

// Bytes asked of the kernel per copy call, and moved per call when copying through a buffer.
constexpr std::uint64_t kKernelCopyStep = std::uint64_t{1} << 30;
constexpr std::size_t kBufferedCopyChunk = std::size_t{1} << 20;

// Uses up `done` bytes of `pieces` from the piece `first` on: past the pieces transferred whole,
// a piece transferred in part goes on from where it stopped. Returns the first piece with bytes
// left (past any empty ones), or the number of pieces when none has.
std::size_t use_up_pieces(std::span<iovec> pieces, std::size_t first, std::size_t done) {
  while (done > 0) {
    iovec& piece = pieces[first];
    const std::size_t taken = std::min(done, piece.iov_len);
    piece.iov_base = static_cast<char*>(piece.iov_base) + taken;
    piece.iov_len -= taken;
    done -= taken;
    if (piece.iov_len == 0) ++first;
  }
  while (first < pieces.size() && pieces[first].iov_len == 0) ++first;
  return first;
}

// True when `error` says that this way of copying inside the kernel does not work between the
// two files (rather than that the copy failed).
bool is_refusal(int error) {
  return error == EXDEV || error == ENOSYS || error == EINVAL || error == EOPNOTSUPP ||
         error == EPERM || error == ETXTBSY;
}

}  // namespace

std::string os_error_message(int error_number) {
  return std::error_code(error_number, std::generic_category()).message();
}

PelvaneError os_error(int error_number) { return PelvaneError::io(os_error_message(error_number)); }

Result<std::size_t> read_at(int fd, std::uint64_t offset, std::span<char> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t got =
        ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      return fail(os_error(errno));
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

bool read_whole_at(int fd, std::uint64_t offset, std::span<char> out) {
  const auto got = read_at(fd, offset, out);
  return got && *got == out.size();
}

Result<std::uint64_t> read_pieces_at(int fd, std::uint64_t offset, std::span<iovec> pieces) {
  std::uint64_t total = 0;
  std::size_t first = use_up_pieces(pieces, 0, 0);
  while (first < pieces.size()) {
    const std::size_t count = std::min<std::size_t>(pieces.size() - first, kMostPiecesPerCall);
    const ssize_t got = ::preadv(fd, pieces.data() + first, static_cast<int>(count),
                                 static_cast<off_t>(offset + total));
    if (got < 0) {
      if (errno == EINTR) continue;
      return fail(os_error(errno));
    }
    if (got == 0) break;
    total += static_cast<std::uint64_t>(got);
    first = use_up_pieces(pieces, first, static_cast<std::size_t>(got));
  }
  return total;
}

Result<void> write_pieces(int fd, std::span<iovec> pieces) {
  std::size_t first = use_up_pieces(pieces, 0, 0);
  while (first < pieces.size()) {
    const std::size_t count = std::min<std::size_t>(pieces.size() - first, kMostPiecesPerCall);
    const ssize_t written = ::writev(fd, pieces.data() + first, static_cast<int>(count));
    if (written < 0) {
      if (errno == EINTR) continue;
      return fail(os_error(errno));
    }
    first = use_up_pieces(pieces, first, static_cast<std::size_t>(written));
  }
  return {};
}

Result<void> write_all(int fd, std::string_view bytes, std::optional<std::uint64_t> offset) {
  while (!bytes.empty()) {
    const ssize_t written =
        offset ? ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(*offset))
               : ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return fail(os_error(errno));
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
    if (offset) *offset += static_cast<std::uint64_t>(written);
  }
  return {};
}

Result<std::uint64_t> copy_in_kernel(int in, std::uint64_t offset, int out, std::uint64_t length,
                                     KernelCopy& way) {
  auto position = static_cast<off_t>(offset);
  std::uint64_t copied = 0;
  while (copied < length && way != KernelCopy::Unavailable) {
    const auto wanted = static_cast<std::size_t>(std::min(length - copied, kKernelCopyStep));
    const ssize_t done = way == KernelCopy::CopyFileRange
                             ? ::copy_file_range(in, &position, out, nullptr, wanted, 0)
                             : ::sendfile(out, in, &position, wanted);
    if (done > 0) {
      copied += static_cast<std::uint64_t>(done);
      continue;
    }
    if (done == 0) break;  // the input ended
    if (errno == EINTR) continue;
    if (!is_refusal(errno)) return fail(os_error(errno));
    // Not possible between these files: the next way, from where the copy stands.
    way = way == KernelCopy::CopyFileRange ? KernelCopy::Sendfile : KernelCopy::Unavailable;
  }
  return copied;
}

Result<std::uint64_t> copy_range(int in, std::uint64_t offset, int out, std::uint64_t length) {
  KernelCopy way = KernelCopy::CopyFileRange;
  std::uint64_t copied = PELVANE_TRY(copy_in_kernel(in, offset, out, length, way));
  if (copied == length || way != KernelCopy::Unavailable) return copied;
  const auto chunk_size =
      static_cast<std::size_t>(std::min<std::uint64_t>(length - copied, kBufferedCopyChunk));
  const auto chunk = std::make_unique_for_overwrite<char[]>(chunk_size);
  while (copied < length) {
    const auto wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(length - copied, chunk_size));
    const std::size_t got =
        PELVANE_TRY(read_at(in, offset + copied, std::span<char>(chunk.get(), wanted)));
    PELVANE_TRY_VOID(write_all(out, std::string_view(chunk.get(), got)));
    copied += got;
    if (got < wanted) break;  // the input ended
  }
  return copied;
}

}  // namespace pelvane
