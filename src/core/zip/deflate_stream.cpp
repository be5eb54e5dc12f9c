#include "core/zip/deflate_stream.hpp"

#include <algorithm>
#include <vector>

namespace pelvane {

namespace {

// Deflate states a thread keeps for its next writers.
constexpr std::size_t kKeptDeflaters = 2;

// The Deflate states kept by this thread: setting one up allocates some 270 KiB that a writer
// would otherwise touch afresh at every call. A writer takes one when it first deflates and
// gives it back when it is done; a writer at work while another holds one takes its own.
std::vector<std::unique_ptr<Deflater>>& kept_deflaters() {
  thread_local std::vector<std::unique_ptr<Deflater>> kept;
  return kept;
}

}  // namespace

std::unique_ptr<Deflater> take_deflater() {
  auto& kept = kept_deflaters();
  while (!kept.empty()) {
    std::unique_ptr<Deflater> deflater = std::move(kept.back());
    kept.pop_back();
    if (deflateReset(&deflater->stream) == Z_OK) return deflater;
  }
  auto deflater = std::make_unique<Deflater>();
  if (deflateInit2(&deflater->stream, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK)
    return nullptr;
  return deflater;
}

void give_back_deflater(std::unique_ptr<Deflater> deflater) {
  auto& kept = kept_deflaters();
  if (deflater && kept.size() < kKeptDeflaters) kept.push_back(std::move(deflater));
}

Result<void> deflate_into(z_stream& stream, std::span<char> chunk, std::string_view input, int mode,
                          ZipSink& sink, std::uint64_t& data_size) {
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  std::size_t remaining = input.size();
  for (;;) {
    // zlib counts in 32-bit units; feed very large buffers in slices.
    const auto slice = static_cast<uInt>(std::min<std::size_t>(remaining, 1u << 30));
    stream.avail_in = slice;
    const bool last_slice = slice == remaining;
    const int flush = last_slice ? mode : Z_NO_FLUSH;
    int status;
    do {
      stream.next_out = reinterpret_cast<Bytef*>(chunk.data());
      stream.avail_out = static_cast<uInt>(chunk.size());
      status = deflate(&stream, flush);
      if (status == Z_STREAM_ERROR) return fail(PelvaneError::zip("Deflate compression failed"));
      const std::size_t produced = chunk.size() - stream.avail_out;
      if (produced > 0) {
        PELVANE_TRY_VOID(sink.write(std::string_view(chunk.data(), produced)));
        data_size += produced;
      }
    } while (stream.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
    remaining -= slice;
    if (last_slice) return {};
  }
}

std::string empty_deflate_blocks(std::uint64_t count) {
  const std::uint64_t tail = 2 + (count - 2) % 5;
  std::string bytes;
  for (std::uint64_t i = 0; i < (count - tail) / 5; ++i) bytes.append("\x00\x00\x00\xff\xff", 5);
  if (tail == 6) return bytes.append("\x02\x04\x00\x00\xff\xff", 6);
  std::string bits(static_cast<std::size_t>(tail), '\0');
  const std::uint64_t blocks = tail - 1;  // 10 bits each fill exactly `tail` bytes
  for (std::uint64_t block = 0; block < blocks; ++block) {
    const std::uint64_t at = block * 10;
    if (block + 1 == blocks) bits[at / 8] |= static_cast<char>(1 << (at % 8));  // final
    bits[(at + 1) / 8] |= static_cast<char>(1 << ((at + 1) % 8));               // type 01
  }
  return bytes + bits;
}

}  // namespace pelvane
