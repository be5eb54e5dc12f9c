#include "core/base/file_output.hpp"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

namespace pelvane {
namespace {

// Bytes moved per call when copying between descriptors with read and write.
constexpr std::size_t kCopyChunk = std::size_t{1} << 20;
// The temporary file's name must stay within the usual 255-byte limit of one name.
constexpr std::size_t kMaxStemInTempName = 160;

PelvaneError io_errno(int error_number) { return PelvaneError::io(os_error_message(error_number)); }

Result<void> write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return fail(io_errno(errno));
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return {};
}

std::string random_suffix() {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  unsigned char random[8] = {};
  if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random)) {
    // Fall back on values that differ between processes and calls; O_EXCL settles collisions.
    static thread_local unsigned counter = 0;
    const auto seed = static_cast<unsigned long>(::getpid()) * 2654435761UL + ++counter +
                      reinterpret_cast<std::uintptr_t>(&counter);
    for (std::size_t i = 0; i < sizeof random; ++i)
      random[i] = static_cast<unsigned char>(seed >> (i * 7));
  }
  std::string suffix;
  for (unsigned char byte : random) suffix += kAlphabet[byte % (sizeof kAlphabet - 1)];
  return suffix;
}

}  // namespace

Result<void> check_path(std::string_view path) {
  if (path.find('\0') != std::string_view::npos) {
    return fail(PelvaneError::io("file name contained an unexpected NUL byte"));
  }
  return {};
}

std::string os_error_message(int error_number) {
  return std::error_code(error_number, std::generic_category()).message();
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
  PELVANE_TRY_VOID(check_path(output_path));
  const std::filesystem::path output(output_path);
  std::string stem = output.filename().string();
  if (stem.size() > kMaxStemInTempName) stem.resize(kMaxStemInTempName);
  const std::filesystem::path directory = output.parent_path();
  // Mode 0666 lets the kernel apply the process's file-creation mask, as for any new file;
  // O_EXCL makes sure an existing file is never opened by accident.
  for (int attempt = 0;; ++attempt) {
    std::filesystem::path temp = directory / ("." + stem + "." + random_suffix() + ".tmp");
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return AtomicOutputFile(fd, std::string(output_path), temp.string());
    if (errno == EEXIST && attempt < 100) continue;
    return fail(io_errno(errno));
  }
}

AtomicOutputFile::AtomicOutputFile(int fd, std::string output_path, std::string temp_path)
    : fd_(fd), output_path_(std::move(output_path)), temp_path_(std::move(temp_path)) {}

AtomicOutputFile::AtomicOutputFile(AtomicOutputFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      committed_(std::exchange(other.committed_, true)),
      output_path_(std::move(other.output_path_)),
      temp_path_(std::move(other.temp_path_)) {}

AtomicOutputFile& AtomicOutputFile::operator=(AtomicOutputFile&& other) noexcept {
  if (this != &other) {
    discard();
    fd_ = std::exchange(other.fd_, -1);
    committed_ = std::exchange(other.committed_, true);
    output_path_ = std::move(other.output_path_);
    temp_path_ = std::move(other.temp_path_);
  }
  return *this;
}

AtomicOutputFile::~AtomicOutputFile() { discard(); }

void AtomicOutputFile::discard() noexcept {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!committed_ && !temp_path_.empty()) ::unlink(temp_path_.c_str());
  committed_ = true;
}

Result<void> AtomicOutputFile::copy_from_fd(int input_fd) {
  if (fd_ < 0) return fail(PelvaneError::io("output file is already closed"));
  // The kernel copies without passing the bytes through this process where it can.
  bool kernel_copy = true;
  while (kernel_copy) {
    const ssize_t copied = ::copy_file_range(input_fd, nullptr, fd_, nullptr, kCopyChunk * 64, 0);
    if (copied == 0) return {};
    if (copied > 0) continue;
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
        errno == EPERM || errno == ETXTBSY) {
      kernel_copy = false;
    } else {
      return fail(io_errno(errno));
    }
  }
  std::string chunk(kCopyChunk, '\0');
  for (;;) {
    const ssize_t got = ::read(input_fd, chunk.data(), chunk.size());
    if (got < 0) {
      if (errno == EINTR) continue;
      return fail(io_errno(errno));
    }
    if (got == 0) return {};
    PELVANE_TRY_VOID(write_all(fd_, std::string_view(chunk.data(), static_cast<std::size_t>(got))));
  }
}

Result<void> AtomicOutputFile::commit() {
  if (fd_ < 0) return fail(PelvaneError::io("output file is already closed"));
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0 && errno != EINTR) return fail(io_errno(errno));
  if (::rename(temp_path_.c_str(), output_path_.c_str()) != 0) return fail(io_errno(errno));
  committed_ = true;
  return {};
}

}  // namespace pelvane
