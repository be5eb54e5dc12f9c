// The package manifest (every entry with its size, kind and SHA-256 digest) and the round trip.
#pragma once

#include <string_view>

#include "core/base/error.hpp"
#include "core/model/models.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {

// The part's kind, from its name alone.
PartKind part_kind(std::string_view name);

// The manifest of an open archive, reported under `report_path`: one record per entry, sorted
// by name byte-wise.
Result<PackageManifest> inspect_archive(std::string_view report_path, PackageArchive& archive);

// Opens the package at `path` and returns its manifest.
Result<PackageManifest> inspect_package(std::string_view path);

// Copies the input file to the output path byte for byte, up to the size it had when it was
// opened (through a temporary file renamed over the output once complete, so the same path for
// both leaves the input intact), then returns the manifest of what was copied, read through the
// same descriptor, under the output path. An input that is not a regular file is refused before
// the output is created (`InputFile::open`); one that ends before that size is
// `InputFile::changed`, and the output is left untouched.
Result<PackageManifest> roundtrip_package(std::string_view input, std::string_view output);

}  // namespace pelvane
