#include "core/zip/crc32.hpp"

#include <zlib.h>

#include <cstddef>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(PELVANE_PORTABLE)
#include <immintrin.h>
#define PELVANE_CARRYLESS_CRC 1
#endif

namespace pelvane {

namespace {

#ifdef PELVANE_CARRYLESS_CRC

// Runs shorter than this are left to the table: folding has a fixed cost at its end.
constexpr std::size_t kFoldedAtLeast = 64;

// The CRC's polynomial with its x^32 term.
constexpr std::uint64_t kPolynomial = 0x104C11DB7;

// The low `bits` bits of `value` in reverse order: bit-reflected, as the CRC of ZIP reads bytes.
constexpr std::uint64_t reflected(std::uint64_t value, unsigned bits) {
  std::uint64_t out = 0;
  for (unsigned bit = 0; bit < bits; ++bit) out |= ((value >> bit) & 1u) << (bits - 1 - bit);
  return out;
}

// x^k modulo the polynomial, reflected over 33 bits: the factor that carries a 64-bit half of a
// lane k - 32 bits forward (the reflection puts the factor's x^0 at bit 32).
constexpr std::uint64_t folding_factor(unsigned k) {
  std::uint64_t remainder = 1;
  for (unsigned i = 0; i < k; ++i) {
    remainder <<= 1;
    if (remainder >> 32) remainder ^= kPolynomial;
  }
  return reflected(remainder, 33);
}

// The quotient of x^64 by the polynomial, reflected over 33 bits: Barrett's factor.
constexpr std::uint64_t barrett_quotient() {
  std::uint64_t remainder = 0;
  std::uint64_t quotient = 0;
  for (int bit = 64; bit >= 0; --bit) {
    remainder = remainder << 1 | (bit == 64 ? 1u : 0u);
    quotient <<= 1;
    if (remainder >> 32) {
      remainder ^= kPolynomial;
      quotient |= 1;
    }
  }
  return reflected(quotient, 33);
}

// The factors of the folding, fixed when compiled.
constexpr std::uint64_t kFactor544 = folding_factor(512 + 32);
constexpr std::uint64_t kFactor480 = folding_factor(512 - 32);
constexpr std::uint64_t kFactor160 = folding_factor(128 + 32);
constexpr std::uint64_t kFactor96 = folding_factor(128 - 32);
constexpr std::uint64_t kFactor64 = folding_factor(64);
constexpr std::uint64_t kBarrettQuotient = barrett_quotient();
constexpr std::uint64_t kReflectedPolynomial = reflected(kPolynomial, 33);

#define PELVANE_CARRYLESS __attribute__((target("pclmul,sse4.1")))

PELVANE_CARRYLESS inline __m128i load(const char* at) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// Two factors for the low and the high 64 bits of a lane.
PELVANE_CARRYLESS inline __m128i factors(std::uint64_t low, std::uint64_t high) {
  return _mm_set_epi64x(static_cast<long long>(high), static_cast<long long>(low));
}

// One lane carried forward over the next 128 bits, `next`, by the factors in `by`.
PELVANE_CARRYLESS inline __m128i fold(__m128i lane, __m128i by, __m128i next) {
  const __m128i low = _mm_clmulepi64_si128(lane, by, 0x00);
  const __m128i high = _mm_clmulepi64_si128(lane, by, 0x11);
  return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

// The CRC register (pre-inverted, as the bits stand while the CRC runs) after `size` bytes, a
// multiple of 16 and at least 64. Four 128-bit lanes are folded forward 512 bits at a time (the
// low half of a lane by x^(512+32), the high half by x^(512-32), modulo the polynomial), then
// into one lane 128 bits at a time (x^(128+32), x^(128-32)), brought down to 64 bits (x^64),
// and reduced to 32 by Barrett's method (x^64 divided by the polynomial, and the polynomial).
PELVANE_CARRYLESS std::uint32_t fold_crc32(std::uint32_t reg, const char* bytes, std::size_t size) {
  const __m128i by_512 = factors(kFactor544, kFactor480);
  const __m128i by_128 = factors(kFactor160, kFactor96);
  const __m128i by_64 = factors(kFactor64, 0);
  const __m128i barrett = factors(kReflectedPolynomial, kBarrettQuotient);
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

#endif

}  // namespace

std::uint32_t update_crc32_table(std::uint32_t crc, std::string_view bytes) {
  if (bytes.empty()) return crc;
  return static_cast<std::uint32_t>(
      crc32_z(crc, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

bool crc32_folds() {
#ifdef PELVANE_CARRYLESS_CRC
  static const bool supported =
      __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return supported;
#else
  return false;
#endif
}

std::uint32_t update_crc32_folded(std::uint32_t crc, std::string_view bytes) {
#ifdef PELVANE_CARRYLESS_CRC
  if (bytes.size() >= kFoldedAtLeast && crc32_folds()) {
    const std::size_t folded = bytes.size() & ~std::size_t{15};
    crc = ~fold_crc32(~crc, bytes.data(), folded);
    bytes.remove_prefix(folded);
  }
#endif
  return update_crc32_table(crc, bytes);
}

std::uint32_t update_crc32(std::uint32_t crc, std::string_view bytes) {
  return update_crc32_folded(crc, bytes);
}

}  // namespace pelvane
