#include "core/package_archive.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <utility>
#include <vector>

#include "core/file_output.hpp"
#include "core/json_out.hpp"
#include "core/sha256.hpp"

namespace pelvane {
namespace {

// Entries are read in chunks of this size: large enough that the per-call cost of the archive
// library vanishes, small enough that no entry is ever held whole for hashing.
constexpr std::size_t kChunkSize = std::size_t{1} << 20;
// Whole-entry reads reserve at most this much up front; a header may claim any size.
constexpr std::uint64_t kMaxReserve = std::uint64_t{64} << 20;

constexpr std::string_view kInvalidUtf8 = "stream did not contain valid UTF-8";

std::string error_text(zip_error_t* error) { return zip_error_strerror(error); }

// Opens a read-only archive over `source` (null when creating the source failed, with `error`
// saying why). Consumes `error`; on failure the source is freed.
Result<zip_t*> open_source(zip_source_t* source, zip_error_t* error) {
  zip_t* archive = nullptr;
  if (source != nullptr) {
    archive = zip_open_from_source(source, ZIP_RDONLY, error);
    if (archive == nullptr) zip_source_free(source);
  }
  if (archive == nullptr) {
    PelvaneError failure = PelvaneError::zip(error_text(error));
    zip_error_fini(error);
    return fail(std::move(failure));
  }
  zip_error_fini(error);
  return archive;
}

// The declared uncompressed size of an entry, when the central directory gives one.
std::uint64_t declared_size(zip_t* archive, std::uint64_t index) {
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) return 0;
  return stat.size;
}

// Lengthens `text` to `size` bytes without clearing the new ones; the caller overwrites them
// before they are read, or cuts them off.
void grow_unwritten(std::string& text, std::size_t size) {
  text.resize_and_overwrite(size, [](char*, std::size_t length) { return length; });
}

// Reads an opened entry whole into a string, straight into the string's own storage: room for
// the declared size and one byte more, so that an entry of the declared size ends in the second
// read and the string is never reallocated; more room (doubling) only for an entry that is
// longer than declared, or whose size is unknown. The CRC-32 is checked at the end, as in
// `stream_archive_entry`.
Result<std::string> read_whole(zip_t* archive, std::uint64_t index, zip_file_t* file) {
  const std::uint64_t size = declared_size(archive, index);
  std::string content;
  grow_unwritten(content, static_cast<std::size_t>(std::clamp<std::uint64_t>(size + 1, 4096, kMaxReserve)));
  std::size_t filled = 0;
  for (;;) {
    if (filled == content.size()) grow_unwritten(content, content.size() * 2);
    const zip_int64_t got = zip_fread(file, content.data() + filled, content.size() - filled);
    if (got < 0) return fail(PelvaneError::io(zip_file_strerror(file)));
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  content.resize(filled);
  return content;
}

// Directory and name of an entry name: both rules look at plain bytes.
bool ends_with(std::string_view name, std::string_view suffix) { return name.ends_with(suffix); }
bool starts_with(std::string_view name, std::string_view prefix) { return name.starts_with(prefix); }

}  // namespace

void PackageArchive::ArchiveCloser::operator()(zip_t* archive) const noexcept { zip_discard(archive); }

PackageArchive::PackageArchive(zip_t* archive, std::string path)
    : archive_(archive), path_(std::move(path)) {}

std::string archive_error_message(zip_t* archive) { return error_text(zip_get_error(archive)); }

Result<ZipEntryFile> open_archive_entry(PackageArchive& archive, std::uint64_t index,
                                        zip_flags_t flags) {
  zip_file_t* file = zip_fopen_index(archive.handle(), index, flags);
  if (file == nullptr) return fail(PelvaneError::zip(archive_error_message(archive.handle())));
  return ZipEntryFile(file);
}

Result<void> check_entry_opens(PackageArchive& archive, std::uint64_t index) {
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive.handle(), index, 0, &stat) != 0) {
    return fail(PelvaneError::zip(archive_error_message(archive.handle())));
  }
  const bool encrypted =
      (stat.valid & ZIP_STAT_ENCRYPTION_METHOD) != 0 && stat.encryption_method != ZIP_EM_NONE;
  if (!encrypted && (stat.valid & ZIP_STAT_COMP_METHOD) != 0 &&
      zip_compression_method_supported(stat.comp_method, 0) == 0) {
    zip_error_t error;
    zip_error_init_with_code(&error, ZIP_ER_COMPNOTSUPP);
    PelvaneError failure = PelvaneError::zip(zip_error_strerror(&error));
    zip_error_fini(&error);
    return fail(std::move(failure));
  }
  PELVANE_TRY(open_archive_entry(archive, index, ZIP_FL_COMPRESSED));
  return {};
}

Result<std::string> read_archive_entry(PackageArchive& archive, std::uint64_t index) {
  ZipEntryFile file = PELVANE_TRY(open_archive_entry(archive, index));
  return read_whole(archive.handle(), index, file.get());
}

