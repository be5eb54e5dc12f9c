// The system-call loops every file access goes through: reading exactly so many bytes, writing
// everything, copying between files inside the kernel, and the wording of a failed call.
//
// Each loop retries a call the system interrupted and goes on after a partial transfer, so that
// callers see either everything or a failure; a file that ends early is told apart from one
// that fails, since only the caller knows what its end means.
#pragma once

#include <sys/uio.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/base/error.hpp"

namespace pelvane {

// The operating system's message for an errno value ("No such file or directory").
std::string os_error_message(int error_number);
// `Io` carrying that message: the one wording of a failed system call.
PelvaneError os_error(int error_number);

// Reads from `fd` at `offset` until `out` is full or the file ends; returns the bytes read,
// fewer than `out.size()` only when the file ended first. A failed read is `Io` (`os_error`).
Result<std::size_t> read_at(int fd, std::uint64_t offset, std::span<char> out);

// True when all of `out` was read from `fd` at `offset`: for readers to whom a file that fails
// or ends early only means that what they look for is not there.
bool read_whole_at(int fd, std::uint64_t offset, std::span<char> out);

// The most pieces one `preadv` or `writev` takes: the system's limit. The loops below hand
// longer lists over in calls of this many; a caller that gathers pieces for one call keeps to it.
inline constexpr std::size_t kMostPiecesPerCall = IOV_MAX;

// Reads as `read_at` does into `pieces`, filled in order (their bases and lengths are used up as
// they fill); returns the bytes read.
Result<std::uint64_t> read_pieces_at(int fd, std::uint64_t offset, std::span<iovec> pieces);

// Writes all of `bytes` at `offset`, or at the file's position when no offset is given.
Result<void> write_all(int fd, std::string_view bytes,
                       std::optional<std::uint64_t> offset = std::nullopt);

// Writes all of `pieces`, in order, at the file's position, in as few calls as the system allows
// (their bases and lengths are used up as they go).
Result<void> write_pieces(int fd, std::span<iovec> pieces);

// How two files let the kernel copy between them, as far as one has tried: what the files
// refused once is not tried again.
enum class KernelCopy : std::uint8_t { CopyFileRange, Sendfile, Unavailable };

// Copies up to `length` bytes of `in` from `offset` to `out` at its position, inside the kernel:
// `copy_file_range` where the two files allow it, `sendfile` where they do not (another file
// system). Returns the bytes copied: fewer than `length` when the input ended (`way` still
// available) or when neither way works between the files (`way` is then `Unavailable`).
Result<std::uint64_t> copy_in_kernel(int in, std::uint64_t offset, int out, std::uint64_t length,
                                     KernelCopy& way);

// Copies up to `length` bytes of `in` from `offset` to `out` at its position, inside the kernel
// where it can and through a buffer where it cannot; returns the bytes copied, fewer than
// `length` only when the input ended first.
Result<std::uint64_t> copy_range(int in, std::uint64_t offset, int out, std::uint64_t length);

}  // namespace pelvane
