// The hash of the names a package is made of (entry names, part names), shared by the tables
// that look them up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace pelvane {

// A 64-bit hash of a name, eight bytes at a time, every byte taking part: the names of a
// package differ mostly in a number near their end. The last word is the name's last eight bytes
// (overlapping the one before), and a final mix spreads every bit over both halves: tables take
// their slot from the low bits and may keep the high half as a tag.
inline std::uint64_t hash_entry_name(std::string_view name) {
  constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15u;
  std::uint64_t hash = name.size() * kOdd;
  const auto mix = [&](std::uint64_t word) {
    hash = (hash ^ word) * kOdd;
    hash ^= hash >> 29;
  };
  std::uint64_t word = 0;
  if (name.size() < 8) {
    for (const char c : name) word = word << 8 | static_cast<unsigned char>(c);
    mix(word);
  } else {
    std::size_t at = 0;
    for (; name.size() - at > 8; at += 8) {
      std::memcpy(&word, name.data() + at, 8);
      mix(word);
    }
    std::memcpy(&word, name.data() + name.size() - 8, 8);
    mix(word);
  }
  hash *= 0xFF51AFD7ED558CCDu;
  return hash ^ hash >> 32;
}

}  // namespace pelvane
