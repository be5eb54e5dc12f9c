#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

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
  struct stat status {};
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

// Writes `bytes` to `output` through a committed temporary file.
void replace_through_temporary(const std::string& output, std::string_view bytes) {
  auto file = AtomicOutputFile::create(output);
  ASSERT_TRUE(file) << file.error().to_string();
  ASSERT_TRUE(append(*file, bytes));
  ASSERT_TRUE(file->commit());
}

TEST(FileOutput, AReplacedFileKeepsItsPermissionsAndOwner) {
  TempDir dir;
  const std::string output = dir.file("deck.pptx");
  for (const mode_t mode : {0600, 0640, 0604, 0755, 0400}) {
    test::write_file(output, "old");
    ASSERT_EQ(::chmod(output.c_str(), mode), 0);
    replace_through_temporary(output, "new");
    struct stat status {};
    ASSERT_EQ(::stat(output.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, mode) << std::oct << mode;
    EXPECT_EQ(test::read_file(output), "new");
    EXPECT_EQ(files_in(dir.path()), 1u);
  }
  // Only a privileged process can give the file another owner.
  if (::geteuid() != 0) GTEST_SKIP() << "owner and group are kept only when running as root";
  ASSERT_EQ(::chown(output.c_str(), 4242, 4343), 0);
  ASSERT_EQ(::chmod(output.c_str(), 0640), 0);
  replace_through_temporary(output, "owned");
  struct stat status {};
  ASSERT_EQ(::stat(output.c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, 4242u);
  EXPECT_EQ(status.st_gid, 4343u);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
}

TEST(FileOutput, SymbolicLinksLeadToTheFileThatIsReplaced) {
  TempDir dir;
  std::filesystem::create_directories(dir.file("real"));
  const std::string target = dir.file("real/deck.pptx");
  test::write_file(target, "old");
  ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
  // A relative link, and a link to that link from another folder.
  std::filesystem::create_symlink("real/deck.pptx", dir.file("link.pptx"));
  std::filesystem::create_directories(dir.file("other"));
  std::filesystem::create_symlink(dir.file("link.pptx"), dir.file("other/chain.pptx"));
  for (const char* through : {"link.pptx", "other/chain.pptx"}) {
    SCOPED_TRACE(through);
    const auto resolved = resolve_output_path(dir.file(through));
    ASSERT_TRUE(resolved);
    EXPECT_EQ(std::filesystem::canonical(*resolved), std::filesystem::canonical(target));
    replace_through_temporary(dir.file(through), through);
    EXPECT_EQ(test::read_file(target), through);
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file(through)));
    struct stat status {};
    ASSERT_EQ(::stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(files_in(dir.file("real")), 1u);
    EXPECT_EQ(files_in(dir.file("other")), 1u);
  }

  // A dangling link: the file it names is created.
  std::filesystem::create_symlink("real/new.pptx", dir.file("dangling.pptx"));
  replace_through_temporary(dir.file("dangling.pptx"), "created");
  EXPECT_EQ(test::read_file(dir.file("real/new.pptx")), "created");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("dangling.pptx")));

  // A loop is refused as opening it would be.
  std::filesystem::create_symlink("loop-b", dir.file("loop-a"));
  std::filesystem::create_symlink("loop-a", dir.file("loop-b"));
  const auto loop = AtomicOutputFile::create(dir.file("loop-a"));
  ASSERT_FALSE(loop);
  EXPECT_EQ(loop.error().to_string(), "io error: Too many levels of symbolic links");
}

TEST(FileOutput, OutputsThatAreNotRegularFilesAreRefused) {
  TempDir dir;
  std::vector<std::string> specials;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  specials.push_back(fifo);
  const std::string socket_path = dir.file("socket");
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(sock, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(socket_path.size(), sizeof address.sun_path);
  socket_path.copy(address.sun_path, socket_path.size());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(sock);
  specials.push_back(socket_path);
  // A private copy of the null device, where the process may make one.
  const std::string device = dir.file("null");
  if (::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0) specials.push_back(device);
  std::filesystem::create_symlink("fifo", dir.file("to-fifo"));
  specials.push_back(dir.file("to-fifo"));

  for (const std::string& path : specials) {
    SCOPED_TRACE(path);
    const std::string message = "io error: output " + path + " is not a regular file";
    const auto resolved = resolve_output_path(path);
    ASSERT_FALSE(resolved);
    EXPECT_EQ(resolved.error().to_string(), message);
    const auto file = AtomicOutputFile::create(path);
    ASSERT_FALSE(file);
    EXPECT_EQ(file.error().to_string(), message);
  }
  EXPECT_EQ(files_in(dir.path()), specials.size());
  struct stat status {};
  ASSERT_EQ(::lstat(fifo.c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
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
