// The archive's bytes as the stored headers read them (stored_headers.cpp and
// local_headers.cpp share this reading).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/base/string_room.hpp"
#include "core/base/system_io.hpp"

namespace pelvane {

// The `length` bytes at `at` of `bytes`, which the caller knows to hold them (a whole header
// or window), without the check and the exception of `substr`.
inline std::string_view known_part(std::string_view bytes, std::size_t at, std::size_t length) {
  return std::string_view(bytes.data() + at, length);
}

// Random access to the archive's bytes: a file (not owned) or a buffer.
class ArchiveSource {
 public:
  explicit ArchiveSource(std::string_view bytes) : bytes_(bytes), size_(bytes.size()) {}
  ArchiveSource(int fd, std::uint64_t size) : fd_(fd), size_(size) {}

  std::uint64_t size() const { return size_; }
  // True when the bytes are in memory, where views of them stay valid as long as the headers.
  bool in_memory() const { return fd_ < 0; }

  // The `length` bytes at `offset`, in place, when the bytes are in memory and hold them all.
  std::optional<std::string_view> view(std::uint64_t offset, std::uint64_t length) const {
    if (!in_memory() || offset > size_ || length > size_ - offset) return std::nullopt;
    return known_part(bytes_, offset, length);
  }

  // Exactly `length` bytes at `offset`: in place when the bytes are in memory, else read into
  // `storage` (where they agree with `offset` modulo `kCopyAlignment`, so that a long read runs
  // at full speed: string_room.hpp); none when they are not all there.
  std::optional<std::string_view> get(std::uint64_t offset, std::uint64_t length,
                                      std::string& storage) const {
    if (in_memory()) return view(offset, length);
    if (offset > size_ || length > size_ - offset) return std::nullopt;
    const std::span<char> room = grow_unwritten_agreeing(storage, length, offset);
    if (!read_whole_at(fd_, offset, room)) return std::nullopt;
    return std::string_view(room.data(), room.size());
  }

  // Exactly `length` bytes at `offset`, or none.
  std::optional<std::string> read(std::uint64_t offset, std::uint64_t length) const {
    std::string storage;
    const auto bytes = get(offset, length, storage);
    return bytes ? std::optional<std::string>(*bytes) : std::nullopt;
  }

 private:
  int fd_ = -1;
  std::string_view bytes_;
  std::uint64_t size_ = 0;
};

}  // namespace pelvane
