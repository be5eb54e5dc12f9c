// Names that share one value of the unkeyed hash the engine once took of entry and part names:
// each of its steps can be undone, so for any first 16 bytes the last eight that reach a chosen
// value can be computed. Whoever writes a package can make as many such names as they like.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace pelvane::test {

inline constexpr std::uint64_t kFormerOdd = 0x9E3779B97F4A7C15u;

inline std::uint64_t former_mix(std::uint64_t hash, std::uint64_t word) {
  hash = (hash ^ word) * kFormerOdd;
  return hash ^ hash >> 29;
}

// The former hash, for names of a multiple of eight bytes.
inline std::uint64_t former_name_hash(std::string_view name) {
  std::uint64_t hash = name.size() * kFormerOdd;
  for (std::size_t at = 0; at < name.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, name.data() + at, 8);
    hash = former_mix(hash, word);
  }
  hash *= 0xFF51AFD7ED558CCDu;
  return hash ^ hash >> 32;
}

// `count` (below 900,000) distinct names of 24 bytes, all of one former hash.
inline std::vector<std::string> names_of_one_former_hash(std::size_t count) {
  std::uint64_t inverse = kFormerOdd;  // Newton's steps: the inverse of an odd number mod 2^64
  for (int i = 0; i < 6; ++i) inverse *= 2 - kFormerOdd * inverse;
  // The state every name reaches after its last word; before it, the word's xor with the state.
  const std::uint64_t after = 0x0123456789ABCDEFu;
  const std::uint64_t before = (after ^ after >> 29 ^ after >> 58) * inverse;
  std::vector<std::string> names;
  for (std::size_t n = 0; n < count; ++n) {
    std::string name = "ppt/media/" + std::to_string(100000 + n);  // 16 bytes
    std::uint64_t state = 24 * kFormerOdd, word;
    for (std::size_t at = 0; at < 16; at += 8) {
      std::memcpy(&word, name.data() + at, 8);
      state = former_mix(state, word);
    }
    word = state ^ before;
    name.append(reinterpret_cast<const char*>(&word), 8);
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace pelvane::test
