#include <gtest/gtest.h>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/colliding_names.hpp"
#include "core/base/name_set.hpp"

namespace pelvane {
namespace {

// The hashes a set is tried under: the process's keyed hash (its key random), one under a fixed
// key, and one value for every name, which leaves the bytes alone to tell names apart.
struct FixedKeyHash {
  std::uint64_t operator()(std::string_view name) const {
    static const HashKey key{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
    return keyed_hash(name, key);
  }
};
struct OneValueHash {
  std::uint64_t operator()(std::string_view) const { return 0x5EED; }
};

template <class Hash>
class NameSetUnder : public testing::Test {};
using Hashes = testing::Types<KeyedHash, FixedKeyHash, OneValueHash>;
TYPED_TEST_SUITE(NameSetUnder, Hashes);

// Against a plain ordered set, through many growths: an insertion is new exactly once, every name
// is found (the empty one, one with a NUL byte and names of one former unkeyed hash included),
// others are not, and the names come back in the order first inserted. Owned names stay whole
// when their array moves.
TYPED_TEST(NameSetUnder, KeepsEachNameOnceInInsertionOrder) {
  using Owned = NameSet<std::string, TypeParam>;
  using Viewed = NameSet<std::string_view, TypeParam>;
  std::vector<std::string> names = {"", std::string("a\0b", 3), "a"};
  for (int i = 0; i < 3000; ++i)
    names.push_back("ppt/slides/slide" + std::to_string(i * 7 % 2000) + ".xml long enough");
  for (std::string& name : test::names_of_one_former_hash(300)) names.push_back(std::move(name));
  names.push_back(names.back());
  Owned owned;
  Viewed viewed;
  std::set<std::string> oracle;
  std::vector<std::string> first_order;
  for (const std::string& name : names) {
    const bool fresh = oracle.insert(name).second;
    if (fresh) first_order.push_back(name);
    EXPECT_EQ(owned.insert(name), fresh) << name;
    EXPECT_EQ(viewed.insert(name), fresh) << name;
  }
  EXPECT_EQ(std::vector<std::string>(owned.begin(), owned.end()), first_order);
  EXPECT_EQ(viewed.size(), oracle.size());
  for (const std::string& name : names) EXPECT_TRUE(owned.contains(name) && viewed.contains(name));
  for (const std::string_view other :
       {"b", "ppt/slides/slide1.xml", "ppt/slides/slide3.xml long enough"})
    EXPECT_EQ(viewed.contains(other), oracle.contains(std::string(other))) << other;
  EXPECT_EQ(*owned.find("a"), "a");
  EXPECT_EQ(viewed.find("b"), nullptr);
  EXPECT_EQ(*viewed.index_of(first_order[5]), 5u);
  EXPECT_EQ(Owned(first_order.rbegin(), first_order.rend()), owned);
  EXPECT_FALSE(Viewed({"a", "b"}) == Viewed({"a", "c"}));
}

}  // namespace
}  // namespace pelvane
