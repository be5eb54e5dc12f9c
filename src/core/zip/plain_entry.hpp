// The content of an entry of a plain archive file (stored_headers.hpp), read straight from the
// file (or taken from its bytes, when the stored headers hold them) and inflated here, without
// the archive library.
//
// These readers only ever deliver content that the library would deliver without complaint:
// compressed bytes of the stated size that inflate (or, stored, are) exactly to the stated size
// with the stated CRC-32. Anything else is not an error here but a stop: the caller then has
// the library read the entry and say what is wrong, in its own words.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pelvane {

class StoredEntryHeaders;

// The whole content of the entry at `index`: one read of its compressed bytes, one inflation.
// None when the headers do not show the entry to open, when it is larger than a whole read
// should hold, or when anything is off.
std::optional<std::string> read_plain_entry(const StoredEntryHeaders& headers, std::uint64_t index);
// The same from the entry's compressed bytes, which the caller read (`StoredBytesWindow`).
std::optional<std::string> read_plain_entry(const StoredEntryHeaders& headers, std::uint64_t index,
                                            std::string_view compressed);

// The compressed bytes of small entries read one after another: a read loads a window of the
// file from the entry's bytes on, which serves the entries that follow within it, so that a walk
// over neighbouring small entries costs one system call per window rather than one per entry.
// The local headers still unread that a window holds are settled from it; an entry whose own
// header is unread has its window loaded from that header on.
class StoredBytesWindow {
 public:
  explicit StoredBytesWindow(const StoredEntryHeaders& headers) : headers_(headers) {}

  // The compressed bytes of the entry at `index`, valid until the next call; none when the
  // headers do not show the entry to open or its bytes cannot be read.
  std::optional<std::string_view> compressed(std::uint64_t index);
  // When the local header of the entry at `index` is unread, loads a window from it on: one
  // read for the header, the bytes of a small entry and the entries that follow. A held file is
  // not read: its headers settle from its held bytes.
  void settle(std::uint64_t index);

 private:
  // Loads `length` bytes from `offset` on; false when they cannot all be read.
  bool load(std::uint64_t offset, std::uint64_t length);

  const StoredEntryHeaders& headers_;
  std::uint64_t start_ = 0;  // the file offset of `window_`
  std::string_view window_;  // the bytes read last, within `bytes_` past its lead
  std::string bytes_;
};

// The content of one entry in pieces: compressed bytes are read in blocks and inflated into
// the caller's buffer, so that an entry of any size streams through a fixed amount of memory.
class PlainEntryStream {
 public:
  // None when the headers do not show the entry to open.
  static std::optional<PlainEntryStream> open(const StoredEntryHeaders& headers,
                                              std::uint64_t index);

  PlainEntryStream(PlainEntryStream&&) noexcept;
  PlainEntryStream& operator=(PlainEntryStream&&) noexcept;
  ~PlainEntryStream();

  // The next bytes into the front of `buffer` (not empty); 0 once the whole content has been
  // delivered and found to inflate to its stated size and CRC-32. None at anything else: data
  // that does not inflate, inflates past or short of the stated size, leaves compressed bytes
  // over, cannot be read, or fails its CRC-32. After none, the stream is done with.
  std::optional<std::size_t> read(std::span<char> buffer);

 private:
  struct Inflater;  // zlib's inflation state (plain_entry.cpp)

  PlainEntryStream();
  // Reads the next block of compressed bytes; false when they cannot be read.
  bool refill();
  // Reads the next compressed bytes of a stored entry into `out`; false when they cannot be read.
  bool read_compressed(std::span<char> out);

  int fd_ = -1;
  const char* held_ = nullptr;  // the next compressed byte, when the file is held
  bool deflated_ = false;
  std::uint64_t next_offset_ = 0;      // of the next compressed byte not yet read
  std::uint64_t compressed_left_ = 0;  // compressed bytes not yet read
  std::uint64_t content_left_ = 0;     // content bytes not yet delivered
  std::uint32_t expected_crc_ = 0;
  std::uint32_t crc_ = 0;
  std::vector<char> input_;  // compressed bytes read, not yet inflated
  // Inflation state, heap-held: zlib's state points back at its stream, which must not move.
  std::unique_ptr<Inflater> inflater_;
};

}  // namespace pelvane
