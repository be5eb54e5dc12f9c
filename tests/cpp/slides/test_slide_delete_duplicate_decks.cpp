// Every slide of every real deck deleted alone and duplicated through the engine, so that the
// sanitizer build runs both operations over real packages (the Python tests lint the outputs).
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <string>

#include "core/package/slide_order.hpp"
#include "core/slides/slide_delete_operations.hpp"
#include "core/slides/slide_duplicate_operations.hpp"
#include "core/zip/package_archive.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

TEST(RealDecks, EverySlideIsDeletedAndDuplicated) {
  const auto decks = test::decks_dir();
  if (!decks) GTEST_SKIP() << test::missing_decks_reason();
  test::TempDir dir;
  const std::string output = dir.file("out.pptx");
  std::size_t slides_seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator(*decks)) {
    const std::string path = entry.path().string();
    if (!path.ends_with(".pptx") && !path.ends_with(".pptm")) continue;
    auto archive = PackageArchive::open_file(path);
    ASSERT_TRUE(archive) << path;
    const auto slides = slide_parts(*archive);
    ASSERT_TRUE(slides) << path;
    for (const std::string& slide : *slides) {
      if (slides->size() > 1) {
        const std::string targets[] = {slide};
        const auto deleted = delete_slides(path, output, targets, std::nullopt);
        ASSERT_TRUE(deleted) << path << " " << slide << ": " << deleted.error().to_string();
        EXPECT_EQ(deleted->survivor_count, slides->size() - 1);
      }
      const auto copied = duplicate_slide(path, output, slide);
      if (copied) {
        EXPECT_EQ(copied->slide_count, slides->size() + 1);
      } else {  // a relationship type without a copy rule
        EXPECT_TRUE(copied.error().to_string().starts_with(
            "invalid input: cannot duplicate slide relationship type "))
            << path << " " << slide << ": " << copied.error().to_string();
      }
      ++slides_seen;
    }
  }
  EXPECT_GT(slides_seen, 0u);
}

}  // namespace
}  // namespace pelvane
