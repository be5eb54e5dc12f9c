#include "core/base/file_input.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "core/base/file_output.hpp"
#include "core/base/string_room.hpp"
#include "core/base/system_io.hpp"

namespace pelvane {
namespace {

PelvaneError not_regular(std::string_view path) {
  return PelvaneError::io(std::string(path) + " is not a regular file");
}

PelvaneError too_large(std::string_view path) {
  return PelvaneError::io(std::string(path) + " is too large to store in a package");
}

// Whether `path` names something that exists and is neither a regular file nor a directory.
// Asked only after opening failed: a socket cannot be opened at all, and a device without a
// driver fails to open, but both deserve the same answer as a FIFO.
bool names_special_file(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode);
}

}  // namespace

Result<InputFile> InputFile::open(std::string_view path) {
  PELVANE_TRY_VOID(check_path(path));
  const std::string owned(path);
  const int fd = ::open(owned.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (names_special_file(owned)) return fail(not_regular(path));
    return fail(os_error(error));
  }
  InputFile file(fd, owned);
  struct stat status;
  if (::fstat(fd, &status) != 0) return fail(os_error(errno));
  if (S_ISDIR(status.st_mode)) return fail(os_error(EISDIR));
  if (!S_ISREG(status.st_mode)) return fail(not_regular(path));
  file.size_ = static_cast<std::uint64_t>(status.st_size);
  // Reads of a regular file never wait: the flag, which only served the opening, stays.
  return file;
}

PelvaneError changed_while_read(std::string_view path) {
  return PelvaneError::io(std::string(path) + " changed while it was read");
}

std::optional<PelvaneError> changed_since_opened(int fd, std::uint64_t size,
                                                 std::string_view path) {
  struct stat status;
  if (::fstat(fd, &status) != 0 || static_cast<std::uint64_t>(status.st_size) >= size)
    return std::nullopt;
  return changed_while_read(path);
}

Result<std::string> read_file_bytes(std::string_view path) {
  const InputFile file = PELVANE_TRY(InputFile::open(path));
  if (file.size() > kMaxStoredEntrySize) return fail(too_large(path));
  std::string bytes;
  grow_unwritten(bytes, static_cast<std::size_t>(file.size()));
  const std::size_t got = PELVANE_TRY(read_at(file.fd(), 0, bytes));
  if (got < bytes.size()) return fail(file.changed());
  return bytes;
}

}  // namespace pelvane
