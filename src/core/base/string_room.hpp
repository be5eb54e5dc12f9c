// Room in a string for bytes about to be written over, without clearing it first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace pelvane {

// Sets `text` to `size` bytes, those past its old size left as they are; the caller overwrites
// them before they are read, or cuts them off. The room is reserved first: when a string has to
// grow inside `resize_and_overwrite`, GCC 12's library sets it to the grown capacity instead of
// the size asked for.
inline void grow_unwritten(std::string& text, std::size_t size) {
  text.reserve(size);
  text.resize_and_overwrite(size, [](char*, std::size_t length) { return length; });
}

// Copies of many bytes (a read into memory, a write from it, `memcpy`) run up to several times
// slower on some processors when the destination lies 1 to 15 bytes past the source modulo 64:
// their string-copy instruction then splits nearly every cache line twice. A buffer that a large
// read or copy lands in therefore places its bytes where they agree with their source modulo
// `kCopyAlignment`, leaving the few bytes before them unused.
inline constexpr std::size_t kCopyAlignment = 64;

// True when a copy from `source` to `destination` (addresses, or file offsets) falls in that
// slow range.
inline bool is_slow_copy(std::uint64_t destination, std::uint64_t source) {
  const std::uint64_t ahead = (destination - source) % kCopyAlignment;
  return ahead != 0 && ahead < 16;
}

// `size` unwritten bytes of `text` (as `grow_unwritten` leaves them) whose address agrees with
// `source` modulo `kCopyAlignment`; `text` holds the lead before them too, less than that many
// bytes more.
inline std::span<char> grow_unwritten_agreeing(std::string& text, std::size_t size,
                                               std::uint64_t source) {
  // Reserved first, so that the address is the final one.
  text.reserve(size + kCopyAlignment - 1);
  const auto address = reinterpret_cast<std::uintptr_t>(text.data());
  const std::size_t lead = (source - address) % kCopyAlignment;
  grow_unwritten(text, lead + size);
  return std::span<char>(text.data() + lead, size);
}

}  // namespace pelvane
