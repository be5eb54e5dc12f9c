#include <cstdint>
#include <gtest/gtest.h>
#include <span>
#include <string>
#include <tuple>

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

// The room agrees with its source modulo 64 and lies within the string, whatever the string
// held before; a copy whose destination lies 1 to 15 bytes past its source is the slow one.
TEST(StringRoom, PlacesRoomWhereItAgreesWithItsSource) {
  std::string text = "kept";
  for (const std::uint64_t source : {0u, 1u, 15u, 16u, 63u, 64u, 4097u, 300001u}) {
    const std::span<char> room = grow_unwritten_agreeing(text, 5000, source);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(room.data()) % 64, source % 64);
    EXPECT_EQ(room.size(), 5000u);
    EXPECT_LE(room.data() + room.size(), text.data() + text.size());
    EXPECT_GE(room.data(), text.data());
  }
  for (const auto& [destination, source, slow] : {std::tuple{64u, 0u, false},
                                                  {65u, 0u, true},
                                                  {79u, 0u, true},
                                                  {80u, 0u, false},
                                                  {0u, 63u, true},
                                                  {0u, 1u, false},
                                                  {100u, 100u, false}})
    EXPECT_EQ(is_slow_copy(destination, source), slow) << destination << " " << source;
}

}  // namespace
}  // namespace pelvane
