#include "core/zip/package_archive.hpp"

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/base/file_input.hpp"
#include "core/base/file_output.hpp"
#include "core/base/keyed_hash.hpp"
#include "core/base/owned_fd.hpp"
#include "core/base/string_room.hpp"
#include "core/base/system_io.hpp"
#include "core/base/utf8.hpp"
#include "core/zip/library_name_table.hpp"
#include "core/zip/stored_headers.hpp"

namespace pelvane {
namespace {

// An entry declaring more than this many bytes must not inflate to more than `kMostInflation`
// times its stored size. Real parts are nowhere near (XML compresses 5 to 20 times), while a
// small package can honestly declare parts of gigabytes of blanks or of empty elements that
// would each be held, scanned and summarised whole.
constexpr std::uint64_t kInflationCheckedAbove = std::uint64_t{4} << 20;
constexpr std::uint64_t kMostInflation = 100;

constexpr std::string_view kInvalidUtf8 = "stream did not contain valid UTF-8";

// The declared uncompressed size of an entry, when the central directory gives one.
std::uint64_t declared_size(zip_t* archive, std::uint64_t index) {
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (zip_stat_index(archive, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE)) return 0;
  return stat.size;
}

// Refuses an entry that declares more than `kInflationCheckedAbove` bytes and more than
// `kMostInflation` times its stored (compressed) size, before anything of it is inflated. The
// sizes are the central directory's; an entry whose sizes the archive cannot state is left to
// the reader, which holds it to whatever size it declares.
Result<void> check_inflation(PackageArchive& archive, std::uint64_t index) {
  std::uint64_t declared = 0;
  std::uint64_t stored = 0;
  const StoredEntryHeaders* plain = archive.plain_headers();
  if (const auto data = plain ? plain->data(index) : std::nullopt) {
    declared = data->uncompressed_size;
    stored = data->compressed_size;
  } else {
    auto library = archive.library();
    if (!library) return {};
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(*library, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE) ||
        !(stat.valid & ZIP_STAT_COMP_SIZE))
      return {};
    declared = stat.size;
    stored = stat.comp_size;
  }
  // stored * kMostInflation < declared, without overflow.
  const std::uint64_t least_stored =
      declared / kMostInflation + (declared % kMostInflation != 0 ? 1 : 0);
  if (declared <= kInflationCheckedAbove || stored >= least_stored) return {};
  return fail(PelvaneError::zip("entry " + std::string(archive.entry_name(index)) +
                                " inflates more than " + std::to_string(kMostInflation) +
                                " times its stored size"));
}

// What is checked before an entry's content is read: that its data does not run into the
// next entry's (stored_headers.hpp), and its inflation.
Result<void> check_before_reading(PackageArchive& archive, std::uint64_t index) {
  PELVANE_TRY_VOID(archive.stored_headers().check_region(index));
  return check_inflation(archive, index);
}

// Reads an entry whole into a string, straight into the string's own storage: room for the
// declared size and one byte more, reserved once, so that an entry of the declared size ends in
// the second read and the string is never reallocated. The reader never gives more than the
// declared size, and `check_inflation` has bounded that by the entry's stored size.
Result<std::string> read_whole(EntryReader& entry) {
  std::string content;
  grow_unwritten(content, static_cast<std::size_t>(entry.declared_size() + 1));
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

}  // namespace

PackageArchive::PackageArchive(std::shared_ptr<const StoredEntryHeaders> headers, std::FILE* file,
                               std::uint64_t size, std::string path)
    : LibraryArchive(
          file, size,
          // The headers live as long as the archive; the library reads the same names, so that
          // they must not crowd its table either.
          [names = headers.get()] { return check_library_name_table(*names); },
          // A library that cannot open a file cut shorter since it was opened blames the file.
          [fd = headers->file_descriptor(), size, path] {
            return changed_since_opened(fd, size, path);
          }),
      stored_headers_(std::move(headers)),
      path_(std::move(path)),
      plain_(true) {}

Result<ZipEntryFile> open_archive_entry(PackageArchive& archive, std::uint64_t index,
                                        zip_flags_t flags) {
  auto library = archive.library();
  if (!library) return fail(archive.reading_failure(std::move(library).error()));
  zip_file_t* file = zip_fopen_index(*library, index, flags);
  if (file == nullptr)
    return fail(archive.reading_failure(PelvaneError::zip(archive_error_message(*library))));
  return ZipEntryFile(file);
}

Result<void> check_unsettled_entry_opens(PackageArchive& archive, std::uint64_t index) {
  const StoredEntryHeaders& headers = archive.stored_headers();
  PELVANE_TRY_VOID(headers.check_region(index));
  if (headers.opens(index)) return {};
  auto opened = archive.library();
  if (!opened) return fail(archive.reading_failure(std::move(opened).error()));
  zip_t* library = *opened;
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

PelvaneError entry_failure_first(PackageArchive& archive, PelvaneError failure) {
  if (!archive.entry_checks_left_to_copy()) return failure;
  for (std::uint64_t index = 0; index < archive.entry_count(); ++index) {
    auto checked = check_unsettled_entry_opens(archive, index);
    if (!checked) return std::move(checked).error();
  }
  return failure;
}

Result<EntryReader> EntryReader::open(PackageArchive& archive, std::uint64_t index) {
  PELVANE_TRY_VOID(check_before_reading(archive, index));
  const std::uint64_t declared = entry_declared_size(archive, index);
  if (const StoredEntryHeaders* headers = archive.plain_headers()) {
    if (auto plain = PlainEntryStream::open(*headers, index))
      return EntryReader(nullptr, std::move(plain), archive, index, declared);
  }
  ZipEntryFile file = PELVANE_TRY(open_archive_entry(archive, index));
  return EntryReader(std::move(file), std::nullopt, archive, index, declared);
}

Result<std::size_t> EntryReader::read(std::span<char> buffer) {
  if (plain_) {
    if (const auto got = plain_->read(buffer)) {
      position_ += *got;
      return *got;
    }
    plain_.reset();
  }
  auto got = read_from_library(buffer);
  if (!got) return fail(archive_->reading_failure(std::move(got).error()));
  return got;
}

Result<std::size_t> EntryReader::read_from_library(std::span<char> buffer) {
  if (!file_) PELVANE_TRY_VOID(hand_over_to_library());
  return read_through_library(buffer);
}

Result<void> EntryReader::hand_over_to_library() {
  file_ = PELVANE_TRY(open_archive_entry(*archive_, index_));
  // The library inflates the same bytes the plain reading delivered; they are read again and
  // dropped, so that its reading goes on (and fails, if it does) where the plain one stopped.
  const std::uint64_t delivered = position_;
  position_ = 0;
  std::vector<char> scratch(
      static_cast<std::size_t>(std::min<std::uint64_t>(delivered, 256 * 1024)));
  while (position_ < delivered) {
    const auto wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(delivered - position_, scratch.size()));
    const std::size_t got = PELVANE_TRY(read_through_library(std::span(scratch.data(), wanted)));
    if (got == 0) return fail(size_mismatch());
  }
  return {};
}

Result<std::size_t> EntryReader::read_through_library(std::span<char> buffer) {
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
  // The library checks the CRC-32 of what it inflates, but not that of a stored entry without
  // content: the CRC-32 of no bytes is 0.
  if (count == 0 && declared_size_ == 0 && entry_declared_crc32(*archive_, index_).value_or(0) != 0)
    return fail(crc_mismatch());
  position_ += count;
  return static_cast<std::size_t>(count);
}

PelvaneError EntryReader::size_mismatch() const {
  return PelvaneError::zip("entry " + std::string(archive_->entry_name(index_)) +
                           " does not inflate to its declared size");
}

Result<std::string> read_archive_entry(PackageArchive& archive, std::uint64_t index,
                                       std::optional<std::string_view> compressed) {
  PELVANE_TRY_VOID(check_before_reading(archive, index));
  if (const StoredEntryHeaders* plain = archive.plain_headers()) {
    auto content =
        compressed ? read_plain_entry(*plain, index, *compressed) : read_plain_entry(*plain, index);
    if (content) return std::move(*content);
  }
  EntryReader entry = PELVANE_TRY(EntryReader::open(archive, index));
  return read_whole(entry);
}

Result<PackageArchive> PackageArchive::open_file(std::string_view path) {
  // Only a regular file is read: a FIFO or a device is refused before a byte is read.
  return open_input(PELVANE_TRY(InputFile::open(path)));
}

Result<PackageArchive> PackageArchive::open_input(InputFile input) {
  const std::uint64_t size = input.size();
  // The stored headers' own descriptor; the library reads through the file's.
  OwnedFd duplicate(::fcntl(input.fd(), F_DUPFD_CLOEXEC, 0));
  if (duplicate.get() < 0) return fail(os_error(errno));
  std::FILE* file = ::fdopen(input.fd(), "rb");
  if (file == nullptr) return fail(os_error(errno));
  input.release();

  // A plain archive is read through its stored headers, without the library's reading of the
  // whole directory (which converts every entry's time through the local time zone).
  auto headers = std::make_shared<StoredEntryHeaders>(
      StoredEntryHeaders::read_file(std::move(duplicate), size));
  // A file cut shorter since it was opened reads as something it is not: that is what it says.
  const auto unless_changed = [&, fd = headers->file_descriptor()](PelvaneError failure) {
    return changed_since_opened(fd, size, input.path()).value_or(std::move(failure));
  };
  // An archive that readers could read two ways, or whose entries share their stored bytes, is
  // refused before any of them is read.
  if (const auto& refusal = headers->refusal()) {
    std::fclose(file);
    return fail(unless_changed(*refusal));
  }
  if (headers->plain()) {
    PackageArchive archive(std::move(headers), file, size, input.path());
    return archive;
  }
  if (auto crowded = check_library_name_table(*headers); !crowded) {
    std::fclose(file);
    return fail(std::move(crowded).error());
  }
  auto library = open_library_archive(file, size);
  if (!library) return fail(unless_changed(std::move(library).error()));
  if (auto agree = headers->agree_with_library(*library); !agree) {
    zip_discard(*library);
    return fail(unless_changed(std::move(agree).error()));
  }
  return PackageArchive(*library, std::move(headers), input.path());
}

std::optional<PelvaneError> PackageArchive::changed() const {
  if (path_.empty()) return std::nullopt;
  return changed_since_opened(stored_headers_->file_descriptor(), stored_headers_->file_size(),
                              path_);
}

Result<PackageArchive> PackageArchive::open_bytes(std::string_view bytes) {
  // An archive that readers could read two ways, or whose entries share their stored bytes, is
  // refused before the library reads any of it, and so is one whose local header runs its data
  // into what follows: every header is at hand, and an entry that no reader asks for would be
  // refused only when it is copied.
  auto headers = std::make_shared<StoredEntryHeaders>(StoredEntryHeaders::read_bytes(bytes));
  if (const auto& refusal = headers->refusal()) return fail(*refusal);
  PELVANE_TRY_VOID(headers->check_regions());
  PELVANE_TRY_VOID(check_library_name_table(*headers));
  zip_t* library = PELVANE_TRY(open_library_archive(bytes));
  if (auto agree = headers->agree_with_library(library); !agree) {
    zip_discard(library);
    return fail(std::move(agree).error());
  }
  return PackageArchive(library, std::move(headers), std::string());
}

Result<std::string_view> PackageArchive::library_checked_entry_name(std::uint64_t index) {
  zip_t* library = PELVANE_TRY(this->library());
  const char* name = zip_get_name(library, index, 0);
  if (name == nullptr) return fail(PelvaneError::zip(archive_error_message(library)));
  return std::string_view(name);
}

std::optional<std::uint64_t> PackageArchive::find(std::string_view name, std::uint64_t hash) const {
  // A name with a NUL byte would be cut short by the C interface and match another entry.
  if (name.find('\0') != std::string_view::npos) return std::nullopt;
  if (plain_) return stored_headers_->find(name, hash);
  // Flags 0: an exact, case-sensitive lookup through the name index, over the names as they
  // are decoded for `entry_name`.
  const zip_int64_t index = zip_name_locate(opened(), std::string(name).c_str(), 0);
  if (index < 0) return std::nullopt;
  return static_cast<std::uint64_t>(index);
}

Result<std::optional<std::string>> read_archive_bytes_if_opens(PackageArchive& archive,
                                                               std::string_view name) {
  const auto index = archive.find(name);
  if (!index) return std::nullopt;
  PELVANE_TRY_VOID(check_before_reading(archive, *index));
  if (const StoredEntryHeaders* headers = archive.plain_headers()) {
    if (auto plain = read_plain_entry(*headers, *index)) return plain;
  }
  auto entry = EntryReader::open(archive, *index);
  if (!entry) {
    if (auto changed = archive.changed()) return fail(std::move(*changed));
    return std::nullopt;
  }
  return PELVANE_TRY(read_whole(*entry));
}

Result<std::optional<std::string>> read_archive_text(PackageArchive& archive,
                                                     std::string_view name) {
  // An entry that cannot be opened reads as absent; callers then treat the part as missing.
  auto text = PELVANE_TRY(read_archive_bytes_if_opens(archive, name));
  if (text && !is_valid_utf8(*text)) return fail(PelvaneError::io(std::string(kInvalidUtf8)));
  return text;
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
  std::unordered_set<std::string_view, KeyedHash> seen;
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
