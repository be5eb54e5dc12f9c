#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <map>
#include <ranges>
#include <string>
#include <utility>
#include <vector>

#include "base/colliding_names.hpp"
#include "core/base/keyed_hash.hpp"

namespace pelvane {
namespace {

// The hash is SipHash-1-3: its values under the zero key for the bytes 0, 1, 2, ... of a length,
// around whole words.
TEST(KeyedHash, IsSipHashOneThree) {
  const std::pair<std::size_t, std::uint64_t> expected[] = {
      {0, 0xd1fba762150c532cULL},  {7, 0x2f098ab0c751325aULL},  {8, 0xead411e67ebe2eeaULL},
      {15, 0xf30eb725bb91c9eaULL}, {16, 0x8972188433a5c5b7ULL}, {31, 0x169739443111d49bULL}};
  for (const auto& [length, value] : expected) {
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(i);
    EXPECT_EQ(keyed_hash(bytes, HashKey{}), value) << length << " bytes";
  }
}

// The most names of `names` that share the low 16 bits of their hash under `key`.
std::size_t largest_crowd(const std::vector<std::string>& names, const HashKey& key) {
  std::map<std::uint64_t, std::size_t> counts;
  for (const std::string& name : names) ++counts[keyed_hash(name, key) & 0xFFFF];
  return std::ranges::max(counts | std::views::values);
}

// Names that crowd one table slot under one hash spread under a key they were not chosen for:
// those of one value of the former unkeyed hash, and those found (by trying names) to share
// their low 16 bits under one key, under a second fixed key and under the process's key.
TEST(KeyedHash, NamesChosenToCollideSpreadUnderAnotherKey) {
  const HashKey chosen_for{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
  const HashKey other{{16, 15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1}};
  std::vector<std::string> former = test::names_of_one_former_hash(64);
  std::vector<std::string> keyed;
  for (std::uint64_t n = 0; keyed.size() < 16; ++n) {
    std::string name = "ppt/media/image" + std::to_string(n) + ".png";
    if ((keyed_hash(name, chosen_for) & 0xFFFF) == 0) keyed.push_back(std::move(name));
  }
  EXPECT_EQ(test::former_name_hash(former[0]), test::former_name_hash(former[63]));
  EXPECT_EQ(largest_crowd(keyed, chosen_for), 16u);
  for (const std::vector<std::string>* crowd : {&former, &keyed}) {
    EXPECT_LE(largest_crowd(*crowd, other), 2u);
    EXPECT_LE(largest_crowd(*crowd, HashKey::process()), 3u);
  }
}

}  // namespace
}  // namespace pelvane
