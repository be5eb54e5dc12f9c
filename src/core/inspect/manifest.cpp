#include "core/inspect/manifest.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/base/file_input.hpp"
#include "core/base/file_output.hpp"
#include "core/base/sha256.hpp"
#include "core/package/slide_edit.hpp"

namespace pelvane {
namespace {

// Entries are hashed in chunks of this size: large enough that the per-call cost of the archive
// library vanishes, small enough that no entry is ever held whole for hashing.
constexpr std::size_t kChunkSize = std::size_t{1} << 20;

}  // namespace

PartKind part_kind(std::string_view name) {
  if (name.ends_with(".rels")) return PartKind::Relationships;
  if (name.ends_with("vbaProject.bin")) return PartKind::Vba;
  if (name.ends_with(".xml")) return PartKind::Xml;
  if (name.starts_with("ppt/media/")) return PartKind::Media;
  if (name.starts_with("ppt/embeddings/")) return PartKind::Embedding;
  return PartKind::Binary;
}

Result<PackageManifest> inspect_archive(std::string_view report_path, PackageArchive& archive) {
  PackageManifest manifest;
  manifest.path = std::string(report_path);
  const std::uint64_t count = archive.entry_count();
  manifest.parts.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, 1 << 16)));
  // One chunk buffer and one hasher serve every entry; only the digest text is kept.
  std::vector<char> buffer;
  Sha256 hasher;
  for (std::uint64_t index = 0; index < count; ++index) {
    EntryReader entry = PELVANE_TRY(EntryReader::open(archive, index));
    const std::string_view name = PELVANE_TRY(archive.checked_entry_name(index));
    const std::uint64_t size = entry_declared_size(archive, index);
    const auto wanted =
        static_cast<std::size_t>(std::clamp<std::uint64_t>(size + 1, 4096, kChunkSize));
    if (buffer.size() < wanted) buffer.resize(wanted);
    PartRecord record;
    record.name = name;
    record.size = PELVANE_TRY(
        stream_archive_entry(entry, buffer, [&](std::string_view chunk) { hasher.update(chunk); }));
    record.sha256 = hasher.hex_digest();
    record.kind = part_kind(record.name);
    manifest.parts.push_back(std::move(record));
  }
  std::stable_sort(manifest.parts.begin(), manifest.parts.end(),
                   [](const PartRecord& a, const PartRecord& b) { return a.name < b.name; });
  return manifest;
}

Result<PackageManifest> inspect_package(std::string_view path) {
  PackageArchive archive = PELVANE_TRY(PackageArchive::open_file(path));
  return inspect_archive(path, archive);
}

Result<PackageManifest> roundtrip_package(std::string_view input, std::string_view output) {
  PELVANE_TRY_VOID(prepare_edit_paths(input, output, EditOptions{}));
  // Only a regular file is copied: a device or a FIFO, which could feed the copy without end
  // or hold it forever, is refused before the output is created.
  InputFile source = PELVANE_TRY(InputFile::open(input));
  {
    // The copy goes to a temporary file beside the output and replaces the output only once
    // complete, so an output naming the input never empties it. It holds the file as it was
    // when opened, however it grows meanwhile.
    AtomicOutputFile copy = PELVANE_TRY(AtomicOutputFile::create(output));
    const std::uint64_t copied = PELVANE_TRY(copy.copy_from(source.fd(), source.size()));
    if (copied < source.size()) return fail(source.changed());
    PELVANE_TRY_VOID(copy.commit());
  }
  // The check reads the same file as the copy, through the same descriptor.
  PackageArchive archive = PELVANE_TRY(PackageArchive::open_input(std::move(source)));
  PackageManifest manifest = PELVANE_TRY(inspect_archive(input, archive));
  manifest.path = std::string(output);
  return manifest;
}

}  // namespace pelvane
