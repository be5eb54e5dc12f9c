// Where an archive's bytes go: a buffer in memory or a file.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/buffer_shelf.hpp"
#include "core/base/error.hpp"
#include "core/base/string_room.hpp"
#include "core/base/system_io.hpp"
#include "core/zip/copied_file.hpp"
#include "core/zip/zip_format.hpp"

namespace pelvane {

// The most bytes a file sink reads ahead at once (`ZipSink::read_ahead`): few enough reads that
// their calls cost little beside the copy. For entries copied as they lie, within the first as
// many bytes of its buffer: less memory than the windows of local headers such a read spares.
inline constexpr std::uint64_t kReadAheadMost = 128 * 1024;

// What bytes read ahead are for, which decides where a file sink places them.
enum class ReadAheadUse {
  // Entries copied as they lie, headers and all: where the copy appended next puts them, which
  // then takes them without moving them.
  AsTheyLie,
  // Entries written under new headers: where they agree with their place in the file
  // (string_room.hpp), at most 63 bytes further on. Each entry's bytes then move down behind its
  // header; a header no longer than the stored one leaves the bytes after it in place.
  UnderNewHeaders,
};

// The fixed part of an entry's local header, up to its name.
using LocalHeaderFixed = std::array<char, zip_format::kLocalHeaderSize>;

// Where the archive's bytes go. `patch` overwrites bytes already written (the local header of
// an entry whose CRC-32 and sizes are known only after its data).
class ZipSink {
 public:
  virtual ~ZipSink() = default;
  virtual Result<void> write(std::string_view bytes) = 0;
  virtual Result<void> patch(std::uint64_t offset, std::string_view bytes) = 0;
  // Pushes buffered bytes to their destination.
  virtual Result<void> flush() = 0;
  // Appends `length` bytes of `file` at `offset`. The bytes may be read later, up to the next
  // `flush` or `read_pending`; the file must stay open, and its held bytes alive, until then.
  virtual Result<void> copy_from_file(const CopiedFile& file, std::uint64_t offset,
                                      std::uint64_t length) = 0;
  // Takes now every span of an input file still waiting in the sink, so that the file may close
  // and its held bytes go.
  virtual Result<void> read_pending() { return {}; }
  // Reads up to `length` bytes of `file` from `offset` (a file not held) into free room of the
  // sink, placed for `use`, and returns them. The copies that follow (`copy_from_file`,
  // `append_header_and_copy`) take their spans from there instead of reading them again, as
  // long as what was appended in between has not reached them. Empty when the sink reads
  // nothing ahead, or the read fails: the copies then read the bytes themselves, and meet the
  // failure as they would have.
  virtual Result<std::string_view> read_ahead(const CopiedFile& file, std::uint64_t offset,
                                              std::uint64_t length, ReadAheadUse use) {
    (void)file, (void)offset, (void)length, (void)use;
    return std::string_view();
  }
  // Appends the local header made of `fixed` (its fixed part), `name` and `extra`, then
  // `length` bytes of `file` at `offset`, as `write` of those bytes and `copy_from_file` would,
  // when the sink can take them at once without pushing anything to its destination (which
  // cannot fail); false when it cannot, nothing taken. One call for each of the many entries
  // written under a new header.
  virtual bool append_header_and_copy(const LocalHeaderFixed& fixed, std::string_view name,
                                      std::string_view extra, const CopiedFile& file,
                                      std::uint64_t offset, std::uint64_t length);
};

// Collects the archive in a byte buffer owned by the caller.
class MemoryZipSink final : public ZipSink {
 public:
  explicit MemoryZipSink(std::string& buffer) : buffer_(buffer) {}
  Result<void> write(std::string_view bytes) override;
  Result<void> patch(std::uint64_t offset, std::string_view bytes) override;
  Result<void> flush() override { return {}; }
  Result<void> copy_from_file(const CopiedFile& file, std::uint64_t offset,
                              std::uint64_t length) override;

 private:
  std::string& buffer_;
};

// Writes the archive to an open file descriptor (not owned), from its current position.
//
// Bytes gather in a large buffer and reach the file in few large writes. A span of an input file
// whose bytes are held in memory keeps its place in the buffer and is written from where it is
// held, among the buffer's bytes, when the buffer is flushed (or when `read_pending` lets the
// held bytes go); a short one that follows a header written anew (`append_header_and_copy`) is
// copied into the buffer instead, which costs less than one more piece in that write. A span
// copied from the file itself takes one of two roads:
//   - a short one (the entries of a package of many small parts, the headers written anew
//     between them) keeps its place in the buffer and is read when the buffer is flushed,
//     neighbouring spans of one file in a single read: a run of entries costs one read and one
//     write, whatever the number of its entries;
//   - a long one (`kKernelCopyMinimum` and up) is copied inside the kernel: `copy_file_range`
//     where the two files allow it, `sendfile` where they do not (another file system), through
//     the buffer where neither works. What a file refused once is not tried again with it.
// Reading an input file may thus fail while a later write flushes the buffer: that failure is
// `Zip`, the failure of a raw copy, whichever write met it.
class FileZipSink final : public ZipSink {
 public:
  // Spans of one file at most this far apart are read in one go.
  static constexpr std::size_t kScrapSize = 16 * 1024;

