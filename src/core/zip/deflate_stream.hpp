// Raw Deflate streams as the archive writer produces them: the level-6 states a thread keeps
// between writers, a stream fed into a sink, and empty blocks that end a stream at a chosen
// length.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/zip/zip_sink.hpp"

namespace pelvane {

// A Deflate state at level 6, heap-held: zlib's state points back at its stream, which must not
// move.
struct Deflater {
  z_stream stream{};
  ~Deflater() { deflateEnd(&stream); }
};

// A state ready for a new stream, one this thread kept when there is one; null when none can be
// set up.
std::unique_ptr<Deflater> take_deflater();
// Keeps a state for this thread's next writer (up to a few), or lets it go.
void give_back_deflater(std::unique_ptr<Deflater> deflater);

// Feeds `input` to the compressor with the flush `mode` for its last bytes and writes what
// comes out (Z_FINISH ends the stream, Z_SYNC_FLUSH leaves it open on a byte boundary).
Result<void> deflate_into(z_stream& stream, std::span<char> chunk, std::string_view input, int mode,
                          ZipSink& sink, std::uint64_t& data_size);

// Bytes that end an open Deflate stream (left on a byte boundary by a sync flush) and decode to
// nothing: `count` >= 2 bytes of empty blocks. Stored empty blocks take 5 bytes each; the last
// 2 to 6 bytes end the stream. Two to five of them are one to four empty fixed-Huffman blocks
// (10 bits each: final flag, block type 01, end-of-block code 0000000), the last of them final.
// Fixed blocks cannot fill exactly 6 bytes (five take 50 bits), so a tail of 6 is one fixed
// block followed by a final stored empty block, whose header starts inside the second byte and
// whose length fields follow on the next byte boundary.
std::string empty_deflate_blocks(std::uint64_t count);

}  // namespace pelvane
