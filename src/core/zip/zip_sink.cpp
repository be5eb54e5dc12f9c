#include "core/zip/zip_sink.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "core/base/string_room.hpp"
#include "core/base/system_io.hpp"

namespace pelvane {

namespace {

constexpr std::size_t kFileBufferSize = 1024 * 1024;
// The bytes a file sink's buffer holds: its size less the lead that places them (`place_room`).
constexpr std::size_t kFileBufferRoom = kFileBufferSize - (kCopyAlignment - 1);
constexpr std::uint64_t kKernelCopyAlignment = 64 * 1024;
// Held spans up to this long that follow a header written anew are copied into the buffer;
// longer ones are written from where they are held.
constexpr std::uint64_t kCopiedHeldSpan = 16 * 1024;
// Blocks at least this long are written straight to the file rather than through the buffer.
constexpr std::size_t kDirectWrite = 256 * 1024;
// Spans of one file closer together than this are read in one go, the bytes between them
// read and left: cheaper than another system call.
constexpr std::uint64_t kReadGap = FileZipSink::kScrapSize;
// The most bytes, and pieces, read in one go for neighbouring spans, gaps included.
constexpr std::uint64_t kReadSpan = 2 * kFileBufferSize;

// An input file that ends before the span to copy.
PelvaneError input_ended() { return PelvaneError::io("input ended before the entry's data"); }

// Exactly `length` bytes of `fd` at `offset` into `out`.
Result<void> read_fully(int fd, char* out, std::uint64_t length, std::uint64_t offset) {
  const std::size_t got =
      PELVANE_TRY(read_at(fd, offset, std::span<char>(out, static_cast<std::size_t>(length))));
  if (got < length) return fail(input_ended());
  return {};
}

}  // namespace

bool ZipSink::append_header_and_copy(const LocalHeaderFixed&, std::string_view, std::string_view,
                                     const CopiedFile&, std::uint64_t, std::uint64_t) {
  return false;
}

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

Result<void> MemoryZipSink::copy_from_file(const CopiedFile& file, std::uint64_t offset,
                                           std::uint64_t length) {
  if (const auto held = file.held(offset, length)) {
    buffer_.append(*held);
    return {};
  }
  const int fd = file.fd;
  // In slices, so that a length past the end of the file fails before it is all allocated.
  const std::size_t start = buffer_.size();
  while (length > 0) {
    const auto slice = static_cast<std::size_t>(std::min<std::uint64_t>(length, kFileBufferSize));
    const std::size_t at = buffer_.size();
    buffer_.resize(at + slice);
    auto read = read_fully(fd, buffer_.data() + at, slice, offset);
    if (!read) {
      buffer_.resize(start);
      return read;
    }
    offset += slice;
    length -= slice;
  }
  return {};
}

FileZipSink::FileZipSink(int fd) : FileZipSink(fd, 0) {
  const off_t position = ::lseek(fd_, 0, SEEK_CUR);
  start_ = position < 0 ? 0 : static_cast<std::uint64_t>(position);
  place_room();
}

FileZipSink::FileZipSink(int fd, std::uint64_t start)
    : fd_(fd), start_(start), buffer_(kFileBufferSize) {
  grow_unwritten(*buffer_, kFileBufferSize);
  place_room();
}

void FileZipSink::place_room() {
  // The buffer's bytes agree with their place in the output modulo `kCopyAlignment`, so that
  // its write runs at full speed (string_room.hpp), unless the bytes read or copied into it last
  // came from a place that a copy to there would be slow from: it is then 16 bytes further on,
  // which keeps both the copies into it and its write out of the slow range. (A span written
  // from where it is held, or a block written straight, is copied as it lies: going through the
  // buffer instead would touch more memory.)
  const std::uint64_t output = start_ + flushed_ + (is_slow_copy(0, source_lag_) ? 16 : 0);
  const auto address = reinterpret_cast<std::uintptr_t>(buffer_->data());
  room_ = buffer_->data() + (output - address) % kCopyAlignment;
  read_ahead_ = {};  // its place was counted from the old start
}

Result<void> FileZipSink::write(std::string_view bytes) {
  if (bytes.size() >= kDirectWrite) {
    // Large blocks (the central directory of many entries) go straight to the file.
    PELVANE_TRY_VOID(flush());
    PELVANE_TRY_VOID(write_all(fd_, bytes));
    flushed_ += bytes.size();
    place_room();
    return {};
  }
  if (size_ + bytes.size() > kFileBufferRoom) PELVANE_TRY_VOID(flush());
  std::memcpy(room_ + size_, bytes.data(), bytes.size());
  size_ += bytes.size();
  return {};
}

Result<void> FileZipSink::patch(std::uint64_t offset, std::string_view bytes) {
  if (offset >= flushed_) {
    std::uint64_t in_buffer = offset - flushed_;
    if (in_buffer > size_ || bytes.size() > size_ - in_buffer)
      return fail(PelvaneError::zip("patch outside the written archive"));
    std::memcpy(room_ + in_buffer, bytes.data(), bytes.size());
    return {};
  }
  if (offset + bytes.size() > flushed_) PELVANE_TRY_VOID(flush());
  return write_all(fd_, bytes, start_ + offset);
}

Result<void> FileZipSink::copy_from_file(const CopiedFile& file, std::uint64_t offset,
                                         std::uint64_t length) {
  // Held bytes are written from where they are held, whatever the length.
  if (const auto held = file.held(offset, length))
    return reserve_spans(file.fd, offset, length, held->data());
  const int fd = file.fd;
  take_read_ahead(fd, offset, length);
  if (length == 0) return {};
  if (length >= kKernelCopyMinimum &&
      !(fd == kernel_copy_fd_ && kernel_copy_ == KernelCopy::Unavailable)) {
    // The kernel copies a long span much faster when it starts writing on a 64 KiB boundary of
    // the output (where the page cache can use its large pages); the bytes before that boundary
    // go through the buffer.
    const std::uint64_t position_in_output = start_ + flushed_ + size_;
    const std::uint64_t head =
        (kKernelCopyAlignment - position_in_output % kKernelCopyAlignment) % kKernelCopyAlignment;
    PELVANE_TRY_VOID(reserve_spans(fd, offset, head));
    PELVANE_TRY_VOID(flush());
    const std::uint64_t copied =
        PELVANE_TRY(copy_in_kernel(fd, offset + head, length - head)) + head;
    offset += copied;
    length -= copied;
  }
  return reserve_spans(fd, offset, length);
}

bool FileZipSink::append_header_and_copy(const LocalHeaderFixed& fixed, std::string_view name,
                                         std::string_view extra, const CopiedFile& file,
                                         std::uint64_t offset, std::uint64_t length) {
  // Header and span both within the buffer's room: `write` would not flush for the header nor
  // `reserve_spans` for the span, which, shorter than a kernel copy, takes one place.
  const std::size_t header = fixed.size() + name.size() + extra.size();
  if (header + length > kFileBufferRoom - size_ || length >= kKernelCopyMinimum) return false;
  const char* held = nullptr;
  if (const auto bytes = file.held(offset, length)) {
    held = bytes->data();
  } else if (!file.bytes.empty()) {
    return false;
  }
  // Bytes read ahead serve when the header leaves them intact: it ends where they start or
  // before.
  const auto ahead = held != nullptr || length == 0
                         ? std::nullopt
                         : read_ahead_at(file.fd, offset, length, /*whole=*/true);
  const bool from_read_ahead = ahead && size_ + header <= *ahead;
  char* at = room_ + size_;
  std::memcpy(at, fixed.data(), fixed.size());
  std::memcpy(at + fixed.size(), name.data(), name.size());
  if (!extra.empty()) std::memcpy(at + fixed.size() + name.size(), extra.data(), extra.size());
  size_ += header;
  if (from_read_ahead) {
    take_read_ahead(file.fd, offset, length);
    return true;
  }
  source_lag_ = start_ + flushed_ + size_ - source_of(held, offset);
  if (held != nullptr && length <= kCopiedHeldSpan) {
    // A short held span is copied next to its header: cheaper than a piece of its own in the
    // write that takes the buffer.
    if (length > 0) std::memcpy(room_ + size_, held, static_cast<std::size_t>(length));
    size_ += static_cast<std::size_t>(length);
    return true;
  }
  if (length > 0) {
    spans_.push_back({size_, file.fd, offset, static_cast<std::size_t>(length), held});
    if (held != nullptr) holds_spans_ = true;
    size_ += static_cast<std::size_t>(length);
  }
  return true;
}

Result<std::string_view> FileZipSink::read_ahead(const CopiedFile& file, std::uint64_t offset,
                                                 std::uint64_t length, ReadAheadUse use) {
  read_ahead_ = {};
  if (!file.bytes.empty() || length == 0) return std::string_view();
  length = std::min(length, kReadAheadMost);
  // Bytes for entries as they lie stay within the first `kReadAheadMost` bytes of the buffer;
  // bytes for entries under new headers take the place their output takes, anywhere in it.
  const std::size_t end = use == ReadAheadUse::AsTheyLie ? kReadAheadMost : kFileBufferRoom;
  const auto lead = [&] {
    if (use == ReadAheadUse::AsTheyLie) return std::size_t{0};
    const auto address = reinterpret_cast<std::uintptr_t>(room_ + size_);
    return static_cast<std::size_t>((offset - address) % kCopyAlignment);
  };
  if (size_ + lead() + length > end) PELVANE_TRY_VOID(flush());
  const std::size_t at = size_ + lead();
  const auto room = std::span<char>(room_ + at, static_cast<std::size_t>(length));
  const auto got = read_at(file.fd, offset, room);
  if (!got || *got == 0) return std::string_view();
  read_ahead_ = {file.fd, offset, at, *got};
  return std::string_view(room.data(), *got);
}

std::optional<std::size_t> FileZipSink::read_ahead_at(int fd, std::uint64_t offset,
                                                      std::uint64_t length, bool whole) const {
  const ReadAhead& ahead = read_ahead_;
  if (ahead.length == 0 || ahead.fd != fd || offset < ahead.offset ||
      offset - ahead.offset >= ahead.length)
    return std::nullopt;
  const auto skipped = static_cast<std::size_t>(offset - ahead.offset);
  const std::size_t at = ahead.at + skipped;
  if (at < size_ || (whole && length > ahead.length - skipped)) return std::nullopt;
  return at;
}

void FileZipSink::take_read_ahead(int fd, std::uint64_t& offset, std::uint64_t& length) {
  const auto at = read_ahead_at(fd, offset, length, /*whole=*/false);
  if (!at) return;
  ReadAhead& ahead = read_ahead_;
  const std::size_t left = ahead.length - static_cast<std::size_t>(offset - ahead.offset);
  const auto taken = static_cast<std::size_t>(std::min<std::uint64_t>(length, left));
  // In place when nothing before them was left out or written longer; else moved down.
  if (*at != size_) std::memmove(room_ + size_, room_ + *at, taken);
  source_lag_ = start_ + flushed_ + size_ - offset;
  size_ += taken;
  offset += taken;
  length -= taken;
  ahead = {fd, offset, *at + taken, left - taken};
}

Result<std::uint64_t> FileZipSink::copy_in_kernel(int fd, std::uint64_t offset,
                                                  std::uint64_t length) {
  if (fd != kernel_copy_fd_) {
    kernel_copy_fd_ = fd;
    kernel_copy_ = KernelCopy::CopyFileRange;
  }
  const std::uint64_t copied =
      PELVANE_TRY(pelvane::copy_in_kernel(fd, offset, fd_, length, kernel_copy_));
  flushed_ += copied;
  place_room();  // the buffer, empty, takes the bytes that follow
  if (copied < length && kernel_copy_ != KernelCopy::Unavailable) return fail(input_ended());
  return copied;
}

Result<void> FileZipSink::reserve_spans(int fd, std::uint64_t offset, std::uint64_t length,
                                        const char* held) {
  while (length > 0) {
    if (size_ == kFileBufferRoom) PELVANE_TRY_VOID(flush());
    const auto piece =
        static_cast<std::size_t>(std::min<std::uint64_t>(length, kFileBufferRoom - size_));
    source_lag_ = start_ + flushed_ + size_ - source_of(held, offset);
    spans_.push_back({size_, fd, offset, piece, held});
    if (held != nullptr) {
      holds_spans_ = true;
      held += piece;
    }
    size_ += piece;
    offset += piece;
    length -= piece;
  }
  return {};
}

Result<void> FileZipSink::read_pending() {
  // Held bytes are let go once they are written: the buffer goes out with them.
  if (holds_spans_) return flush();
  PELVANE_TRY_VOID(read_file_spans());
  spans_.clear();
  return {};
}

Result<void> FileZipSink::read_file_spans() {
  for (std::size_t first = 0; first < spans_.size();) {
    // Spans that follow each other in one file, close together, are read at once, each into its
    // place in the buffer and the bytes between them into a scrap area.
    const Span& span = spans_[first];
    if (span.held != nullptr) {
      ++first;
      continue;
    }
    std::size_t count = 0;
    pieces_[count++] = iovec{room_ + span.at, span.length};
    std::uint64_t end = span.offset + span.length;  // of the bytes read so far
    std::size_t last = first + 1;
    for (; last < spans_.size() && count + 2 <= pieces_.size(); ++last) {
      const Span& next = spans_[last];
      if (next.held != nullptr || next.fd != span.fd || next.offset < end ||
          next.offset - end > kReadGap || next.offset + next.length - span.offset > kReadSpan)
        break;
      if (next.offset > end)
        pieces_[count++] = iovec{scrap_.data(), static_cast<std::size_t>(next.offset - end)};
      pieces_[count++] = iovec{room_ + next.at, next.length};
      end = next.offset + next.length;
    }
    // Whichever write brought the flush, this is the failure of a raw copy.
    auto read = read_pieces_at(span.fd, span.offset, std::span<iovec>(pieces_.data(), count));
    if (!read) return fail(PelvaneError::zip(read.error().message()));
    if (*read < end - span.offset) return fail(PelvaneError::zip(input_ended().message()));
    first = last;
  }
  return {};
}

Result<void> FileZipSink::write_buffer() {
  if (!holds_spans_) return write_all(fd_, std::string_view(room_, size_));
  // The buffer's bytes up to each held span, then the span where it is held, in few calls.
  std::size_t count = 0;
  const auto add = [&](const char* bytes, std::size_t length) -> Result<void> {
    if (length == 0) return {};
    if (count > 0) {
      iovec& last = pieces_[count - 1];
      if (static_cast<const char*>(last.iov_base) + last.iov_len == bytes) {
        last.iov_len += length;
        return {};
      }
    }
    if (count == pieces_.size()) {
      PELVANE_TRY_VOID(write_pieces(fd_, std::span<iovec>(pieces_.data(), count)));
      count = 0;
    }
    pieces_[count++] = iovec{const_cast<char*>(bytes), length};
    return {};
  };
  std::size_t written = 0;  // bytes of the buffer taken so far
  for (const Span& span : spans_) {
    if (span.held == nullptr) continue;
    PELVANE_TRY_VOID(add(room_ + written, span.at - written));
    PELVANE_TRY_VOID(add(span.held, span.length));
    written = span.at + span.length;
  }
  PELVANE_TRY_VOID(add(room_ + written, size_ - written));
  return write_pieces(fd_, std::span<iovec>(pieces_.data(), count));
}

Result<void> FileZipSink::flush() {
  PELVANE_TRY_VOID(read_file_spans());
  if (size_ > 0) PELVANE_TRY_VOID(write_buffer());
  spans_.clear();
  holds_spans_ = false;
  flushed_ += size_;
  size_ = 0;
  place_room();
  return {};
}

}  // namespace pelvane
