// The CRC-32 of ZIP entries (the polynomial 0x04C11DB7, bits reflected), continued over more
// bytes. Where the processor multiplies without carries, long runs of bytes are folded 64 at a
// time with those multiplications; the rest goes through zlib's table-driven `crc32_z`. A
// portable build (`PELVANE_PORTABLE`) has the table alone.
#pragma once

#include <cstdint>
#include <string_view>

namespace pelvane {

// The CRC-32 of the bytes that gave `crc`, followed by `bytes` (0 to start), by the fastest
// form the build and the processor have.
std::uint32_t update_crc32(std::uint32_t crc, std::string_view bytes);

// The forms it picks from. The table form, which every build has.
std::uint32_t update_crc32_table(std::uint32_t crc, std::string_view bytes);

// True when this build and this processor fold with carry-less multiplication.
bool crc32_folds();

// The folded form, the table taking what is left after the last whole 16 bytes and runs too
// short to fold; the table form alone where `crc32_folds()` is false.
std::uint32_t update_crc32_folded(std::uint32_t crc, std::string_view bytes);

}  // namespace pelvane
