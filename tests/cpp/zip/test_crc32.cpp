// The CRC-32 of entries agrees with zlib's for every length, whole or continued in pieces.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "core/zip/crc32.hpp"

namespace pelvane {
namespace {

TEST(Crc32, AgreesWithZlibWholeAndInPieces) {
  std::mt19937 random(7);
  // Around the folded run's least length and its 16- and 64-byte steps, and long runs.
  for (const std::size_t size : {0, 1, 15, 16, 63, 64, 65, 79, 80, 127, 128, 129, 1000, 65537}) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    for (const std::uint32_t start : {0u, 0xDEADBEEFu}) {
      const auto expected = static_cast<std::uint32_t>(
          crc32_z(start, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
      EXPECT_EQ(update_crc32(start, bytes), expected) << size;
      const std::string_view view(bytes);
      const std::size_t cut = size / 3;
      EXPECT_EQ(update_crc32(update_crc32(start, view.substr(0, cut)), view.substr(cut)), expected)
          << size;
    }
  }
}

}  // namespace
}  // namespace pelvane
