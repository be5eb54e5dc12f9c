// An archive as the archive library reads it: the library's handle, opened at once over bytes
// or a file, or left unopened over a file until something needs the library. The package
// archive (package_archive.hpp) is one, reading plain archives without the library, and the
// stored headers (stored_headers.hpp) turn to it for what their own reading does not settle.
#pragma once

#include <zip.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/error.hpp"

namespace pelvane {

// The release of the archive library whose own reading some files here reproduce: how it finds
// the end record and reads the directory (end_records.hpp), and its table of entry names
// (library_name_table.hpp). A test compares it with the library linked, so that another release
// is looked at before it is trusted.
inline constexpr std::string_view kModelledLibraryVersion = "1.7.3";

class LibraryArchive {
 public:
  // The archive library's handle, the archive opened through it on first use when it was left
  // unopened; `Zip` with the library's message when that fails, now and at every later call.
  Result<zip_t*> library();

 protected:
  // An archive the library has opened.
  explicit LibraryArchive(zip_t* archive);
  // The first `size` bytes of an archive file, left for the library to open when first needed
  // (it takes the stream over), once `check` passes; its failure stands for the library's, and
  // so does what `changed` says when the library cannot open the file.
  LibraryArchive(std::FILE* unopened, std::uint64_t size, std::function<Result<void>()> check,
                 std::function<std::optional<PelvaneError>()> changed);
  LibraryArchive(LibraryArchive&&) noexcept = default;
  LibraryArchive& operator=(LibraryArchive&&) noexcept = default;
  ~LibraryArchive() = default;

  // The handle when the library has opened the archive, else null.
  zip_t* opened() const { return archive_.get(); }

 private:
  struct ArchiveCloser {
    void operator()(zip_t* archive) const noexcept;
  };
  struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
  };

  std::unique_ptr<zip_t, ArchiveCloser> archive_;    // null until the library opens the archive
  std::unique_ptr<std::FILE, FileCloser> unopened_;  // the file, until the library takes it
  std::uint64_t unopened_size_ = 0;
  std::function<Result<void>()> check_before_opening_;
  std::function<std::optional<PelvaneError>()> changed_;
  std::optional<PelvaneError> library_failure_;  // why the library could not open it later
};

// Opens a read-only archive over the first `size` bytes of the stream, never reading past them;
// the library takes the stream over (it is closed when opening fails). `Zip` with the library's
// message; no bytes at all are `Zip` "Not a zip archive".
Result<zip_t*> open_library_archive(std::FILE* file, std::uint64_t size);
// Opens a read-only archive over bytes that the caller keeps alive while it is open. Empty
// bytes are `Zip` "Not a zip archive", as an empty file is.
Result<zip_t*> open_library_archive(std::string_view bytes);

// The library's message for the last failure on the archive.
std::string archive_error_message(zip_t* archive);

// `Io` with the library's message for content whose CRC-32 is not the one its headers state, as
// a read through the library fails.
PelvaneError crc_mismatch();

// The number of entries the library read; 0 when it cannot say.
std::uint64_t library_entry_count(zip_t* archive);

// The entry's name as the library decodes it from the central directory (valid while the
// archive is open); empty for an index out of range.
std::string_view library_entry_name(zip_t* archive, std::uint64_t index);

}  // namespace pelvane
