// Writing a whole new package from an input package: one copy loop for every editing
// operation (archive_copy.hpp), each stating only its policy, and the facts every editing
// result reports about the package written.
//
// Output goes to a temporary file beside the output path, renamed over it only when the package
// is complete: a failure leaves no output and never touches an existing one, and input and
// output may name the same file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/zip/archive_copy.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {

// What a rewrite reports about the package it wrote; every editing result ends with these.
struct PackageFacts {
  std::uint64_t part_count = 0;  // entries written, directories included
  bool has_vba = false;          // some written entry's name ends with "vbaProject.bin"

  friend bool operator==(const PackageFacts&, const PackageFacts&) = default;
};

// Counts one written entry.
void update_package_facts(std::string_view name, PackageFacts& facts);

// Writes the package to `output_path` (through a temporary file renamed over it at the end).
Result<PackageFacts> write_package(PackageArchive& input, std::string_view output_path,
                                   const RewritePlan& plan);

// Writes the package into `output`, replacing its content (starting in the capacity the caller
// reserved).
Result<PackageFacts> write_package_to_buffer(PackageArchive& input, std::string& output,
                                             const RewritePlan& plan);

}  // namespace pelvane
