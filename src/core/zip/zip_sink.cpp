#include "core/zip/zip_sink.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace pelvane {

namespace {

constexpr std::size_t kFileBufferSize = 4 * 1024 * 1024;
constexpr std::uint64_t kKernelCopyAlignment = 64 * 1024;
constexpr std::uint64_t kKernelCopyMinimum = 1024 * 1024;

PelvaneError io_error_from_errno(std::string_view what) {
  return PelvaneError::io(std::string(what) + ": " + std::generic_category().message(errno));
}

// Writes all of `bytes` at `offset`, or at the current position when `offset` is negative.
Result<void> write_fully(int fd, std::string_view bytes, off_t offset) {
  while (!bytes.empty()) {
    ssize_t written = offset < 0 ? ::write(fd, bytes.data(), bytes.size())
                                 : ::pwrite(fd, bytes.data(), bytes.size(), offset);
    if (written < 0) {
      if (errno == EINTR) continue;
      return fail(io_error_from_errno("cannot write output"));
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
    if (offset >= 0) offset += written;
  }
  return {};
}

}  // namespace

Result<void> MemoryZipSink::write(std::string_view bytes) {
  buffer_.append(bytes);
  return {};
}

Result<void> MemoryZipSink::patch(std::uint64_t offset, std::string_view bytes) {
  if (offset > buffer_.size() || bytes.size() > buffer_.size() - offset)
    return fail(PelvaneError::zip("patch outside the written archive"));
  std::memcpy(buffer_.data() + offset, bytes.data(), bytes.size());
  return {};
}

FileZipSink::FileZipSink(int fd) : fd_(fd) {
  off_t position = ::lseek(fd_, 0, SEEK_CUR);
  start_ = position < 0 ? 0 : static_cast<std::uint64_t>(position);
  buffer_.reserve(kFileBufferSize);
}

Result<void> FileZipSink::write(std::string_view bytes) {
  if (buffer_.size() + bytes.size() > kFileBufferSize) {
    PELVANE_TRY_VOID(flush());
    if (bytes.size() >= kFileBufferSize) {
      // Large blocks go straight to the file.
      PELVANE_TRY_VOID(write_fully(fd_, bytes, -1));
      flushed_ += bytes.size();
      return {};
    }
  }
  buffer_.append(bytes);
  return {};
}

Result<void> FileZipSink::patch(std::uint64_t offset, std::string_view bytes) {
  if (offset >= flushed_) {
    std::uint64_t in_buffer = offset - flushed_;
    if (in_buffer > buffer_.size() || bytes.size() > buffer_.size() - in_buffer)
      return fail(PelvaneError::zip("patch outside the written archive"));
    std::memcpy(buffer_.data() + in_buffer, bytes.data(), bytes.size());
    return {};
  }
  if (offset + bytes.size() > flushed_) PELVANE_TRY_VOID(flush());
  return write_fully(fd_, bytes, static_cast<off_t>(start_ + offset));
}

namespace {

// Appends `length` bytes of `fd` from `offset` through a buffer.
template <class Append>
Result<void> copy_through_memory(int fd, std::uint64_t offset, std::uint64_t length,
                                 Append&& append) {
  std::string chunk(static_cast<std::size_t>(std::min<std::uint64_t>(length, 1u << 20)), '\0');
  while (length > 0) {
    std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(length, chunk.size()));
    ssize_t got = ::pread(fd, chunk.data(), wanted, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return fail(io_error_from_errno("cannot read input"));
    if (got == 0) return fail(PelvaneError::io("input ended before the entry's data"));
    PELVANE_TRY_VOID(append(std::string_view(chunk.data(), static_cast<std::size_t>(got))));
    offset += static_cast<std::uint64_t>(got);
    length -= static_cast<std::uint64_t>(got);
  }
  return {};
}

}  // namespace

Result<void> MemoryZipSink::copy_from_file(int fd, std::uint64_t offset, std::uint64_t length) {
  return copy_through_memory(fd, offset, length,
                             [&](std::string_view bytes) { return write(bytes); });
}

Result<void> FileZipSink::copy_from_file(int fd, std::uint64_t offset, std::uint64_t length) {
  // The kernel copies a long span much faster when it starts writing on a 64 KiB boundary of
  // the output (where the page cache can use its large pages); the bytes before that boundary
  // go through the buffer.
  const std::uint64_t position_in_output = start_ + flushed_ + buffer_.size();
  const std::uint64_t head =
      (kKernelCopyAlignment - position_in_output % kKernelCopyAlignment) % kKernelCopyAlignment;
  if (length >= kKernelCopyMinimum && head > 0) {
    PELVANE_TRY_VOID(copy_through_memory(fd, offset, head,
                                         [&](std::string_view bytes) { return write(bytes); }));
    offset += head;
    length -= head;
  }
  PELVANE_TRY_VOID(flush());
  auto position = static_cast<off_t>(offset);
  std::uint64_t remaining = length;
  while (remaining > 0) {
    ssize_t copied = ::copy_file_range(fd, &position, fd_, nullptr, remaining, 0);
    if (copied > 0) {
      remaining -= static_cast<std::uint64_t>(copied);
      flushed_ += static_cast<std::uint64_t>(copied);
      continue;
    }
    if (copied < 0 && errno == EINTR) continue;
    if (copied == 0) return fail(PelvaneError::io("input ended before the entry's data"));
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
        errno == EPERM || errno == ETXTBSY) {
      // Not possible between these files: through memory instead.
      return copy_through_memory(fd, static_cast<std::uint64_t>(position), remaining,
                                 [&](std::string_view bytes) -> Result<void> {
                                   PELVANE_TRY_VOID(write_fully(fd_, bytes, -1));
                                   flushed_ += bytes.size();
                                   return {};
                                 });
    }
    return fail(io_error_from_errno("cannot copy input to output"));
  }
  return {};
}

Result<void> FileZipSink::flush() {
  if (buffer_.empty()) return {};
  PELVANE_TRY_VOID(write_fully(fd_, buffer_, -1));
  flushed_ += buffer_.size();
  buffer_.clear();
  return {};
}

}  // namespace pelvane
