// Opening the files an operation reads by path: the input package, and the image, movie, poster,
// icon and object files that become parts of the output.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "core/base/error.hpp"
#include "core/base/owned_fd.hpp"

namespace pelvane {

// The largest entry a package without ZIP64 records can hold: a 32-bit size field holding
// 0xFFFFFFFF means "see the ZIP64 record", so the largest size stated in that field is one less.
inline constexpr std::uint64_t kMaxStoredEntrySize = 0xFFFFFFFEu;

// `Io` "{0} changed while it was read", {0} the path of a file read only up to the size it had
// when it was opened, which then ended before that size.
PelvaneError changed_while_read(std::string_view path);
// `changed_while_read(path)` when the file open as `fd` is now shorter than `size`, the size it
// had when it was opened: whatever lay past its new end is gone, and a reader that looked for it
// found nothing. None while it is not.
std::optional<PelvaneError> changed_since_opened(int fd, std::uint64_t size, std::string_view path);

// A file opened for reading by a path the caller gave; closed when it goes.
//
// The path must name a regular file once symbolic links are followed. The file is opened
// without waiting (O_NONBLOCK, O_NOCTTY) and examined before a byte is read, so a FIFO without
// a writer cannot hold the call and a device cannot feed it without end: a FIFO, a device or a
// socket is `Io` "{0} is not a regular file" ({0} the path as given). A directory is `Io` with
// the operating system's message for reading one ("Is a directory"); a path that cannot be
// opened is `Io` with the operating system's message, and a path holding a NUL byte is refused
// as `check_path` says.
//
// A file is read up to the size it had when it was opened and no further, through this one
// descriptor: a file that never ends (a regular file of the process file system reports size 0
// and yields bytes without end) or that another process keeps extending is read as it was, and
// a path replaced meanwhile is never read. A file that reports size 0 reads as empty.
class InputFile {
 public:
  static Result<InputFile> open(std::string_view path);

  int fd() const { return fd_.get(); }
  // The file's size when it was opened: every read stops there.
  std::uint64_t size() const { return size_; }
  // `Io` "{0} changed while it was read" ({0} the path as given): the file ended before that size.
  PelvaneError changed() const { return changed_while_read(path_); }
  // The path as given.
  const std::string& path() const { return path_; }
  // Hands the descriptor over to the caller, who closes it.
  int release() { return fd_.release(); }

 private:
  InputFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}

  OwnedFd fd_;
  std::string path_;
  std::uint64_t size_ = 0;
};

// The bytes of a file that becomes one entry of a package, read whole (up to its size when it was
// opened), after `InputFile::open` has checked it. A file larger than an entry can hold
// (`kMaxStoredEntrySize`) is `Io` "{0} is too large to store in a package" before anything is
// read; one that ends before its size is `InputFile::changed`. A read failure is `Io` with the
// operating system's message.
Result<std::string> read_file_bytes(std::string_view path);

}  // namespace pelvane
