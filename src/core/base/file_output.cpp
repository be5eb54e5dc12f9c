#include "core/base/file_output.hpp"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <system_error>
#include <utility>

#include "core/base/system_io.hpp"

namespace pelvane {
namespace {

// The temporary file is named relative to a descriptor of the output's folder, so only the
// length of the name itself counts; a short one fits wherever the output's own name fits.
constexpr std::size_t kMaxStemInTempName = 32;
// Symbolic links followed before giving up, as the kernel does when it opens a path.
constexpr int kMaxLinkHops = 40;

std::string random_suffix() {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char random[8] = {};
  if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    // Fall back on values that differ between processes and calls; O_EXCL settles collisions.
    // Shared by every thread rather than thread-local: a thread-local variable of a loaded
    // module is allocated on a thread's first use, and that allocation, unlike any other here,
    // ends the process when memory is exhausted.
    static std::atomic<unsigned> counter = 0;
    const auto seed = static_cast<unsigned long>(::getpid()) * 2654435761UL + ++counter +
                      reinterpret_cast<std::uintptr_t>(&counter);
    for (std::size_t i = 0; i < sizeof random; ++i)
      random[i] = static_cast<unsigned char>(seed >> (i * 7));
  }
  std::string suffix;
  for (unsigned char byte : random) suffix += kAlphabet[byte % (sizeof kAlphabet - 1)];
  return suffix;
}

// The file a write to the output replaces, and its status when it exists.
struct OutputTarget {
  std::filesystem::path path;
  std::optional<struct stat> existing;
};

Result<OutputTarget> output_target(std::string_view output_path) {
  PELVANE_TRY_VOID(check_path(output_path));
  // A path ending in a slash names a folder, which no file can replace: refused before any
  // folder on its way is created.
  if (output_path.ends_with('/'))
    return fail(
        PelvaneError::invalid_input("output " + std::string(output_path) + " names a folder"));
  std::filesystem::path path(output_path);
  struct stat status {};
  for (int hops = 0;; ++hops) {
    // A path that cannot be examined is left to the write, which reports why it fails.
    if (::lstat(path.c_str(), &status) != 0) return OutputTarget{std::move(path), std::nullopt};
    if (!S_ISLNK(status.st_mode)) break;
    if (hops == kMaxLinkHops) return fail(os_error(ELOOP));
    std::error_code error;
    std::filesystem::path target = std::filesystem::read_symlink(path, error);
    if (error) return fail(PelvaneError::io(error.message()));
    path = target.is_absolute() ? std::move(target) : path.parent_path() / target;
  }
  if (!S_ISREG(status.st_mode) && !S_ISDIR(status.st_mode))
    return fail(PelvaneError::io("output " + std::string(output_path) + " is not a regular file"));
  return OutputTarget{std::move(path), status};
}

// Gives the new file the owner, group and permission bits of the file it replaces. Changing the
// owner needs privileges and the group a membership: failing that, the file stays the caller's.
// The owner goes first, since a change of owner clears the set-user-id and set-group-id bits.
Result<void> take_over_file_status(int fd, const struct stat& existing) {
  if (::fchown(fd, existing.st_uid, existing.st_gid) != 0)
    (void)::fchown(fd, static_cast<uid_t>(-1), existing.st_gid);
  if (::fchmod(fd, existing.st_mode & 07777) != 0) return fail(os_error(errno));
  return {};
}

}  // namespace

Result<std::string> resolve_output_path(std::string_view output_path) {
  OutputTarget target = PELVANE_TRY(output_target(output_path));
  return target.path.string();
}

Result<void> check_path(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) {
    return fail(PelvaneError::io("file name contained an unexpected NUL byte"));
  }
  return {};
}

Result<void> create_parent_directories(std::string_view output_path) {
  PELVANE_TRY_VOID(check_path(output_path));
  const std::filesystem::path parent = std::filesystem::path(output_path).parent_path();
  if (parent.empty()) return {};
  std::error_code error;
  std::filesystem::create_directories(parent, error);
  if (error) return fail(PelvaneError::io(error.message()));
  return {};
}

