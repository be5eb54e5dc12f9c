// Names that share one value of the unkeyed hash the engine once took of entry and part names:
// each of its steps can be undone, so for any first 16 bytes the last eight that reach a chosen
// value can be computed, as whoever writes a package can.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace pelvane::test {

inline constexpr std::uint64_t kFormerOdd = 0x9E3779B97F4A7C15u;

// The former hash's state after `name` (of a multiple of eight bytes), from `state`.
inline std::uint64_t former_state(std::uint64_t state, std::string_view name) {
  for (std::size_t at = 0; at < name.size(); at += 8) {
    std::uint64_t word;
    std::memcpy(&word, name.data() + at, 8);
    state = (state ^ word) * kFormerOdd;
    state ^= state >> 29;
  }
  return state;
}
inline std::uint64_t former_name_hash(std::string_view name) {
  const std::uint64_t hash = former_state(name.size() * kFormerOdd, name) * 0xFF51AFD7ED558CCDu;
  return hash ^ hash >> 32;
}

// `count` (below 900,000) distinct names of 24 bytes, all of one former hash.
inline std::vector<std::string> names_of_one_former_hash(std::size_t count) {
  std::uint64_t inverse = kFormerOdd;  // Newton's steps: the inverse of an odd number mod 2^64
  for (int i = 0; i < 6; ++i) inverse *= 2 - kFormerOdd * inverse;
  const std::uint64_t after = 0x0123456789ABCDEFu;  // the state after every name's last word
  const std::uint64_t before = (after ^ after >> 29 ^ after >> 58) * inverse;  // word ^ state
  std::vector<std::string> names;
  for (std::size_t n = 0; n < count; ++n) {
    std::string name = "ppt/media/" + std::to_string(100000 + n);  // 16 bytes
    const std::uint64_t word = former_state(24 * kFormerOdd, name) ^ before;
    names.push_back(name.append(reinterpret_cast<const char*>(&word), 8));
  }
  return names;
}

}  // namespace pelvane::test
