#include "test_support.hpp"

#include <sys/wait.h>
#include <zip.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <sstream>
#include <stdexcept>

#include "core/zip/package_archive.hpp"

namespace pelvane::test {

std::time_t earliest_zip_time() {
  std::tm tm{};
  tm.tm_year = 80;
  tm.tm_mon = 0;
  tm.tm_mday = 1;
  tm.tm_isdst = -1;
  return std::mktime(&tm);
}

namespace {

void check(bool ok, zip_t* archive, const char* what) {
  if (!ok) throw std::runtime_error(std::string(what) + ": " + zip_strerror(archive));
}

// Adds the entries to an archive opened for writing; sources over the entries' own bytes.
void add_entries(zip_t* archive, const std::vector<ZipEntry>& entries, std::string_view comment) {
  for (const ZipEntry& entry : entries) {
    zip_int64_t index;
    if (entry.directory) {
      index = zip_dir_add(archive, entry.name.c_str(), ZIP_FL_ENC_UTF_8);
      check(index >= 0, archive, "zip_dir_add");
    } else {
      zip_source_t* source = zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
      check(source != nullptr, archive, "zip_source_buffer");
      index = zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8);
      if (index < 0) zip_source_free(source);
      check(index >= 0, archive, "zip_file_add");
      check(zip_set_file_compression(
                archive, static_cast<zip_uint64_t>(index),
                entry.method.value_or(entry.deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE), 0) == 0,
            archive, "zip_set_file_compression");
      if (entry.password) {
        check(zip_file_set_encryption(archive, static_cast<zip_uint64_t>(index), ZIP_EM_AES_256,
                                      entry.password->c_str()) == 0,
              archive, "zip_file_set_encryption");
      }
    }
    check(zip_file_set_mtime(archive, static_cast<zip_uint64_t>(index),
                             entry.mtime.value_or(earliest_zip_time()), 0) == 0,
          archive, "zip_file_set_mtime");
  }
  if (!comment.empty()) {
    check(zip_set_archive_comment(archive, comment.data(),
                                  static_cast<zip_uint16_t>(comment.size())) == 0,
          archive, "zip_set_archive_comment");
  }
}

}  // namespace

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  const auto base = std::filesystem::temp_directory_path();
  for (;;) {
    path_ = base / ("pelvane-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
    if (std::filesystem::create_directory(path_)) break;
  }
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::file(std::string_view relative) const { return (path_ / relative).string(); }

void write_zip(const std::string& path, const std::vector<ZipEntry>& entries,
               std::string_view comment) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive == nullptr) throw std::runtime_error("zip_open failed for " + path);
  try {
    add_entries(archive, entries, comment);
  } catch (...) {
    zip_discard(archive);
    throw;
  }
  if (zip_close(archive) != 0) {
    std::string message = zip_strerror(archive);
    zip_discard(archive);
    throw std::runtime_error("zip_close: " + message);
  }
  // The archive library writes nothing for an archive without entries; a package file with
  // an empty central directory is still a valid archive.
  if (entries.empty() && !std::filesystem::exists(path)) {
    write_file(path, std::string("PK\x05\x06", 4) + std::string(18, '\0'));
  }
}

std::string zip_bytes(const std::vector<ZipEntry>& entries, std::string_view comment) {
  TempDir dir;
  const std::string path = dir.file("archive.zip");
  write_zip(path, entries, comment);
  return read_file(path);
}

namespace {

std::string read_all(zip_file_t* file) {
  std::string bytes;
  char chunk[65536];
  zip_int64_t got;
  while ((got = zip_fread(file, chunk, sizeof chunk)) > 0)
    bytes.append(chunk, static_cast<std::size_t>(got));
  EXPECT_EQ(got, 0) << "read failure";
  zip_fclose(file);
  return bytes;
}

}  // namespace

std::vector<EntryFacts> read_entries(const std::string& path, bool decompress) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
  EXPECT_NE(archive, nullptr) << "cannot reopen " << path << " (" << error << ")";
  std::vector<EntryFacts> entries;
  if (archive == nullptr) return entries;
  for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
    zip_stat_t stat;
    zip_stat_index(archive, static_cast<zip_uint64_t>(i), 0, &stat);
    EntryFacts facts{stat.name, stat.comp_method, stat.crc, {}, {}, stat.mtime, 0};
    zip_uint8_t opsys = 0;
    zip_file_get_external_attributes(archive, static_cast<zip_uint64_t>(i), 0, &opsys,
                                     &facts.attributes);
    facts.compressed =
        read_all(zip_fopen_index(archive, static_cast<zip_uint64_t>(i), ZIP_FL_COMPRESSED));
    if (decompress)
      facts.content = read_all(zip_fopen_index(archive, static_cast<zip_uint64_t>(i), 0));
    entries.push_back(std::move(facts));
  }
  zip_close(archive);
  return entries;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void write_file(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) throw std::runtime_error("cannot write " + path);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