Result<PackageArchive> PackageArchive::open_file(std::string_view path) {
  PELVANE_TRY_VOID(check_path(path));
  std::string owned_path(path);
  std::FILE* file = std::fopen(owned_path.c_str(), "rbe");
  if (file == nullptr) return fail(PelvaneError::io(os_error_message(errno)));
  // Opening a directory for reading succeeds; refuse it as the operating system would a read.
  struct stat status;
  if (::fstat(::fileno(file), &status) == 0 && S_ISDIR(status.st_mode)) {
    std::fclose(file);
    return fail(PelvaneError::io(os_error_message(EISDIR)));
  }

  zip_error_t error;
  zip_error_init(&error);
  // The source takes the stream over and closes it when the source is freed.
  zip_source_t* source = zip_source_filep_create(file, 0, -1, &error);
  if (source == nullptr) std::fclose(file);
  auto archive = open_source(source, &error);
  if (!archive) return fail(std::move(archive).error());
  return PackageArchive(*archive, std::move(owned_path));
}

Result<PackageArchive> PackageArchive::open_bytes(std::string_view bytes) {
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.empty() ? nullptr : bytes.data(),
                                                  bytes.size(), 0, &error);
  auto archive = open_source(source, &error);
  if (!archive) return fail(std::move(archive).error());
  return PackageArchive(*archive, std::string());
}

std::uint64_t PackageArchive::entry_count() const {
  const zip_int64_t count = zip_get_num_entries(archive_.get(), 0);
  return count < 0 ? 0 : static_cast<std::uint64_t>(count);
}

std::string_view PackageArchive::entry_name(std::uint64_t index) const {
  const char* name = zip_get_name(archive_.get(), index, 0);
  return name == nullptr ? std::string_view() : std::string_view(name);
}

std::optional<std::uint64_t> PackageArchive::find(std::string_view name) const {
  // A name with a NUL byte would be cut short by the C interface and match another entry.
  if (name.find('\0') != std::string_view::npos) return std::nullopt;
  // Flags 0: an exact, case-sensitive lookup through the name index, over the names as they
  // are decoded for `entry_name`.
  const zip_int64_t index = zip_name_locate(archive_.get(), std::string(name).c_str(), 0);
  if (index < 0) return std::nullopt;
  return static_cast<std::uint64_t>(index);
}

bool PackageArchive::is_directory(std::uint64_t index) const {
  return entry_name(index).ends_with('/');
}

Result<std::optional<std::string>> read_archive_text(PackageArchive& archive, std::string_view name) {
  const auto index = archive.find(name);
  if (!index) return std::nullopt;
  auto file = open_archive_entry(archive, *index);
  // An entry that cannot be opened (encrypted, unsupported method, damaged header) reads as
  // absent; callers then treat the part as missing.
  if (!file) return std::nullopt;
  std::string text = PELVANE_TRY(read_whole(archive.handle(), *index, file->get()));
  if (!is_valid_utf8(text)) return fail(PelvaneError::io(std::string(kInvalidUtf8)));
  return std::optional<std::string>(std::move(text));
}

Result<std::optional<std::string>> read_archive_bytes(PackageArchive& archive, std::string_view name) {
  const auto index = archive.find(name);
  if (!index) return std::nullopt;
  std::string bytes = PELVANE_TRY(read_archive_entry(archive, *index));
  return std::optional<std::string>(std::move(bytes));
}

PartKind part_kind(std::string_view name) {
  if (ends_with(name, ".rels")) return PartKind::Relationships;
  if (ends_with(name, "vbaProject.bin")) return PartKind::Vba;
  if (ends_with(name, ".xml")) return PartKind::Xml;
  if (starts_with(name, "ppt/media/")) return PartKind::Media;
  if (starts_with(name, "ppt/embeddings/")) return PartKind::Embedding;
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
    ZipEntryFile file = PELVANE_TRY(open_archive_entry(archive, index));
    const char* name = zip_get_name(archive.handle(), index, 0);
    if (name == nullptr) return fail(PelvaneError::zip(archive_error_message(archive.handle())));
    const std::uint64_t size = declared_size(archive.handle(), index);
    const auto wanted = static_cast<std::size_t>(std::clamp<std::uint64_t>(size + 1, 4096, kChunkSize));
    if (buffer.size() < wanted) buffer.resize(wanted);
    PartRecord record;
    record.name = name;
    record.size = PELVANE_TRY(
        stream_archive_entry(file.get(), buffer, [&](std::string_view chunk) { hasher.update(chunk); }));
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
  PELVANE_TRY_VOID(check_path(input));
  PELVANE_TRY_VOID(check_path(output));
  PELVANE_TRY_VOID(create_parent_directories(output));
  {
    const std::string input_path(input);
    const int input_fd = ::open(input_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (input_fd < 0) return fail(PelvaneError::io(os_error_message(errno)));
    struct FdCloser {
      int fd;
      ~FdCloser() { ::close(fd); }
    } closer{input_fd};
    // The copy goes to a temporary file beside the output and replaces the output only once
    // complete, so an output naming the input never empties it.
    AtomicOutputFile copy = PELVANE_TRY(AtomicOutputFile::create(output));
    PELVANE_TRY_VOID(copy.copy_from_fd(input_fd));
    PELVANE_TRY_VOID(copy.commit());
  }
  PackageManifest manifest = PELVANE_TRY(inspect_package(input));
  manifest.path = std::string(output);
  return manifest;
}

}  // namespace pelvane
