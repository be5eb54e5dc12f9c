#include <gtest/gtest.h>
#include <string>
#include <thread>

#include "core/base/buffer_shelf.hpp"

namespace pelvane {
namespace {

using Shelf = BufferShelf<std::string>;
constexpr std::size_t kKiB = 1024;

// Each case runs on a thread of its own, whose shelves start empty.
template <class Body>
void on_fresh_thread(Body body) {
  std::thread(body).join();
}

TEST(BufferShelf, TakesTheSmallestKeptBufferThatFits) {
  on_fresh_thread([] {
    std::string small = Shelf::take(100 * kKiB);
    std::string large = Shelf::take(400 * kKiB);
    const char* small_at = small.data();
    const char* large_at = large.data();
    Shelf::give_back(std::move(large));
    Shelf::give_back(std::move(small));
    const std::string first = Shelf::take(90 * kKiB);
    const std::string second = Shelf::take(90 * kKiB);
    EXPECT_EQ(first.data(), small_at);
    EXPECT_EQ(second.data(), large_at);
    // Both are out: a nested take makes a new one.
    EXPECT_EQ(Shelf::take(90 * kKiB).capacity(), 90 * kKiB);
  });
}

TEST(BufferShelf, KeepsNoHugeBufferAndNoneForAnotherUse) {
  on_fresh_thread([] {
    // A kept buffer would be handed out whole to a smaller take that it fits.
    Shelf::give_back(Shelf::take(17 * 1024 * kKiB));
    EXPECT_EQ(Shelf::take(100 * kKiB).capacity(), 100 * kKiB);
    Shelf::give_back(Shelf::take(150 * kKiB));
    EXPECT_EQ((BufferShelf<std::string, ShelfUse::WrittenText>::take(100 * kKiB).capacity()),
              100 * kKiB);
    EXPECT_EQ(Shelf::take(100 * kKiB).capacity(), 150 * kKiB);
  });
}

TEST(BufferShelf, ReleasesAKeptBufferTooSmallForATake) {
  on_fresh_thread([] {
    Shelf::give_back(Shelf::take(100 * kKiB));
    // Made anew at the size asked for, not grown from the kept one (which would double it).
    std::string larger = Shelf::take(150 * kKiB);
    EXPECT_EQ(larger.capacity(), 150 * kKiB);
    Shelf::give_back(std::move(larger));
    // The smaller one is gone: the larger one is the only one left to fit.
    EXPECT_EQ(Shelf::take(100 * kKiB).capacity(), 150 * kKiB);
  });
}

}  // namespace
}  // namespace pelvane
