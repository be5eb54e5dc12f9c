#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

#include "core/base/file_output.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

using test::TempDir;

// Appends bytes through the temporary file's descriptor, as the archive writer does.
bool append(const AtomicOutputFile& file, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(file.fd(), bytes.data(), bytes.size());
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

std::size_t files_in(const std::filesystem::path& dir) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(dir), {}));
}

TEST(FileOutput, RefusesPathsWithANulByte) {
  EXPECT_TRUE(check_path("deck.pptx"));
  EXPECT_TRUE(check_path(""));
  const std::string_view nul("deck.pptx\0.bak", 14);
  for (auto result : {check_path(nul), create_parent_directories(nul)}) {
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().to_string(), "io error: file name contained an unexpected NUL byte");
  }
  const auto file = AtomicOutputFile::create(nul);
  ASSERT_FALSE(file);
  EXPECT_EQ(file.error().to_string(), "io error: file name contained an unexpected NUL byte");
}

TEST(FileOutput, CreatesMissingParentDirectories) {
  TempDir dir;
  ASSERT_TRUE(create_parent_directories(dir.file("a/b/c/out.pptx")));
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("a/b/c")));
  EXPECT_TRUE(create_parent_directories(dir.file("a/b/c/out.pptx")));  // already there
  EXPECT_TRUE(create_parent_directories("out.pptx"));                  // no parent component
  test::write_file(dir.file("file"), "x");
  const auto blocked = create_parent_directories(dir.file("file/sub/out.pptx"));
  ASSERT_FALSE(blocked);
  EXPECT_EQ(blocked.error().kind(), PelvaneError::Kind::Io);
}

TEST(FileOutput, CommitReplacesTheOutputWithEverythingWrittenInOrder) {
  TempDir dir;
  const std::string output = dir.file("out.bin");
  test::write_file(output, "old content");
  std::string expected;
  {
    auto file = AtomicOutputFile::create(output);
    ASSERT_TRUE(file) << file.error().to_string();
    // Everything written before the commit arrives, in order, and only with the commit.
    for (int i = 0; i < 3; ++i) {
      const std::string small(100 + i, static_cast<char>('a' + i));
      const std::string large((1u << 20) + 3 + i, static_cast<char>('A' + i));
      ASSERT_TRUE(append(*file, small));
      ASSERT_TRUE(append(*file, large));
      expected += small + large;
    }
    EXPECT_EQ(test::read_file(output), "old content");  // untouched until the commit
    AtomicOutputFile moved = std::move(*file);
    ASSERT_TRUE(moved.commit());
  }
  EXPECT_EQ(test::read_file(output), expected);
  EXPECT_EQ(files_in(dir.path()), 1u);

  const mode_t mask = ::umask(0);
  ::umask(mask);
  struct stat status{};
  ASSERT_EQ(::stat(output.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask);
}

TEST(FileOutput, AnUncommittedFileLeavesNothingBehind) {
  TempDir dir;
  const std::string output = dir.file("out.bin");
  test::write_file(output, "keep me");
  {
    auto file = AtomicOutputFile::create(output);
    ASSERT_TRUE(file);
    ASSERT_TRUE(append(*file, std::string(3u << 20, 'z')));
    EXPECT_EQ(files_in(dir.path()), 2u);
  }
  EXPECT_EQ(test::read_file(output), "keep me");
  EXPECT_EQ(files_in(dir.path()), 1u);

  // A commit that cannot rename (the output is a non-empty directory) removes the temporary.
  std::filesystem::create_directories(dir.file("taken/inner"));
  {
    auto file = AtomicOutputFile::create(dir.file("taken"));
    ASSERT_TRUE(file);
    ASSERT_TRUE(append(*file, "x"));
    EXPECT_FALSE(file->commit());
  }
  EXPECT_EQ(files_in(dir.path()), 2u);

  const auto nowhere = AtomicOutputFile::create(dir.file("missing/out.bin"));
  ASSERT_FALSE(nowhere);
  EXPECT_EQ(nowhere.error().to_string(), "io error: No such file or directory");
}

TEST(FileOutput, LongOutputNamesStillGetATemporaryFile) {
  TempDir dir;
  const std::string output = dir.file(std::string(250, 'n') + ".pptx");
  auto file = AtomicOutputFile::create(output);
  ASSERT_TRUE(file) << file.error().to_string();
  ASSERT_TRUE(append(*file, "ok"));
  ASSERT_TRUE(file->commit());
  EXPECT_EQ(test::read_file(output), "ok");
}

}  // namespace
}  // namespace pelvane
