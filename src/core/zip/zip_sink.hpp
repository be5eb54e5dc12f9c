// Where an archive's bytes go: a buffer in memory or a file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/base/error.hpp"

namespace pelvane {

// Where the archive's bytes go. `patch` overwrites bytes already written (the local header of
// an entry whose CRC-32 and sizes are known only after its data).
class ZipSink {
 public:
  virtual ~ZipSink() = default;
  virtual Result<void> write(std::string_view bytes) = 0;
  virtual Result<void> patch(std::uint64_t offset, std::string_view bytes) = 0;
  // Pushes buffered bytes to their destination.
  virtual Result<void> flush() = 0;
  // Appends `length` bytes read from the file `fd` at `offset`.
  virtual Result<void> copy_from_file(int fd, std::uint64_t offset, std::uint64_t length) = 0;
};

// Collects the archive in a byte buffer owned by the caller.
class MemoryZipSink final : public ZipSink {
 public:
  explicit MemoryZipSink(std::string& buffer) : buffer_(buffer) {}
  Result<void> write(std::string_view bytes) override;
  Result<void> patch(std::uint64_t offset, std::string_view bytes) override;
  Result<void> flush() override { return {}; }
  Result<void> copy_from_file(int fd, std::uint64_t offset, std::uint64_t length) override;

 private:
  std::string& buffer_;
};

// Writes the archive to an open file descriptor (not owned), from its current position, through
// a large buffer.
class FileZipSink final : public ZipSink {
 public:
  explicit FileZipSink(int fd);
  Result<void> write(std::string_view bytes) override;
  Result<void> patch(std::uint64_t offset, std::string_view bytes) override;
  Result<void> flush() override;
  // Copies inside the kernel where it can.
  Result<void> copy_from_file(int fd, std::uint64_t offset, std::uint64_t length) override;

 private:
  int fd_;
  std::uint64_t start_;        // file offset of the archive's first byte
  std::uint64_t flushed_ = 0;  // archive bytes already handed to the file
  std::string buffer_;
};

}  // namespace pelvane
