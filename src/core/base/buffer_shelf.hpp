// Large buffers that a thread keeps from one call to the next.
//
// An edit of a package of many parts allocates a few buffers of a hundred kilobytes to a
// megabyte (the central directory read and the one written, the entry table, the presentation's
// text) and frees them all when it returns. The allocator then hands the top of its heap back to
// the system, and the next call touches every page of the same buffers afresh, each touch a page
// fault that costs more than most of the work done on that page. A buffer given back to its
// shelf keeps its storage for the next take of a similar size on the same thread instead.
//
// What a thread keeps is bounded: a buffer of less than 64 KiB (which the allocator serves from
// its free lists anyway) or of more than 4 MiB is released rather than kept, at most eight
// buffers of one type are kept for one use, and at most 8 MiB in all: a thread that has edited
// a package holds at most that much more than one that has not.
#pragma once

#include <array>
#include <cstddef>
#include <utility>

namespace pelvane {

namespace shelf_detail {
// Bytes kept by this thread over the shelves of every buffer type.
inline thread_local std::size_t kept_bytes = 0;
}  // namespace shelf_detail

// Which uses share one shelf. Texts written out (an edit's new parts) live from their building
// to the end of the call, beside the texts read and the writer's buffers, which follow one
// another: kept apart, neither takes the other's buffers and leaves its own uses without. So do
// the names gathered while the texts are read (the presentation's relationship targets).
enum class ShelfUse { Working, WrittenText, GatheredNames };

// The kept buffers of one type (a `std::string` or `std::vector`) of this thread, for one use.
template <class Buffer, ShelfUse Use = ShelfUse::Working>
class BufferShelf {
 public:
  static constexpr std::size_t kLeastKeptBytes = std::size_t{64} << 10;
  static constexpr std::size_t kMostKeptBytes = std::size_t{4} << 20;
  static constexpr std::size_t kMostKeptAll = std::size_t{8} << 20;
  static constexpr std::size_t kMostKeptCount = 8;

  // An empty buffer with room for `size` elements: the smallest kept buffer that has that room,
  // else a new one. When none has the room, the largest kept one is released as the new one is
  // made: a buffer given back earlier in the same call then does not lie idle beside the new one,
  // so that a call never holds more than it would without the shelf.
  static Buffer take(std::size_t size) {
    Buffer buffer;
    if (size * sizeof(typename Buffer::value_type) >= kLeastKeptBytes) {
      Slots& slots = kept();
      Buffer* best = nullptr;
      for (Buffer& slot : slots) {
        if (slot.capacity() >= size && (best == nullptr || slot.capacity() < best->capacity()))
          best = &slot;
      }
      if (best == nullptr) {
        for (Buffer& slot : slots) {
          if (bytes_of(slot) > 0 && (best == nullptr || slot.capacity() > best->capacity()))
            best = &slot;
        }
      }
      if (best != nullptr) {
        shelf_detail::kept_bytes -= bytes_of(*best);
        buffer = std::exchange(*best, Buffer());
        // Released before the new one is made: a string grown in place would double its room
        // (and one assigned an empty string keeps its storage).
        if (buffer.capacity() < size) Buffer().swap(buffer);
      }
    }
    buffer.reserve(size);
    return buffer;
  }

  // Keeps the storage of `buffer` (its content is dropped) when it is within the bounds, in
  // place of the smallest buffer kept when there is no free place and it is larger.
  static void give_back(Buffer&& buffer) {
    const std::size_t bytes = bytes_of(buffer);
    if (bytes < kLeastKeptBytes || bytes > kMostKeptBytes) return;
    Slots& slots = kept();
    Buffer* place = &slots[0];
    for (Buffer& slot : slots) {
      if (slot.capacity() < place->capacity()) place = &slot;
    }
    const std::size_t replaced = bytes_of(*place);
    if (replaced >= bytes || shelf_detail::kept_bytes - replaced + bytes > kMostKeptAll) return;
    buffer.clear();
    shelf_detail::kept_bytes = shelf_detail::kept_bytes - replaced + bytes;
    *place = std::move(buffer);
  }

 private:
  using Slots = std::array<Buffer, kMostKeptCount>;
  static Slots& kept() {
    thread_local Slots slots;
    return slots;
  }
  // The bytes of a buffer's storage; 0 for the small room of an empty string.
  static std::size_t bytes_of(const Buffer& buffer) {
    const std::size_t bytes = buffer.capacity() * sizeof(typename Buffer::value_type);
    return bytes < kLeastKeptBytes ? 0 : bytes;
  }
};

// The shelf of the texts an edit writes out.
using WrittenTextShelf = BufferShelf<std::string, ShelfUse::WrittenText>;

// A buffer taken from its shelf for as long as this object lives, then given back.
template <class Buffer>
class ShelvedBuffer {
 public:
  ShelvedBuffer() = default;
  explicit ShelvedBuffer(std::size_t size) : buffer_(BufferShelf<Buffer>::take(size)) {}
  // Takes charge of a buffer allocated elsewhere, to give it back in its turn.
  explicit ShelvedBuffer(Buffer&& buffer) : buffer_(std::move(buffer)) {}
  ShelvedBuffer(ShelvedBuffer&& other) noexcept : buffer_(std::exchange(other.buffer_, Buffer())) {}
  ShelvedBuffer& operator=(ShelvedBuffer&& other) noexcept {
    if (this != &other) {
      BufferShelf<Buffer>::give_back(std::move(buffer_));
      buffer_ = std::exchange(other.buffer_, Buffer());
    }
    return *this;
  }
  ~ShelvedBuffer() { BufferShelf<Buffer>::give_back(std::move(buffer_)); }

  Buffer& operator*() { return buffer_; }
  const Buffer& operator*() const { return buffer_; }
  Buffer* operator->() { return &buffer_; }
  const Buffer* operator->() const { return &buffer_; }

 private:
  Buffer buffer_;
};

}  // namespace pelvane
