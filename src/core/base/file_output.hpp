// Paths and output files shared by every operation that writes a file.
//
// Outputs are never written in place: bytes go to a temporary file in the output's own
// directory, which is renamed over the output only once it is complete. A failed write leaves
// no partial file behind, and an output that names the input cannot destroy the input before
// it has been read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/base/owned_fd.hpp"

namespace pelvane {

// Refuses a path holding a NUL byte, which the operating system would silently cut short and
// so read or write another file. Every operation that takes a path calls this first.
Result<void> check_path(std::string_view path);

// The file a write to `output_path` replaces: the path itself or, when it names a symbolic link,
// the file the link leads to (links followed as opening the path for writing follows them; a
// dangling link leads to the file it names, which the write then creates). An existing file
// there that is neither a regular file nor a directory (a device, a FIFO, a socket) is `Io`
// "output {0} is not a regular file", {0} the path as given: renaming over it would replace
// the special file itself. A path ending in "/" is `InvalidInput` "output {0} names a folder".
// Operations that write check their output with this before anything is read, written or
// created.
Result<std::string> resolve_output_path(std::string_view output_path);

// Creates the parent directory of `output_path` and every missing ancestor (0777 before the
// process's file-creation mask). Does nothing when the path has no parent component.
Result<void> create_parent_directories(std::string_view output_path);

// A new file written beside the file `output_path` names (after `resolve_output_path`) and
// renamed over it by `commit`; both are named relative to a descriptor of their folder, so any
// output path the system accepts is accepted, however close to its length limit. When that file
// exists, the new one takes its permission bits and, where the process may, its owner and group;
// otherwise it is created with permissions 0666 before the file-creation mask. Without a
// successful commit the temporary file is removed when the object is destroyed and the output is
// left untouched.
class AtomicOutputFile {
 public:
  static Result<AtomicOutputFile> create(std::string_view output_path);

  AtomicOutputFile(AtomicOutputFile&& other) noexcept;
  AtomicOutputFile& operator=(AtomicOutputFile&& other) noexcept;
  AtomicOutputFile(const AtomicOutputFile&) = delete;
  AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;
  ~AtomicOutputFile();

  // The descriptor of the temporary file, which the caller writes through.
  int fd() const { return fd_.get(); }
  // The file the commit replaces: the output path with its symbolic links followed.
  const std::string& output_path() const { return output_path_; }

  // Appends the first `length` bytes of the file `input_fd`; returns the bytes copied, fewer
  // only when that file ended first.
  Result<std::uint64_t> copy_from(int input_fd, std::uint64_t length);
  // Closes the temporary file and renames it over the output.
  Result<void> commit();

 private:
  AtomicOutputFile(OwnedFd fd, OwnedFd directory, std::string output_path, std::string output_name,
                   std::string temp_name);
  void discard() noexcept;

  OwnedFd fd_;
  OwnedFd directory_;  // the output's folder, which both names below are relative to
  bool committed_ = false;
  std::string output_path_;
  std::string output_name_;
  std::string temp_name_;
};

}  // namespace pelvane
