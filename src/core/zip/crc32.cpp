#include "core/zip/crc32.hpp"

#include <zlib.h>

#include <cstddef>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define PELVANE_CARRYLESS_CRC 1
#endif

namespace pelvane {

namespace {

std::uint32_t table_crc32(std::uint32_t crc, const char* bytes, std::size_t size) {
  return static_cast<std::uint32_t>(crc32_z(crc, reinterpret_cast<const Bytef*>(bytes), size));
}

#ifdef PELVANE_CARRYLESS_CRC

// Runs shorter than this are left to the table: folding has a fixed cost at its end.
constexpr std::size_t kFoldedAtLeast = 64;

#define PELVANE_CARRYLESS __attribute__((target("pclmul,sse4.1")))

PELVANE_CARRYLESS inline __m128i load(const char* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// One lane carried forward over the next 128 bits, `next`, by the factors in `by`.
PELVANE_CARRYLESS inline __m128i fold(__m128i lane, __m128i by, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(lane, by, 0x00);
  const __m128i high = _mm_clmulepi64_si128(lane, by, 0x11);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// The CRC register (pre-inverted, as the bits stand while the CRC runs) after `size` bytes, a
// multiple of 16 and at least 64. Four 128-bit lanes are folded forward 512 bits at a time by
// multiplying with x^(512+64) and x^512 modulo the polynomial, then folded into one lane
// (x^(128+64), x^128), brought down to 64 bits, and reduced to 32 by Barrett's method. The
// constants are those powers of x modulo the polynomial, bit-reflected.
PELVANE_CARRYLESS std::uint32_t fold_crc32(std::uint32_t reg, const char* bytes,
                                           std::size_t size) {
  const __m128i by_512 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
  const __m128i by_128 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
  const __m128i by_64 = _mm_set_epi64x(0, 0x0163cd6124);
  const __m128i barrett = _mm_set_epi64x(0x01f7011641, 0x01db710641);
  const __m128i low_32 = _mm_setr_epi32(~0, 0, ~0, 0);
  __m128i lane1 = _mm_xor_si128(load(bytes), _mm_cvtsi32_si128(static_cast<int>(reg)));
  __m128i lane2 = load(bytes + 16);
  __m128i lane3 = load(bytes + 32);
  __m128i lane4 = load(bytes + 48);
  std::size_t at = 64;
  for (; size - at >= 64; at += 64) {
    lane1 = fold(lane1, by_512, load(bytes + at));
    lane2 = fold(lane2, by_512, load(bytes + at + 16));
    lane3 = fold(lane3, by_512, load(bytes + at + 32));
    lane4 = fold(lane4, by_512, load(bytes + at + 48));
  }
  __m128i lane = fold(lane1, by_128, lane2);
  lane = fold(lane, by_128, lane3);
  lane = fold(lane, by_128, lane4);
  for (; at < size; at += 16) lane = fold(lane, by_128, load(bytes + at));

  // 128 bits to 64.
  __m128i product = _mm_clmulepi64_si128(lane, by_128, 0x10);
  lane = _mm_xor_si128(_mm_srli_si128(lane, 8), product);
  product = _mm_srli_si128(lane, 4);
  lane = _mm_clmulepi64_si128(_mm_and_si128(lane, low_32), by_64, 0x00);
  lane = _mm_xor_si128(lane, product);
  // 64 bits to 32.
  product = _mm_clmulepi64_si128(_mm_and_si128(lane, low_32), barrett, 0x10);
  product = _mm_clmulepi64_si128(_mm_and_si128(product, low_32), barrett, 0x00);
  lane = _mm_xor_si128(lane, product);
  return static_cast<std::uint32_t>(_mm_extract_epi32(lane, 1));
}

bool folds() {
  static const bool supported =
      __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return supported;
}

#endif

}  // namespace

std::uint32_t update_crc32(std::uint32_t crc, std::string_view bytes) {
  const char* at = bytes.data();
  std::size_t size = bytes.size();
#ifdef PELVANE_CARRYLESS_CRC
  if (size >= kFoldedAtLeast && folds()) {
    const std::size_t folded = size & ~std::size_t{15};
    crc = ~fold_crc32(~crc, at, folded);
    at += folded;
    size -= folded;
  }
#endif
  return size == 0 ? crc : table_crc32(crc, at, size);
}

}  // namespace pelvane
