// Every form of the CRC-32 of entries agrees with a bit-at-a-time reading of the polynomial for
// every length around the folded run's steps, whole or continued in pieces.
#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "core/zip/crc32.hpp"

namespace pelvane {
namespace {

// The CRC-32 one bit at a time: the reflected polynomial 0xEDB88320, register inverted before
// and after.
std::uint32_t bitwise_crc32(std::uint32_t crc, std::string_view bytes) {
  crc = ~crc;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

TEST(Crc32, EveryFormAgreesWithTheBitwiseCrcWholeAndInPieces) {
  using Form = std::function<std::uint32_t(std::uint32_t, std::string_view)>;
  std::vector<std::pair<const char*, Form>> forms = {{"table", update_crc32_table},
                                                     {"chosen", update_crc32}};
  if (crc32_folds()) forms.emplace_back("folded", update_crc32_folded);
  std::mt19937 random(7);
  // Around the folded run's least length and its 16- and 64-byte steps, and long runs.
  for (const std::size_t size : {0, 1, 15, 16, 63, 64, 65, 79, 80, 127, 128, 129, 1000, 65537}) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    const std::string_view view(bytes);
    const std::size_t cut = size / 3;
    for (const std::uint32_t start : {0u, 0xDEADBEEFu}) {
      const std::uint32_t expected = bitwise_crc32(start, bytes);
      for (const auto& [form, crc] : forms) {
        EXPECT_EQ(crc(start, bytes), expected) << form << " " << size;
        EXPECT_EQ(crc(crc(start, view.substr(0, cut)), view.substr(cut)), expected)
            << form << " " << size;
      }
    }
  }
}

}  // namespace
}  // namespace pelvane
