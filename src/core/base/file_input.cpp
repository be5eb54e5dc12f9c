#include "core/base/file_input.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "core/base/file_output.hpp"

namespace pelvane {

Result<std::string> read_file_bytes(std::string_view path) {
  PELVANE_TRY_VOID(check_path(path));
  const int fd = ::open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return fail(PelvaneError::io(os_error_message(errno)));
  std::string bytes;
  int error = 0;
  struct stat status;
  if (::fstat(fd, &status) == 0) {
    if (S_ISDIR(status.st_mode))
      error = EISDIR;
    else if (status.st_size > 0)
      bytes.reserve(static_cast<std::size_t>(status.st_size));
  }
  // Read to the end whatever the size said, so that a file that grows or shrinks meanwhile is
  // still read as it is.
  char chunk[64 * 1024];
  while (error == 0) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno != EINTR) error = errno;
      continue;
    }
    if (got == 0) break;
    bytes.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(fd);
  if (error != 0) return fail(PelvaneError::io(os_error_message(error)));
  return bytes;
}

}  // namespace pelvane
