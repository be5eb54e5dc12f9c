// Helpers shared by the engine tests: temporary folders, generated ZIP fixtures, file I/O.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelvane::test {

// A fresh folder under the system's temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of `relative` inside the folder, as text.
  std::string file(std::string_view relative) const;

 private:
  std::filesystem::path path_;
};

struct ZipEntry {
  std::string name;
  std::string bytes;
  bool deflate = true;     // false: stored
  bool directory = false;  // a directory entry (name should end in "/"); bytes are ignored
  std::optional<std::time_t> mtime;     // default: 1980-01-01 00:00:00 local time
  std::optional<std::string> password;  // encrypts the entry (AES-256) with this password
  std::optional<int> method;  // another method of the archive library (ZIP_CM_*) than `deflate`'s
};

// Writes a ZIP archive with the entries in the given order (through the archive library).
void write_zip(const std::string& path, const std::vector<ZipEntry>& entries,
               std::string_view comment = {});
// The same archive as bytes in memory.
std::string zip_bytes(const std::vector<ZipEntry>& entries, std::string_view comment = {});

// 1980-01-01 00:00:00 in local time, the earliest time a ZIP header can hold, as the archive
// library reads it.
std::time_t earliest_zip_time();

// What a second reader (the archive library) sees of one entry.
struct EntryFacts {
  std::string name;
  std::uint16_t method = 0;
  std::uint32_t crc = 0;
  std::string compressed;  // the raw compressed bytes
  std::string content;     // decompressed, CRC-checked
  std::time_t mtime = 0;
  std::uint32_t attributes = 0;
};

// The entries of the archive at `path`, in order, read by the archive library with its
// consistency checks. `decompress`: false leaves `content` empty (for entries whose data is
// damaged on purpose).
std::vector<EntryFacts> read_entries(const std::string& path, bool decompress = true);

std::string read_file(const std::string& path);
void write_file(const std::string& path, std::string_view bytes);

// Bytes that do not repeat, so that Deflate cannot shrink them much; the same for one seed.
std::string noise(std::size_t size, unsigned seed);

// The folder of real decks shared beside the repository, or none when it is absent.
std::optional<std::filesystem::path> decks_dir();
// The folder of schemas shared beside the repository, or none when it is absent.
std::optional<std::filesystem::path> schemas_dir();
// Why a test that needs one of them is skipped, naming the folder looked for, in the words of
// the Python tests' skips: "real decks not found at <folder>".
std::string missing_decks_reason();
std::string missing_schemas_reason();

// Skips the rest of the test, saying why, when the schemas are not beside the repository: what
// the test checked before this line still counts.
#define PELVANE_SKIP_WITHOUT_SCHEMAS() \
  if (!::pelvane::test::schemas_dir()) GTEST_SKIP() << ::pelvane::test::missing_schemas_reason()

struct DeckPart {
  std::string label;  // "deck.pptx:ppt/slides/slide1.xml"
  std::string xml;
};

// The parts of every deck in `folder` (decks in name order, parts in entry order) whose names
// `wanted` accepts, leaving out those that use markup compatibility: the schemas know nothing
// of it. A deck or part that cannot be read is a test failure.
std::vector<DeckPart> deck_parts(const std::filesystem::path& folder,
                                 const std::function<bool(std::string_view)>& wanted);

// Validates PresentationML documents against the shared schemas (pml.xsd beside the
// repository) in one xmllint run. For each document, in order: empty when it validates, else
// xmllint's messages. A missing xmllint throws (provisioning installs it); so does a missing
// schema: tests that validate first skip without it (`PELVANE_SKIP_WITHOUT_SCHEMAS`).
std::vector<std::string> pml_schema_errors(const std::vector<std::string>& documents);

}  // namespace pelvane::test
