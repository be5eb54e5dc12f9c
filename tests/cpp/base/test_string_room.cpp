#include <gtest/gtest.h>

#include <string>

#include "core/base/string_room.hpp"

namespace pelvane {
namespace {

// The string takes exactly the size asked for, however much it has to grow for it, and keeps
// its bytes up to the old size.
TEST(StringRoom, GrowsToTheSizeAskedFor) {
  std::string text = "kept";
  for (const std::size_t size : {5u, 20u, 29u, 31u, 4096u, 5000u, 300000u, 262500u, 7u}) {
    grow_unwritten(text, size);
    EXPECT_EQ(text.size(), size);
    EXPECT_EQ(text.substr(0, 4), "kept");
  }
}

}  // namespace
}  // namespace pelvane