  // Writes `fd` from its current position on, or, given `start`, from there (0 for a file just
  // created, which spares asking).
  explicit FileZipSink(int fd);
  FileZipSink(int fd, std::uint64_t start);
  Result<void> write(std::string_view bytes) override;
  Result<void> patch(std::uint64_t offset, std::string_view bytes) override;
  Result<void> flush() override;
  Result<void> copy_from_file(const CopiedFile& file, std::uint64_t offset,
                              std::uint64_t length) override;
  Result<void> read_pending() override;
  Result<std::string_view> read_ahead(const CopiedFile& file, std::uint64_t offset,
                                      std::uint64_t length, ReadAheadUse use) override;
  bool append_header_and_copy(const LocalHeaderFixed& fixed, std::string_view name,
                              std::string_view extra, const CopiedFile& file, std::uint64_t offset,
                              std::uint64_t length) override;

 private:
  // Bytes of an input file that belong at `at` in the buffer: read from the file at `offset`,
  // or, when `held` is set, written from there.
  struct Span {
    std::size_t at;
    int fd;
    std::uint64_t offset;
    std::size_t length;
    const char* held = nullptr;
  };

  // Bytes of an input file read ahead into the buffer's free room (`read_ahead`): `length`
  // bytes of `fd` from `offset`, at `at` in the buffer. Appending moves the buffer's end over
  // them: those it has not reached are intact. A flush, which starts the buffer afresh, drops
  // them.
  struct ReadAhead {
    int fd = -1;
    std::uint64_t offset = 0;
    std::size_t at = 0;
    std::size_t length = 0;
  };
  // Where in the buffer the `length` bytes of `fd` from `offset` lie, read ahead and intact: all
  // of them when `whole`, else as many as were read ahead from there.
  std::optional<std::size_t> read_ahead_at(int fd, std::uint64_t offset, std::uint64_t length,
                                           bool whole) const;
  // Appends the bytes read ahead that a copy of `length` bytes of `fd` from `offset` starts
  // with, moving both past them.
  void take_read_ahead(int fd, std::uint64_t& offset, std::uint64_t& length);

  // Copies from `fd` inside the kernel as far as the two files allow; returns the bytes copied.
  Result<std::uint64_t> copy_in_kernel(int fd, std::uint64_t offset, std::uint64_t length);
  // Leaves room in the buffer for `length` bytes of `fd` from `offset` (held at `held`, when
  // given), flushing when full.
  Result<void> reserve_spans(int fd, std::uint64_t offset, std::uint64_t length,
                             const char* held = nullptr);
  // Sets `room_` for the bytes that follow a flush (zip_sink.cpp).
  void place_room();
  // Where the bytes of a span come from: where they are held, else their offset in the file.
  static std::uint64_t source_of(const char* held, std::uint64_t offset) {
    return held != nullptr ? reinterpret_cast<std::uintptr_t>(held) : offset;
  }
  // Reads the spans of input files into the buffer.
  Result<void> read_file_spans();
  // Writes the buffer out, held spans in their places.
  Result<void> write_buffer();

  int fd_;
  std::uint64_t start_;        // file offset of the archive's first byte
  std::uint64_t flushed_ = 0;  // archive bytes already handed to the file
  ShelvedBuffer<std::string> buffer_;
  // Where the buffer's bytes start within `buffer_`: `place_room`.
  char* room_ = nullptr;
  std::size_t size_ = 0;  // bytes of `room_` in use
  // The output position less the input offset (or address) of the bytes last copied in.
  std::uint64_t source_lag_ = 0;
  std::vector<Span> spans_;             // still to be read into the buffer, in buffer order
  bool holds_spans_ = false;            // some of `spans_` are held
  std::array<char, kScrapSize> scrap_;  // takes the bytes between spans read at once
  std::array<iovec, kMostPiecesPerCall> pieces_;  // of one read or write
  ReadAhead read_ahead_;
  // The input file last copied in the kernel and how far it got with it.
  int kernel_copy_fd_ = -1;
  KernelCopy kernel_copy_ = KernelCopy::CopyFileRange;
};

}  // namespace pelvane
