#include <gtest/gtest.h>

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/name_set.hpp"

namespace pelvane {
namespace {

// Against a plain ordered set, through many growths: an insertion is new exactly once, every name
// is found (the empty one and one with a NUL byte included), others are not, and the names come
// back in the order first inserted. Owned names stay whole when their array moves.
TEST(NameSet, KeepsEachNameOnceInInsertionOrder) {
  std::vector<std::string> names = {"", std::string("a\0b", 3), "a"};
  for (int i = 0; i < 3000; ++i)
    names.push_back("ppt/slides/slide" + std::to_string(i * 7 % 2000) + ".xml long enough");
  NameSet<std::string> owned;
  NameSet<std::string_view> viewed;
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
  EXPECT_EQ(NameSet<std::string>(first_order.rbegin(), first_order.rend()), owned);
  EXPECT_FALSE(NameSet<std::string_view>({"a", "b"}) == NameSet<std::string_view>({"a", "c"}));
}

}  // namespace
}  // namespace pelvane
