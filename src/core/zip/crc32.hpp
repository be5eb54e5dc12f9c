// The CRC-32 of ZIP entries (the polynomial 0x04C11DB7, bits reflected), continued over more
// bytes. Where the processor multiplies without carries, long runs of bytes are folded 64 at a
// time with those multiplications; the rest goes through zlib's table-driven `crc32_z`.
#pragma once

#include <cstdint>
#include <string_view>

namespace pelvane {

// The CRC-32 of the bytes that gave `crc`, followed by `bytes` (0 to start).
std::uint32_t update_crc32(std::uint32_t crc, std::string_view bytes);

}  // namespace pelvane
