#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "core/zip/zip_sink.hpp"
#include "test_support.hpp"

namespace pelvane {
namespace {

using test::TempDir;

// One call on a sink: bytes written, a span of input file 0 or 1 copied, bytes patched, or a
// local header followed by a span (at once when the sink takes them so, else as the writer
// writes them then).
struct Step {
  enum Kind { Write, Copy, Patch, HeaderAndCopy } kind;
  int file = 0;
  std::uint64_t offset = 0;
  std::uint64_t length = 0;
};

struct SinkCase {
  const char* label;
  std::vector<Step> steps;
  const char* failure = nullptr;  // what the file sink's flush reports, if it fails
};

std::vector<SinkCase> sink_cases() {
  constexpr std::uint64_t kMiB = 1 << 20;
  std::vector<SinkCase> cases;
  SinkCase headers{"headers written anew between spans close together", {}};
  for (std::uint64_t k = 0; k < 3000; ++k) {
    headers.steps.push_back({Step::Write, 0, k, 30});
    headers.steps.push_back({Step::Copy, 0, k * 100 + 30, 70});
  }
  cases.push_back(headers);
  SinkCase at_once{"headers and spans taken at once, short, long, past the buffer's room", {}};
  for (std::uint64_t k = 0; k < 3000; ++k)
    at_once.steps.push_back(
        {Step::HeaderAndCopy, static_cast<int>(k % 2), k * 20 + 30, k % 3 == 0 ? 0u : 17u});
  at_once.steps.insert(at_once.steps.end(), {{Step::HeaderAndCopy, 0, 5, 20000},
                                             {Step::Write, 0, 0, 900 * 1024},
                                             {Step::HeaderAndCopy, 0, 7, 200 * 1024},
                                             {Step::HeaderAndCopy, 1, 9, 50}});
  cases.push_back(at_once);
  cases.push_back({"a header and a span past the end of its file",
                   {{Step::HeaderAndCopy, 1, 60000, 10000}},
                   "zip error: input ended before the entry's data"});
  cases.push_back({"spans far apart and out of order",
                   {{Step::Copy, 0, 2 * kMiB, 500},
                    {Step::Copy, 0, 10, 500},
                    {Step::Copy, 0, kMiB, 40000},
                    {Step::Copy, 0, 60000, 7}}});
  cases.push_back({"two files in turn",
                   {{Step::Copy, 0, 0, 100},
                    {Step::Copy, 1, 0, 100},
                    {Step::Copy, 0, 100, 100},
                    {Step::Copy, 1, 150, 100},
                    {Step::Write, 0, 5, 3}}});
  cases.push_back({"a span across the end of the buffer",
                   {{Step::Write, 0, 0, 700 * 1024}, {Step::Copy, 0, 5, 900 * 1024}}});
  cases.push_back({"long spans copied in the kernel",
                   {{Step::Write, 0, 0, 10},
                    {Step::Copy, 0, 1, kMiB + kMiB / 2},
                    {Step::Copy, 1, 3, 50},
                    {Step::Copy, 0, 2 * kMiB, kMiB + 3}}});
  cases.push_back({"patches in the buffer and in the file",
                   {{Step::Write, 0, 0, 100},
                    {Step::Patch, 0, 10, 2},
                    {Step::Copy, 0, 0, 3000},
                    {Step::Write, 0, 7, 2 * kMiB},
                    {Step::Patch, 0, 20, 4}}});
  // Each way of placing a long copy against the output (string_room.hpp) is taken.
  SinkCase shifts{"long spans and blocks at every place against the output", {}};
  for (std::uint64_t k = 0; k < 64; ++k) {
    shifts.steps.push_back({Step::Write, 0, k, 1});
    shifts.steps.push_back({Step::Copy, static_cast<int>(k % 2), 100 * k, 20000});
    shifts.steps.push_back({Step::HeaderAndCopy, 0, 3 * k, 17000});
    if (k % 4 == 0) shifts.steps.push_back({Step::Write, 0, k, 300 * 1024});
  }
  cases.push_back(shifts);
  cases.push_back({"a span past the end of its file",
                   {{Step::Write, 0, 0, 10}, {Step::Copy, 1, 60000, 10000}},
                   "zip error: input ended before the entry's data"});
  return cases;
}

// With `read_ahead`, the sink reads ahead for every copy, from up to 86 bytes before its span on
// (room for a header written before it, or not), for entries as they lie and under new headers
// in turn, the whole span for every other step only; before the write that comes first, for
// some, which may land on the bytes read ahead.
Result<void> run_steps(ZipSink& sink, const std::vector<Step>& steps, const CopiedFile files[2],
                       bool read_ahead = false) {
  const std::string literal = test::noise(3 << 20, 11);
  const auto read_ahead_for = [&](std::size_t index) -> Result<void> {
    const Step& step = steps[index];
    if (step.kind == Step::Write || step.kind == Step::Patch) return {};
    const std::uint64_t from =
        step.offset - std::min<std::uint64_t>(step.offset, index % 3 * 40 + step.offset % 7);
    const std::uint64_t length = step.offset - from + step.length - (index % 2 == 1 ? 1 : 0);
    const ReadAheadUse use =
        index % 4 < 2 ? ReadAheadUse::AsTheyLie : ReadAheadUse::UnderNewHeaders;
    PELVANE_TRY_VOID(sink.read_ahead(files[step.file], from, length, use));
    return {};
  };
  const auto early = [&](std::size_t index) {
    return index > 0 && index % 5 == 0 && steps[index - 1].kind == Step::Write;
  };
  for (std::size_t index = 0; index < steps.size(); ++index) {
    const Step& step = steps[index];
    const std::string_view bytes = std::string_view(literal).substr(step.offset, step.length);
    const CopiedFile& file = files[step.file];
    if (read_ahead && index + 1 < steps.size() && early(index + 1))
      PELVANE_TRY_VOID(read_ahead_for(index + 1));
    if (read_ahead && !early(index)) PELVANE_TRY_VOID(read_ahead_for(index));
    if (step.kind == Step::HeaderAndCopy) {
      LocalHeaderFixed fixed;
      literal.copy(fixed.data(), fixed.size(), step.offset);
      const std::string_view name = std::string_view(literal).substr(step.length, 11);
      const std::string_view extra = std::string_view(literal).substr(step.offset, step.offset % 5);
      if (sink.append_header_and_copy(fixed, name, extra, file, step.offset, step.length)) continue;
      const std::string header =
          std::string(fixed.data(), fixed.size()) + std::string(name) + std::string(extra);
      PELVANE_TRY_VOID(sink.write(header));
      PELVANE_TRY_VOID(sink.copy_from_file(file, step.offset, step.length));
      continue;
    }
    Result<void> done = step.kind == Step::Write ? sink.write(bytes)
                        : step.kind == Step::Patch
                            ? sink.patch(step.offset, bytes)
                            : sink.copy_from_file(file, step.offset, step.length);
    if (!done) return done;
  }
  return sink.flush();
}

// What a file sink writes equals what a memory sink collects, whichever way each span travels:
// read later, several in one read, copied inside the kernel, on one file system or across two
// (the RAM disk, when there is one), written from the input's bytes held in memory, or copied
// from them into the buffer behind a header, or taken from bytes read ahead into the buffer.
TEST(FileZipSink, WritesWhatTheMemorySinkCollects) {
  TempDir dir;
  const std::string inputs[2] = {dir.file("a.bin"), dir.file("b.bin")};
  const std::string contents[2] = {test::noise(4 << 20, 1), test::noise(64 * 1024, 2)};
  test::write_file(inputs[0], contents[0]);
  test::write_file(inputs[1], contents[1]);
  const int fds[2] = {::open(inputs[0].c_str(), O_RDONLY), ::open(inputs[1].c_str(), O_RDONLY)};
  const CopiedFile read_files[2] = {{fds[0]}, {fds[1]}};
  const CopiedFile held_files[2] = {{fds[0], contents[0]}, {fds[1], contents[1]}};
  std::vector<std::string> outputs = {dir.file("out.zip")};
  if (std::filesystem::is_directory("/dev/shm"))
    outputs.push_back("/dev/shm/" + dir.path().filename().string() + ".zip");
  struct Removed {  // the output on the RAM disk goes even when an assertion ends the test
    const std::string path;
    ~Removed() { std::filesystem::remove(path); }
  } removed{outputs.back()};

  for (const SinkCase& sink_case : sink_cases()) {
    for (const int way : {0, 1, 2}) {
      const CopiedFile* files = way == 1 ? held_files : read_files;
      const bool read_ahead = way == 2;
      SCOPED_TRACE(sink_case.label);
      SCOPED_TRACE(way == 0 ? "read" : read_ahead ? "read ahead" : "held");
      std::string expected;
      MemoryZipSink memory(expected);
      const auto collected = run_steps(memory, sink_case.steps, read_files);
      for (const std::string& output : outputs) {
        SCOPED_TRACE(output);
        const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        FileZipSink sink(fd);
        const auto written = run_steps(sink, sink_case.steps, files, read_ahead);
        ::close(fd);
        if (sink_case.failure) {
          ASSERT_FALSE(collected);
          ASSERT_FALSE(written);
          EXPECT_EQ(written.error().to_string(), sink_case.failure);
        } else {
          ASSERT_TRUE(collected);
          ASSERT_TRUE(written) << written.error().to_string();
          EXPECT_TRUE(test::read_file(output) == expected);
        }
      }
    }
  }
  ::close(fds[0]);
  ::close(fds[1]);
}

}  // namespace
}  // namespace pelvane
