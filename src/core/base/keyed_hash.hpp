// The one hash of text that comes from outside (a package, a workbook, a caller's JSON), for
// every hash table keyed by it: SipHash-1-3 (one round a word, three to finish: the variant
// made for hash tables) under a key drawn at random once per process.
//
// Whoever writes the names of a package could otherwise choose thousands that share one hash
// value, and each lookup in a table of them would walk all the others. Under a secret key the
// values of names cannot be foreseen, so no input can crowd a table.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace pelvane {

// The 16 bytes of a hash key.
struct HashKey {
  std::array<unsigned char, 16> bytes{};

  // This process's key: drawn from the system's random source the first time it is asked for
  // (by any thread), the same afterwards.
  static const HashKey& process();
};

// SipHash-1-3 of `bytes` under `key`, as a number (the little-endian reading of its eight
// bytes).
std::uint64_t keyed_hash(std::string_view bytes, const HashKey& key);

// The hash under the process key, for hash tables: of text, and of numbers read from outside
// (the standard library hashes an integer to itself, so chosen numbers would collide as well).
// Transparent, so that a table of strings is looked up by a view.
struct KeyedHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view text) const noexcept;
  std::size_t operator()(std::uint64_t number) const noexcept;
};

}  // namespace pelvane
