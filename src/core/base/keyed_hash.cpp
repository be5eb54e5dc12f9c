#include "core/base/keyed_hash.hpp"

#include <sys/random.h>

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace pelvane {

namespace {

// A little-endian 64-bit word from eight bytes.
std::uint64_t word_at(const unsigned char* bytes) {
  std::uint64_t value;
  std::memcpy(&value, bytes, sizeof value);
  if constexpr (std::endian::native == std::endian::big) value = std::byteswap(value);
  return value;
}

// The four words of SipHash's state and its round.
struct SipState {
  std::uint64_t v0, v1, v2, v3;

  void round() {
    v0 += v1;
    v1 = std::rotl(v1, 13) ^ v0;
    v0 = std::rotl(v0, 32);
    v2 += v3;
    v3 = std::rotl(v3, 16) ^ v2;
    v0 += v3;
    v3 = std::rotl(v3, 21) ^ v0;
    v2 += v1;
    v1 = std::rotl(v1, 17) ^ v2;
    v2 = std::rotl(v2, 32);
  }
  // One message word, with the one round of SipHash-1-3.
  void take(std::uint64_t word) {
    v3 ^= word;
    round();
    v0 ^= word;
  }
};

}  // namespace

const HashKey& HashKey::process() {
  // Initialized once, by whichever thread comes first; the others wait for it. Without the
  // system's random source there is no key that cannot be foreseen.
  static const HashKey key = [] {
    HashKey drawn;
    std::size_t got = 0;
    while (got < drawn.bytes.size()) {
      const ssize_t read = ::getrandom(drawn.bytes.data() + got, drawn.bytes.size() - got, 0);
      if (read < 0 && errno == EINTR) continue;
      if (read <= 0) std::abort();
      got += static_cast<std::size_t>(read);
    }
    return drawn;
  }();
  return key;
}

std::uint64_t keyed_hash(std::string_view bytes, const HashKey& key) {
  const std::uint64_t k0 = word_at(key.bytes.data());
  const std::uint64_t k1 = word_at(key.bytes.data() + 8);
  SipState state{0x736f6d6570736575ULL ^ k0, 0x646f72616e646f6dULL ^ k1, 0x6c7967656e657261ULL ^ k0,
                 0x7465646279746573ULL ^ k1};
  const auto* in = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t size = bytes.size();
  const std::size_t whole = size & ~std::size_t{7};
  for (std::size_t at = 0; at < whole; at += 8) state.take(word_at(in + at));
  // The last word: the bytes left over and the length's low byte at the top. The bytes left
  // over of a text of a word or more are the top of its last eight, read as one word.
  const std::size_t rest = size & 7;
  std::uint64_t last = 0;
  if (rest != 0 && size >= 8) {
    last = word_at(in + size - 8) >> (8 * (8 - rest));
  } else {
    for (std::size_t i = 0; i < rest; ++i) last |= static_cast<std::uint64_t>(in[i]) << (8 * i);
  }
  state.take(last | static_cast<std::uint64_t>(size) << 56);
  state.v2 ^= 0xff;
  for (int i = 0; i < 3; ++i) state.round();
  return state.v0 ^ state.v1 ^ state.v2 ^ state.v3;
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
