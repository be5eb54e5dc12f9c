#include "core/base/keyed_hash.hpp"

#include <sodium.h>

#include <bit>
#include <cstdlib>
#include <cstring>

namespace pelvane {

static_assert(sizeof(HashKey::bytes) == crypto_shorthash_KEYBYTES);
static_assert(crypto_shorthash_BYTES == sizeof(std::uint64_t));

const HashKey& HashKey::process() {
  // Initialized once, by whichever thread comes first; the others wait for it. The library's
  // initialization opens its random source (a second one does nothing). Without one there is
  // no key that cannot be foreseen, and the library itself would end the process at the draw.
  static const HashKey key = [] {
    HashKey drawn;
    if (sodium_init() < 0) std::abort();
    randombytes_buf(drawn.bytes.data(), drawn.bytes.size());
    return drawn;
  }();
  return key;
}

std::uint64_t keyed_hash(std::string_view bytes, const HashKey& key) {
  unsigned char out[crypto_shorthash_BYTES];
  crypto_shorthash(out, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(),
                   key.bytes.data());
  std::uint64_t value;
  std::memcpy(&value, out, sizeof value);
  if constexpr (std::endian::native == std::endian::big) value = std::byteswap(value);
  return value;
}

std::size_t KeyedHash::operator()(std::string_view text) const noexcept {
  return keyed_hash(text, HashKey::process());
}

std::size_t KeyedHash::operator()(std::uint64_t number) const noexcept {
  unsigned char bytes[sizeof number];
  for (std::size_t i = 0; i < sizeof number; ++i)
    bytes[i] = static_cast<unsigned char>(number >> 8 * i);
  return keyed_hash(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes),
                    HashKey::process());
}

}  // namespace pelvane
