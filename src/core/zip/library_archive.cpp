#include "core/zip/library_archive.hpp"

#include <utility>

namespace pelvane {
namespace {

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

// The library's message for one of its error codes.
std::string code_text(int code) {
  zip_error_t error;
  zip_error_init_with_code(&error, code);
  std::string text = error_text(&error);
  zip_error_fini(&error);
  return text;
}

// The library's message for something that is not an archive at all.
PelvaneError not_a_zip_archive() { return PelvaneError::zip(code_text(ZIP_ER_NOZIP)); }

}  // namespace

void LibraryArchive::ArchiveCloser::operator()(zip_t* archive) const noexcept {
  zip_discard(archive);
}

LibraryArchive::LibraryArchive(zip_t* archive) : archive_(archive) {}

LibraryArchive::LibraryArchive(std::FILE* unopened, std::uint64_t size,
                               std::function<Result<void>()> check,
                               std::function<std::optional<PelvaneError>()> changed)
    : unopened_(unopened),
      unopened_size_(size),
      check_before_opening_(std::move(check)),
      changed_(std::move(changed)) {}

Result<zip_t*> LibraryArchive::library() {
  if (archive_) return archive_.get();
  if (library_failure_) return fail(*library_failure_);
  if (check_before_opening_) {
    if (auto checked = check_before_opening_(); !checked) {
      library_failure_ = checked.error();
      return fail(std::move(checked).error());
    }
  }
  auto archive = open_library_archive(unopened_.release(), unopened_size_);
  if (!archive) {
    auto changed = changed_ ? changed_() : std::nullopt;
    library_failure_ = changed ? std::move(*changed) : std::move(archive).error();
    return fail(*library_failure_);
  }
  archive_.reset(*archive);
  return archive_.get();
}

Result<zip_t*> open_library_archive(std::FILE* file, std::uint64_t size) {
  if (size == 0) {
    if (file != nullptr) std::fclose(file);
    return fail(not_a_zip_archive());
  }
  zip_error_t error;
  zip_error_init(&error);
  // The source takes the stream over and closes it when the source is freed. Given a length, it
  // reads the stream no further, however the file grows.
  zip_source_t* source = zip_source_filep_create(file, 0, static_cast<zip_int64_t>(size), &error);
  if (source == nullptr && file != nullptr) std::fclose(file);
  return open_source(source, &error);
}

Result<zip_t*> open_library_archive(std::string_view bytes) {
  // No bytes are no archive, as an empty file is none: the library would take them for an
  // archive without entries.
  if (bytes.empty()) return fail(not_a_zip_archive());
  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* source = zip_source_buffer_create(bytes.data(), bytes.size(), 0, &error);
  return open_source(source, &error);
}

std::string archive_error_message(zip_t* archive) { return error_text(zip_get_error(archive)); }

PelvaneError crc_mismatch() { return PelvaneError::io(code_text(ZIP_ER_CRC)); }

std::uint64_t library_entry_count(zip_t* archive) {
  const zip_int64_t count = zip_get_num_entries(archive, 0);
  return count < 0 ? 0 : static_cast<std::uint64_t>(count);
}

std::string_view library_entry_name(zip_t* archive, std::uint64_t index) {
  const char* name = zip_get_name(archive, index, 0);
  return name == nullptr ? std::string_view() : std::string_view(name);
}

}  // namespace pelvane
