#include "core/zip/plain_entry.hpp"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "core/base/buffer_shelf.hpp"
#include "core/base/string_room.hpp"
#include "core/base/system_io.hpp"
#include "core/zip/crc32.hpp"
#include "core/zip/stored_headers.hpp"

namespace pelvane {

namespace {

// An entry read whole in one piece is at most this large; larger ones are streamed.
constexpr std::uint64_t kMaxWholeRead = std::uint64_t{64} << 20;
// Compressed bytes are read in blocks of at most this size.
constexpr std::size_t kBlock = 256 * 1024;
// zlib counts in `uInt`; one call inflates at most this much.
constexpr std::size_t kMaxInflateStep = std::size_t{1} << 30;

// The compressed bytes of an entry up to this size are read through a window this large.
constexpr std::size_t kWindow = 64 * 1024;

// One inflation state per thread, reset for each whole read: setting one up costs more than
// inflating a small part.
class WholeReadInflater {
 public:
  ~WholeReadInflater() {
    if (ready_) inflateEnd(&stream_);
  }
  // The state, ready for a new stream; null when it cannot be set up.
  z_stream* fresh() {
    if (ready_) return inflateReset(&stream_) == Z_OK ? &stream_ : nullptr;
    stream_ = z_stream{};
    ready_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK;
    return ready_ ? &stream_ : nullptr;
  }

 private:
  z_stream stream_{};
  bool ready_ = false;
};

// The content of an entry whose directory states `data`, from its compressed bytes (moved from
// `compressed` when stored, which is then left as it is otherwise).
std::optional<std::string> whole_content(const StoredEntryHeaders::Data& data,
                                         std::string_view compressed, std::string* owned) {
  const auto size = static_cast<std::size_t>(data.uncompressed_size);
  std::string content;
  if (data.method == kZipMethodStored) {
    if (compressed.size() != size) return std::nullopt;
    if (owned != nullptr) {
      content = std::move(*owned);
    } else {
      content.assign(compressed);
    }
  } else {
    // One byte of room past the stated size, so that a longer stream shows.
    content = BufferShelf<std::string>::take(size + 1);
    grow_unwritten(content, size + 1);
    thread_local WholeReadInflater inflater;
    z_stream* stream = inflater.fresh();
    if (stream == nullptr) return std::nullopt;
    stream->next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream->avail_in = static_cast<uInt>(compressed.size());
    stream->next_out = reinterpret_cast<Bytef*>(content.data());
    stream->avail_out = static_cast<uInt>(content.size());
    const int status = inflate(stream, Z_FINISH);
    if (status != Z_STREAM_END || stream->total_out != size) return std::nullopt;
    content.resize(size);
  }
  if (update_crc32(0, content) != data.crc32) return std::nullopt;
  return content;
}

// The entry's directory record when it is to be read whole.
std::optional<StoredEntryHeaders::Data> whole_read_data(const StoredEntryHeaders& headers,
                                                        std::uint64_t index) {
  const auto data = headers.data(index);
  if (!data || data->compressed_size > kMaxWholeRead || data->uncompressed_size > kMaxWholeRead)
    return std::nullopt;
  return data;
}

}  // namespace

std::optional<std::string> read_plain_entry(const StoredEntryHeaders& headers,
                                            std::uint64_t index) {
  const auto data = whole_read_data(headers, index);
  if (!data) return std::nullopt;
  if (const auto held = headers.file().held(data->offset, data->compressed_size))
    return whole_content(*data, *held, nullptr);
  ShelvedBuffer<std::string> compressed(static_cast<std::size_t>(data->compressed_size));
  grow_unwritten(*compressed, static_cast<std::size_t>(data->compressed_size));
  if (!read_whole_at(headers.file_descriptor(), data->offset, *compressed)) return std::nullopt;
  return whole_content(*data, *compressed, &*compressed);
}

std::optional<std::string> read_plain_entry(const StoredEntryHeaders& headers, std::uint64_t index,
                                            std::string_view compressed) {
  const auto data = whole_read_data(headers, index);
  if (!data || compressed.size() != data->compressed_size) return std::nullopt;
  return whole_content(*data, compressed, nullptr);
}

bool StoredBytesWindow::load(std::uint64_t offset, std::uint64_t length) {
  // Bytes read land where they agree with the file modulo `kCopyAlignment`, so that the read
  // runs at full speed (string_room.hpp).
  const std::span<char> room =
      grow_unwritten_agreeing(bytes_, static_cast<std::size_t>(length), offset);
  start_ = offset;
  window_ = std::string_view(room.data(), room.size());
  if (!read_whole_at(headers_.file_descriptor(), offset, room)) {
    window_ = {};
    return false;
  }
  // The local headers of the entries that follow, when unread, are settled from it.
  headers_.take_local_headers(offset, window_);
  return true;
}

void StoredBytesWindow::settle(std::uint64_t index) {
  // The local headers of a held file are settled from its held bytes, all of them at once, when
  // one is first asked about: a window read from the file would read them again, and what is
  // settled from a source in memory keeps views of the bytes it was settled from.
  if (!headers_.local_header_unread(index) || !headers_.file().bytes.empty()) return;
  const std::uint64_t file_size = headers_.file_size();
  const auto at = headers_.local_offset(index);
  if (at && *at < file_size) load(*at, std::min<std::uint64_t>(kWindow, file_size - *at));
}

std::optional<std::string_view> StoredBytesWindow::compressed(std::uint64_t index) {
  settle(index);
  const std::uint64_t file_size = headers_.file_size();
  const auto data = headers_.data(index);
  if (!data) return std::nullopt;
  const std::uint64_t offset = data->offset;
  const std::uint64_t size = data->compressed_size;
  if (const auto held = headers_.file().held(offset, size)) return held;
  if (offset >= start_ && offset - start_ <= window_.size() &&
      size <= window_.size() - (offset - start_))
    return window_.substr(static_cast<std::size_t>(offset - start_),
                          static_cast<std::size_t>(size));
  // A small entry loads a window from its bytes on (up to the end of the file as opened).
  if (size <= kWindow && offset <= file_size && size <= file_size - offset &&
      load(offset, std::min<std::uint64_t>(kWindow, file_size - offset)))
    return window_.substr(0, static_cast<std::size_t>(size));
  // Otherwise (or should the window not read whole) the entry's bytes alone.
  if (size > kMaxWholeRead || !load(offset, size)) return std::nullopt;
  return window_;
}

struct PlainEntryStream::Inflater {
  z_stream stream{};
  ~Inflater() { inflateEnd(&stream); }
};

PlainEntryStream::PlainEntryStream() = default;
PlainEntryStream::PlainEntryStream(PlainEntryStream&&) noexcept = default;
PlainEntryStream& PlainEntryStream::operator=(PlainEntryStream&&) noexcept = default;
PlainEntryStream::~PlainEntryStream() = default;

std::optional<PlainEntryStream> PlainEntryStream::open(const StoredEntryHeaders& headers,
                                                       std::uint64_t index) {
  const auto data = headers.data(index);
  if (!data) return std::nullopt;
  PlainEntryStream stream;
  stream.fd_ = headers.file_descriptor();
  if (const auto held = headers.file().held(data->offset, data->compressed_size))
    stream.held_ = held->data();
  stream.deflated_ = data->method != kZipMethodStored;
  if (!stream.deflated_ && data->compressed_size != data->uncompressed_size) return std::nullopt;
  stream.next_offset_ = data->offset;
  stream.compressed_left_ = data->compressed_size;
  stream.content_left_ = data->uncompressed_size;
  stream.expected_crc_ = data->crc32;
  if (stream.deflated_) {
    stream.inflater_ = std::make_unique<Inflater>();
    if (inflateInit2(&stream.inflater_->stream, -MAX_WBITS) != Z_OK) return std::nullopt;
  }
  return stream;
}

bool PlainEntryStream::read_compressed(std::span<char> out) {
  if (held_ == nullptr) return read_whole_at(fd_, next_offset_, out);
  std::memcpy(out.data(), held_, out.size());
  held_ += out.size();
  return true;
}

bool PlainEntryStream::refill() {
  const auto size = static_cast<std::size_t>(std::min<std::uint64_t>(compressed_left_, kBlock));
  const char* block = held_;
  if (block != nullptr) {
    held_ += size;
  } else {
    input_.resize(size);
    if (!read_compressed(std::span<char>(input_.data(), size))) return false;
    block = input_.data();
  }
  next_offset_ += size;
  compressed_left_ -= size;
  z_stream& stream = inflater_->stream;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block));
  stream.avail_in = static_cast<uInt>(size);
  return true;
}

