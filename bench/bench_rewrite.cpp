// Drives the package rewrite from the command line, for the benchmark and for the tests that
// check rewritten archives with an independent reader.
//
//   bench_rewrite replace <input> <output> <part> <content-file>
//       one part replaced, everything else copied raw; prints the package facts as JSON
//   bench_rewrite recompress <input> <output> <raw|directory|empty-file> [drop=<name>]...
//                [add=<name>=<content-file>]...
//       every kept entry decompressed and written again
//   bench_rewrite replace-first-slide <input> <output>
//       the first slide in presentation order replaced by its own bytes (what the benchmark
//       times); prints the package facts as JSON
//   bench_rewrite time <input> <output> [repeats]
//       times the rewrite with the first slide replaced by itself against a plain copy of the
//       file, run alternately, and prints both medians and their ratio as JSON
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/file_output.hpp"
#include "core/package/package_rewrite.hpp"
#include "core/package/slide_order.hpp"
#include "core/zip/package_archive.hpp"

namespace {

using pelvane::PackageArchive;
using pelvane::PackageFacts;

std::string read_whole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

int report(const pelvane::Result<PackageFacts>& facts) {
  if (!facts) {
    std::cout << "{\"error\": \"" << facts.error().to_string() << "\"}\n";
    return 1;
  }
  std::cout << "{\"part_count\": " << facts->part_count
            << ", \"has_vba\": " << (facts->has_vba ? "true" : "false") << "}\n";
  return 0;
}

// One entry (exact name) written from `content` with its own compression method, every other
// entry copied raw: the rewrite of every slide edit.
pelvane::Result<PackageFacts> write_package_with_replaced_part(PackageArchive& input,
                                                               const std::string& output,
                                                               std::string_view part_name,
                                                               std::string_view content) {
  pelvane::RewritePlan plan;
  plan.decide = [&](std::uint64_t, std::string_view name) {
    return name == part_name ? pelvane::EntryDecision{pelvane::EntryAction::Replace, content}
                             : pelvane::EntryDecision{};
  };
  return pelvane::write_package(input, output, plan);
}

int replace(int argc, char** argv) {
  if (argc != 6) return 2;
  auto archive = PackageArchive::open_file(argv[2]);
  if (!archive) return report(std::unexpected(archive.error()));
  std::string content = read_whole(argv[5]);
  return report(write_package_with_replaced_part(*archive, argv[3], argv[4], content));
}

int recompress(int argc, char** argv) {
  if (argc < 5) return 2;
  auto archive = PackageArchive::open_file(argv[2]);
  if (!archive) return report(std::unexpected(archive.error()));
  pelvane::RewritePlan plan;
  plan.style = pelvane::RewriteStyle::Recompress;
  std::string style = argv[4];
  plan.directories = style == "raw"         ? pelvane::DirectoryStyle::RawCopy
                     : style == "directory" ? pelvane::DirectoryStyle::AsDirectory
                                            : pelvane::DirectoryStyle::AsEmptyFile;
  std::set<std::string, std::less<>> dropped;
  for (int i = 5; i < argc; ++i) {
    std::string option = argv[i];
    if (option.starts_with("drop=")) {
      dropped.insert(option.substr(5));
    } else if (option.starts_with("add=")) {
      std::string rest = option.substr(4);
      std::size_t equals = rest.find('=');
      plan.new_entries.push_back({rest.substr(0, equals), read_whole(rest.substr(equals + 1))});
    }
  }
  plan.decide = [&](std::uint64_t, std::string_view name) {
    return dropped.contains(name) ? pelvane::EntryDecision{pelvane::EntryAction::Drop}
                                  : pelvane::EntryDecision{};
  };
  return report(pelvane::write_package(*archive, argv[3], plan));
}

// The first slide replaced by its own bytes: the rewrite every slide edit performs.
pelvane::Result<PackageFacts> replace_first_slide(const std::string& input,
                                                  const std::string& output) {
  auto archive = PackageArchive::open_file(input);
  if (!archive) return std::unexpected(archive.error());
  auto slide = pelvane::slide_part_at_index(*archive, 0);
  if (!slide) return std::unexpected(slide.error());
  if (!*slide)
    return std::unexpected(pelvane::PelvaneError::invalid_input("slide index 0 was not found"));
  auto content = pelvane::read_archive_bytes(*archive, **slide);
  if (!content) return std::unexpected(content.error());
  return write_package_with_replaced_part(*archive, output, **slide, content->value_or(""));
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

int time_rewrite(int argc, char** argv) {
  if (argc < 4) return 2;
  const std::string input = argv[2];
  const std::string output = argv[3];
  const int repeats = argc > 4 ? std::max(1, std::atoi(argv[4])) : 5;
  const std::string copy_output = output + ".copy";
  std::vector<double> rewrite_seconds;
  std::vector<double> copy_seconds;
  using Clock = std::chrono::steady_clock;
  for (int round = 0; round < repeats; ++round) {
    // Both runs write a fresh file: freeing the previous output is not part of either.
    std::filesystem::remove(output);
    std::filesystem::remove(copy_output);
    auto start = Clock::now();
    auto facts = replace_first_slide(input, output);
    if (!facts) return report(facts);
    rewrite_seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());

    start = Clock::now();
    std::string command = "cp '" + input + "' '" + copy_output + "'";
    if (std::system(command.c_str()) != 0) {
      std::cerr << "cp failed\n";
      return 1;
    }
    copy_seconds.push_back(std::chrono::duration<double>(Clock::now() - start).count());
  }
  std::filesystem::remove(copy_output);
  std::filesystem::remove(output);
  const double rewrite = median(rewrite_seconds);
  const double copy = median(copy_seconds);
  std::printf(
      "{\"input_bytes\": %llu, \"rewrite_seconds\": %.4f, \"copy_seconds\": %.4f, \"ratio\": "
      "%.3f}\n",
      static_cast<unsigned long long>(std::filesystem::file_size(input)), rewrite, copy,
      rewrite / copy);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::string command = argv[1];
  if (command == "replace") return replace(argc, argv);
  if (command == "recompress") return recompress(argc, argv);
  if (command == "time") return time_rewrite(argc, argv);
  if (command == "replace-first-slide" && argc == 4)
    return report(replace_first_slide(argv[2], argv[3]));
  std::cerr << "unknown command " << command << "\n";
  return 2;
}
