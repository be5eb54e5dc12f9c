// Opening the files an operation reads by path: the input package, and the image, movie, poster,
// icon and object files that become parts of the output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/base/owned_fd.hpp"

namespace pelvane {

// The largest entry a package without ZIP64 records can hold: a 32-bit size field holding
// 0xFFFFFFFF means "see the ZIP64 record", so the largest plain size is one less.
inline constexpr std::uint64_t kMaxStoredEntrySize = 0xFFFFFFFEu;

// A file opened for reading by a path the caller gave; closed when it goes.
//
// The path must name a regular file once symbolic links are followed. The file is opened
// without waiting (O_NONBLOCK, O_NOCTTY) and examined before a byte is read, so a FIFO without
// a writer cannot hold the call and a device cannot feed it without end: a FIFO, a device or a
// socket is `Io` "{0} is not a regular file" ({0} the path as given). A directory is `Io` with
// the operating system's message for reading one ("Is a directory"); a path that cannot be
// opened is `Io` with the operating system's message, and a path holding a NUL byte is refused
// as `check_path` says.
class InputFile {
 public:
  static Result<InputFile> open(std::string_view path);

  int fd() const { return fd_.get(); }
  // The file's size when it was opened.
  std::uint64_t size() const { return size_; }
  // Hands the descriptor over to the caller, who closes it.
  int release() { return fd_.release(); }

 private:
  InputFile(int fd, std::uint64_t size) : fd_(fd), size_(size) {}

  OwnedFd fd_;
  std::uint64_t size_ = 0;
};

// The bytes of a file that becomes one entry of a package, read whole, after `InputFile::open`
// has checked it. A file larger than an entry can hold (`kMaxStoredEntrySize`) is `Io`
// "{0} is too large to store in a package" before anything is read, and so is one that grows
// past that while it is read. A read failure is `Io` with the operating system's message.
Result<std::string> read_file_bytes(std::string_view path);

}  // namespace pelvane