std::optional<std::size_t> PlainEntryStream::read(std::span<char> buffer) {
  if (fd_ < 0) return std::nullopt;
  const auto done_with = [this]() -> std::optional<std::size_t> {
    fd_ = -1;
    return std::nullopt;
  };
  const std::size_t wanted = static_cast<std::size_t>(
      std::min<std::uint64_t>({buffer.size(), content_left_, kMaxInflateStep}));

  if (!deflated_) {
    if (wanted == 0) return compressed_left_ == 0 && crc_ == expected_crc_ ? 0 : done_with();
    if (!read_compressed(buffer.first(wanted))) return done_with();
    next_offset_ += wanted;
    compressed_left_ -= wanted;
    content_left_ -= wanted;
    crc_ = update_crc32(crc_, std::string_view(buffer.data(), wanted));
    return wanted;
  }

  z_stream& stream = inflater_->stream;
  if (wanted == 0) {
    // Every stated byte is out: the stream must end here, on the last compressed byte.
    char spare = 0;
    for (;;) {
      if (stream.avail_in == 0 && compressed_left_ > 0 && !refill()) return done_with();
      stream.next_out = reinterpret_cast<Bytef*>(&spare);
      stream.avail_out = 1;
      const int status = inflate(&stream, Z_NO_FLUSH);
      if (stream.avail_out == 0) return done_with();  // content past the stated size
      if (status == Z_STREAM_END) break;
      if (status != Z_OK || (stream.avail_in == 0 && compressed_left_ == 0)) return done_with();
    }
    if (stream.avail_in != 0 || compressed_left_ != 0 || crc_ != expected_crc_) return done_with();
    fd_ = -1;
    return 0;
  }

  stream.next_out = reinterpret_cast<Bytef*>(buffer.data());
  stream.avail_out = static_cast<uInt>(wanted);
  while (stream.avail_out > 0) {
    if (stream.avail_in == 0) {
      if (compressed_left_ == 0) return done_with();  // content short of the stated size
      if (!refill()) return done_with();
    }
    // With the last compressed bytes in hand, an entry that ends within this buffer is
    // inflated without the sliding window (whose allocation costs more than a small part).
    const int status = inflate(&stream, compressed_left_ == 0 ? Z_FINISH : Z_NO_FLUSH);
    if (status == Z_STREAM_END) {
      if (stream.avail_out > 0) return done_with();  // content short of the stated size
      break;
    }
    // No progress with input and room to spare never happens to a sound stream.
    if (status != Z_OK && (status != Z_BUF_ERROR || stream.avail_in > 0)) return done_with();
  }
  content_left_ -= wanted;
  crc_ = update_crc32(crc_, std::string_view(buffer.data(), wanted));
  return wanted;
}

}  // namespace pelvane
