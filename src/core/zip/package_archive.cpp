#include "core/zip/package_archive.hpp"

#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/base/file_input.hpp"
#include "core/base/file_output.hpp"
#include "core/base/utf8.hpp"
#include "core/zip/stored_headers.hpp"

namespace pelvane {
namespace {

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

// Reads an entry whole into a string, straight into the string's own storage: room for the
// declared size and one byte more, so that an entry of the declared size ends in the second
// read and the string is never reallocated; more room (doubling) only for a declared size past
// the up-front reservation.
Result<std::string> read_whole(EntryReader& entry) {
  std::string content;
  grow_unwritten(content, static_cast<std::size_t>(std::clamp<std::uint64_t>(
                              entry.declared_size() + 1, 4096, kMaxReserve)));
  std::size_t filled = 0;
  for (;;) {
    if (filled == content.size()) grow_unwritten(content, content.size() * 2);
    const std::size_t got =
        PELVANE_TRY(entry.read(std::span<char>(content.data() + filled, content.size() - filled)));
    if (got == 0) break;
    filled += got;
  }
  content.resize(filled);
  return content;
}

// The content of an entry that the stored headers of a plain archive show to open, read
// straight from the archive file: one read of its compressed bytes, inflated when deflated,
// checked against the stored size and CRC-32. None when anything is off: the archive library
// then reads the entry and says what is wrong.
std::optional<std::string> read_plain_entry(const StoredEntryHeaders& headers,
                                            std::uint64_t index) {
  const auto data = headers.data(index);
  if (!data || data->compressed_size > kMaxReserve || data->uncompressed_size > kMaxReserve)
    return std::nullopt;
  const auto size = static_cast<std::size_t>(data->uncompressed_size);
  std::string compressed;
  grow_unwritten(compressed, static_cast<std::size_t>(data->compressed_size));
  for (std::size_t done = 0; done < compressed.size();) {
    const ssize_t got = ::pread(headers.file_descriptor(), compressed.data() + done,
                                compressed.size() - done, static_cast<off_t>(data->offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    done += static_cast<std::size_t>(got);
  }
  std::string content;
  if (data->method == kZipMethodStored) {
    if (compressed.size() != size) return std::nullopt;
    content = std::move(compressed);
  } else {
    // One byte of room past the stated size, so that a longer stream shows.
    grow_unwritten(content, size + 1);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return std::nullopt;
    stream.next_in = reinterpret_cast<Bytef*>(compressed.data());
    stream.avail_in = static_cast<uInt>(compressed.size());
    stream.next_out = reinterpret_cast<Bytef*>(content.data());
    stream.avail_out = static_cast<uInt>(content.size());
    const int status = inflate(&stream, Z_FINISH);
    const std::uint64_t produced = stream.total_out;
    inflateEnd(&stream);
    if (status != Z_STREAM_END || produced != size) return std::nullopt;
    content.resize(size);
  }
  const uLong crc = crc32_z(0L, reinterpret_cast<const Bytef*>(content.data()), content.size());
  if (crc != data->crc32) return std::nullopt;
  return content;
}

}  // namespace

void PackageArchive::ArchiveCloser::operator()(zip_t* archive) const noexcept {
  zip_discard(archive);
}

PackageArchive::PackageArchive(zip_t* archive, std::string path)
    : archive_(archive), path_(std::move(path)) {}

PackageArchive::PackageArchive(std::shared_ptr<const StoredEntryHeaders> headers, std::FILE* file,
                               std::string path)
    : unopened_(file), path_(std::move(path)), stored_headers_(std::move(headers)), plain_(true) {}

Result<zip_t*> PackageArchive::library() {
  if (archive_) return archive_.get();
  if (library_failure_) return fail(*library_failure_);
  zip_error_t error;
  zip_error_init(&error);
  // The source takes the stream over and closes it when the source is freed.
  zip_source_t* source = zip_source_filep_create(unopened_.get(), 0, -1, &error);
  if (source != nullptr) unopened_.release();
  auto archive = open_source(source, &error);
  if (!archive) {
    library_failure_ = archive.error();
    return fail(std::move(archive).error());
  }
  archive_.reset(*archive);
  return archive_.get();
}

std::string archive_error_message(zip_t* archive) { return error_text(zip_get_error(archive)); }

Result<ZipEntryFile> open_archive_entry(PackageArchive& archive, std::uint64_t index,
                                        zip_flags_t flags) {
  zip_t* library = PELVANE_TRY(archive.library());
  zip_file_t* file = zip_fopen_index(library, index, flags);
  if (file == nullptr) return fail(PelvaneError::zip(archive_error_message(library)));
  return ZipEntryFile(file);
}

const StoredEntryHeaders& PackageArchive::stored_headers() {
  if (!stored_headers_)
    stored_headers_ = std::make_shared<const StoredEntryHeaders>(StoredEntryHeaders::read(*this));
  return *stored_headers_;
}

Result<void> check_entry_opens(PackageArchive& archive, std::uint64_t index) {
  if (archive.stored_headers().opens(index)) return {};
  zip_t* library = PELVANE_TRY(archive.library());
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(library, index, 0, &stat) != 0) {
    return fail(PelvaneError::zip(archive_error_message(library)));
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

Result<EntryReader> EntryReader::open(PackageArchive& archive, std::uint64_t index) {
  ZipEntryFile file = PELVANE_TRY(open_archive_entry(archive, index));
  return EntryReader(std::move(file), archive, index, entry_declared_size(archive, index));
}

Result<std::size_t> EntryReader::read(std::span<char> buffer) {
  // At most one byte past the declared size is asked for: it tells an entry that ends there
  // from one that goes on, and the inflater never runs further ahead than that.
  const std::uint64_t left = declared_size_ - position_;
  const std::size_t wanted =
      left < buffer.size() ? static_cast<std::size_t>(left) + 1 : buffer.size();
  const zip_int64_t got = zip_fread(file_.get(), buffer.data(), wanted);
  if (got < 0) {
    // At the end of the content the library checks the CRC-32 and then the size: content that
    // ended short of the declared size fails on one or the other.
    const int code = zip_error_code_zip(zip_file_get_error(file_.get()));
    if (left > 0 && (code == ZIP_ER_CRC || code == ZIP_ER_INCONS)) return fail(size_mismatch());
    return fail(PelvaneError::io(zip_file_strerror(file_.get())));
  }
  const auto count = static_cast<std::uint64_t>(got);
  if (count > left || (count == 0 && left > 0)) return fail(size_mismatch());
  position_ += count;
  return static_cast<std::size_t>(count);
}

PelvaneError EntryReader::size_mismatch() const {
  return PelvaneError::zip("entry " + std::string(archive_->entry_name(index_)) +
                           " does not inflate to its declared size");
}

Result<std::string> read_archive_entry(PackageArchive& archive, std::uint64_t index) {
  if (const StoredEntryHeaders* plain = archive.plain_headers()) {
    if (auto content = read_plain_entry(*plain, index)) return std::move(*content);
  }
  EntryReader entry = PELVANE_TRY(EntryReader::open(archive, index));
  return read_whole(entry);
}

Result<PackageArchive> PackageArchive::open_file(std::string_view path) {
  // Only a regular file is read: a FIFO or a device is refused before a byte is read.
  InputFile input = PELVANE_TRY(InputFile::open(path));
  std::string owned_path(path);
  std::FILE* file = ::fdopen(input.fd(), "rb");
  if (file == nullptr) return fail(PelvaneError::io(os_error_message(errno)));
  input.release();

  // A plain archive is read through its stored headers, without the library's reading of the
  // whole directory (which converts every entry's time through the local time zone).
  auto headers =
      std::make_shared<const StoredEntryHeaders>(StoredEntryHeaders::read_file(::fileno(file)));
  if (headers->plain()) return PackageArchive(std::move(headers), file, std::move(owned_path));

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
  // No bytes are no archive, as an empty file is none: the library would take them for an
  // archive without entries.
  if (bytes.empty()) {
    zip_error_init_with_code(&error, ZIP_ER_NOZIP);
    PelvaneError failure = PelvaneError::zip(error_text(&error));
    zip_error_fini(&error);
    return fail(std::move(failure));
  }
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  auto archive = open_source(source, &error);
  if (!archive) return fail(std::move(archive).error());
  return PackageArchive(*archive, std::string());
}

std::uint64_t PackageArchive::entry_count() const {
  if (plain_) return stored_headers_->entry_count();
  const zip_int64_t count = zip_get_num_entries(archive_.get(), 0);
  return count < 0 ? 0 : static_cast<std::uint64_t>(count);
}

std::string_view PackageArchive::entry_name(std::uint64_t index) const {
  if (plain_) return stored_headers_->name(index);
  const char* name = zip_get_name(archive_.get(), index, 0);
  return name == nullptr ? std::string_view() : std::string_view(name);
}

Result<std::string_view> PackageArchive::checked_entry_name(std::uint64_t index) {
  if (plain_ && index < entry_count()) return stored_headers_->name(index);
  zip_t* library = PELVANE_TRY(this->library());
  const char* name = zip_get_name(library, index, 0);
  if (name == nullptr) return fail(PelvaneError::zip(archive_error_message(library)));
  return std::string_view(name);
}

std::optional<std::uint64_t> PackageArchive::find(std::string_view name) const {
  // A name with a NUL byte would be cut short by the C interface and match another entry.
  if (name.find('\0') != std::string_view::npos) return std::nullopt;
  if (plain_) return stored_headers_->find(name);
  // Flags 0: an exact, case-sensitive lookup through the name index, over the names as they
  // are decoded for `entry_name`.
  const zip_int64_t index = zip_name_locate(archive_.get(), std::string(name).c_str(), 0);
  if (index < 0) return std::nullopt;
  return static_cast<std::uint64_t>(index);
}

bool PackageArchive::is_directory(std::uint64_t index) const {
  return entry_name(index).ends_with('/');
}

Result<std::optional<std::string>> read_archive_text(PackageArchive& archive,
                                                     std::string_view name) {
  const auto index = archive.find(name);
  if (!index) return std::nullopt;
  std::optional<std::string> plain;
  if (const StoredEntryHeaders* headers = archive.plain_headers())
    plain = read_plain_entry(*headers, *index);
  std::string text;
  if (plain) {
    text = std::move(*plain);
  } else {
    auto entry = EntryReader::open(archive, *index);
    // An entry that cannot be opened (encrypted, unsupported method, damaged header) reads as
    // absent; callers then treat the part as missing.
    if (!entry) return std::nullopt;
    text = PELVANE_TRY(read_whole(*entry));
  }
  if (!is_valid_utf8(text)) return fail(PelvaneError::io(std::string(kInvalidUtf8)));
  return std::optional<std::string>(std::move(text));
}

Result<std::optional<std::string>> read_archive_bytes(PackageArchive& archive,
                                                      std::string_view name) {
  const auto index = archive.find(name);
  if (!index) return std::nullopt;
  std::string bytes = PELVANE_TRY(read_archive_entry(archive, *index));
  return std::optional<std::string>(std::move(bytes));
}

std::uint64_t entry_declared_size(PackageArchive& archive, std::uint64_t index) {
  if (const StoredEntryHeaders* plain = archive.plain_headers()) {
    if (auto size = plain->uncompressed_size(index)) return *size;
  }
  auto library = archive.library();
  return library ? declared_size(*library, index) : 0;
}

std::optional<std::uint32_t> entry_declared_crc32(PackageArchive& archive, std::uint64_t index) {
  if (const StoredEntryHeaders* plain = archive.plain_headers()) {
    if (auto data = plain->data(index)) return data->crc32;
  }
  auto library = archive.library();
  if (!library) return std::nullopt;
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(*library, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_CRC))
    return std::nullopt;
  return stat.crc;
}

Result<void> check_unique_entry_names(PackageArchive& archive) {
  // A plain archive's names are unique (stored_headers.hpp).
  if (archive.plain_headers() != nullptr) return {};
  zip_t* library = PELVANE_TRY(archive.library());
  const std::uint64_t count = archive.entry_count();
  std::unordered_set<std::string_view> seen;
  seen.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(count, 1 << 16)));
  for (std::uint64_t index = 0; index < count; ++index) {
    const char* stored = zip_get_name(library, index, ZIP_FL_ENC_RAW);
    if (stored == nullptr) return fail(PelvaneError::zip(archive_error_message(library)));
    if (!seen.insert(stored).second) {
      return fail(PelvaneError::zip("package holds more than one entry named " +
                                    std::string(archive.entry_name(index))));
    }
  }
  return {};
}

}  // namespace pelvane