Result<AtomicOutputFile> AtomicOutputFile::create(std::string_view output_path) {
  OutputTarget target = PELVANE_TRY(output_target(output_path));
  const bool replaces_file = target.existing && S_ISREG(target.existing->st_mode);
  std::string name = target.path.filename().string();
  // A symbolic link whose target ends in a slash names a folder, and an empty path no file at
  // all: neither is a file to replace.
  if (name.empty()) return fail(os_error(target.existing ? EISDIR : ENOENT));
  // The folder is opened once and every name below is taken relative to it: the temporary
  // file's full path may be longer than the system accepts even when the output's is not.
  const std::filesystem::path parent = target.path.parent_path();
  const int directory_fd =
      ::open(parent.empty() ? "." : parent.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (directory_fd < 0) return fail(os_error(errno));
  OwnedFd directory(directory_fd);
  const std::string_view stem = std::string_view(name).substr(0, kMaxStemInTempName);
  // A new output gets mode 0666 less the process's file-creation mask, as any new file; one
  // that replaces a file starts from that file's bits, so that it is never more open than the
  // file even before they are copied exactly. O_EXCL makes sure an existing file is never
  // opened by accident.
  const mode_t mode = replaces_file ? target.existing->st_mode & 0777 : 0666;
  for (int attempt = 0;; ++attempt) {
    std::string temp(".");
    temp.append(stem).append(".").append(random_suffix()).append(".tmp");
    const int fd =
        ::openat(directory.get(), temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd >= 0) {
      AtomicOutputFile file(OwnedFd(fd), std::move(directory), target.path.string(),
                            std::move(name), std::move(temp));
      if (replaces_file) PELVANE_TRY_VOID(take_over_file_status(fd, *target.existing));
      return file;
    }
    if (errno == EEXIST && attempt < 100) continue;
    return fail(os_error(errno));
  }
}

AtomicOutputFile::AtomicOutputFile(OwnedFd fd, OwnedFd directory, std::string output_path,
                                   std::string output_name, std::string temp_name)
    : fd_(std::move(fd)),
      directory_(std::move(directory)),
      output_path_(std::move(output_path)),
      output_name_(std::move(output_name)),
      temp_name_(std::move(temp_name)) {}

AtomicOutputFile::AtomicOutputFile(AtomicOutputFile&& other) noexcept
    : fd_(std::move(other.fd_)),
      directory_(std::move(other.directory_)),
      committed_(std::exchange(other.committed_, true)),
      output_path_(std::move(other.output_path_)),
      output_name_(std::move(other.output_name_)),
      temp_name_(std::move(other.temp_name_)) {}

AtomicOutputFile& AtomicOutputFile::operator=(AtomicOutputFile&& other) noexcept {
  if (this != &other) {
    discard();
    fd_ = std::move(other.fd_);
    directory_ = std::move(other.directory_);
    committed_ = std::exchange(other.committed_, true);
    output_path_ = std::move(other.output_path_);
    output_name_ = std::move(other.output_name_);
    temp_name_ = std::move(other.temp_name_);
  }
  return *this;
}

AtomicOutputFile::~AtomicOutputFile() { discard(); }

void AtomicOutputFile::discard() noexcept {
  fd_.reset();
  if (!committed_ && directory_.get() >= 0) ::unlinkat(directory_.get(), temp_name_.c_str(), 0);
  directory_.reset();
  committed_ = true;
}

Result<std::uint64_t> AtomicOutputFile::copy_from(int input_fd, std::uint64_t length) {
  if (fd_.get() < 0) return fail(PelvaneError::io("output file is already closed"));
  return copy_range(input_fd, 0, fd_.get(), length);
}

Result<void> AtomicOutputFile::commit() {
  if (fd_.get() < 0) return fail(PelvaneError::io("output file is already closed"));
  const int fd = fd_.release();
  if (::close(fd) != 0 && errno != EINTR) return fail(os_error(errno));
  if (::renameat(directory_.get(), temp_name_.c_str(), directory_.get(), output_name_.c_str()) != 0)
    return fail(os_error(errno));
  committed_ = true;
  directory_.reset();
  return {};
}

}  // namespace pelvane