namespace {

// Where a folder of what is shared beside the repository is looked for.
std::filesystem::path shared_path(std::string_view name) {
  return (std::filesystem::path(PELVANE_SOURCE_DIR) / ".." / "shared" / name).lexically_normal();
}

// A folder of what is shared beside the repository, or none when it is absent.
std::optional<std::filesystem::path> shared_dir(std::string_view name) {
  const std::filesystem::path dir = shared_path(name);
  std::error_code error;
  if (!std::filesystem::is_directory(dir, error)) return std::nullopt;
  return dir;
}

}  // namespace

std::optional<std::filesystem::path> decks_dir() { return shared_dir("decks"); }
std::optional<std::filesystem::path> schemas_dir() { return shared_dir("schemas"); }
std::string missing_decks_reason() {
  return "real decks not found at " + shared_path("decks").string();
}
std::string missing_schemas_reason() {
  return "the schemas are not beside the repository (" + shared_path("schemas").string() + ")";
}

std::vector<DeckPart> deck_parts(const std::filesystem::path& folder,
                                 const std::function<bool(std::string_view)>& wanted) {
  std::vector<std::filesystem::path> decks;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string extension = entry.path().extension().string();
    if (extension == ".pptx" || extension == ".pptm") decks.push_back(entry.path());
  }
  std::sort(decks.begin(), decks.end());
  std::vector<DeckPart> parts;
  for (const std::filesystem::path& deck : decks) {
    auto archive = PackageArchive::open_file(deck.string());
    if (!archive) ADD_FAILURE() << deck << ": " << archive.error().to_string();
    if (!archive) continue;
    for (std::uint64_t i = 0; i < archive->entry_count(); ++i) {
      const std::string name(archive->entry_name(i));
      if (!wanted(name)) continue;
      auto bytes = read_archive_bytes(*archive, name);
      if (!bytes || !*bytes) ADD_FAILURE() << deck << " " << name << ": unreadable";
      if (!bytes || !*bytes) continue;
      if ((*bytes)->find("AlternateContent") != std::string::npos) continue;
      parts.push_back({deck.filename().string() + ":" + name, std::move(**bytes)});
    }
  }
  return parts;
}

std::vector<std::string> pml_schema_errors(const std::vector<std::string>& documents) {
  const std::filesystem::path schema =
      schemas_dir().value_or(std::filesystem::path("../shared/schemas")) / "pml.xsd";
  if (!std::filesystem::is_regular_file(schema))
    throw std::runtime_error("schema not found: " + schema.string());
  std::vector<std::string> errors(documents.size());
  if (documents.empty()) return errors;
  TempDir dir;
  std::map<std::string, std::size_t> index_of;  // file written -> document
  std::string command = "xmllint --noout --schema '" + schema.string() + "'";
  for (std::size_t i = 0; i < documents.size(); ++i) {
    const std::string file = dir.file(std::to_string(i) + ".xml");
    write_file(file, documents[i]);
    index_of[file] = i;
    command += " " + file;
  }
  command += " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run xmllint");
  std::string report;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    report.append(buffer, n);
  const int status = pclose(pipe);
  // 0: every document valid; 1, 3, 4: one did not parse or validate; anything else (127: no
  // xmllint, 5: the schema did not compile) is no verdict on the documents.
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (code != 0 && code != 1 && code != 3 && code != 4)
    throw std::runtime_error("xmllint failed (exit " + std::to_string(code) + "):\n" + report);
  // Report lines start with the file they concern; other lines continue the one before.
  std::vector<bool> validated(documents.size(), false);
  std::optional<std::size_t> current;
  std::istringstream lines(report);
  for (std::string line; std::getline(lines, line);) {
    const auto found = index_of.find(line.substr(0, line.find_first_of(": ")));
    if (found != index_of.end()) current = found->second;
    if (!current) continue;
    const std::string file = dir.file(std::to_string(*current) + ".xml");
    if (line == file + " validates")
      validated[*current] = true;
    else if (line != file + " fails to validate")
      errors[*current] += line + "\n";
  }
  for (std::size_t i = 0; i < documents.size(); ++i)
    if (!validated[i] && errors[i].empty()) errors[i] = "xmllint reported nothing";
  return errors;
}

std::string noise(std::size_t size, unsigned seed) {
  std::string bytes(size, '\0');
  unsigned state = seed * 2654435761u + 1;
  for (char& c : bytes) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 23);
  }
  return bytes;
}

}  // namespace pelvane::test
