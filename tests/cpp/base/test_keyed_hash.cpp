#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <ranges>
#include <string>
#include <vector>

#include "base/colliding_names.hpp"
#include "core/base/keyed_hash.hpp"

namespace pelvane {
namespace {

HashKey key_of(unsigned char first) {
  HashKey key;
  for (unsigned char& byte : key.bytes) byte = first++;
  return key;
}

// The published SipHash-2-4 values for the key 00 01 .. 0f and the messages 00 01 .. (n-1).
TEST(KeyedHash, IsSipHash24) {
  const std::map<std::size_t, std::uint64_t> published = {
      {0, 0x726fdb47dd0e0e31u}, {15, 0xa129ca6149be45e5u}, {63, 0x958a324ceb064572u}};
  std::string message;
  for (const auto& [size, value] : published) {
    while (message.size() < size) message += static_cast<char>(message.size());
    EXPECT_EQ(keyed_hash(message, key_of(0)), value) << size;
  }
  EXPECT_EQ(KeyedHash{}(message), KeyedHash{}(std::string_view(message)));
  EXPECT_EQ(&HashKey::process(), &HashKey::process());
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
  const HashKey chosen_for = key_of(0), other = key_of(100);
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
