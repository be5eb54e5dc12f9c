// Arbitrary bytes opened as a package never crash the reader: opening, the manifest and the
// entry readers return a value or an error, and a manifest that succeeds agrees with what the
// byte reader gives for every part.
//
// Half of the inputs are read as they are. The other half describe an archive (entry names,
// methods and contents) that is written with the archive library and then damaged at chosen
// offsets, so that the reader meets well-formed structure with faults in it even without a
// seed corpus.
#include <zip.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/sha256.hpp"
#include "core/inspect/manifest.hpp"
#include "core/zip/package_archive.hpp"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

class Input {
 public:
  explicit Input(std::string_view bytes) : bytes_(bytes) {}
  bool empty() const { return bytes_.empty(); }
  std::uint8_t byte() {
    if (bytes_.empty()) return 0;
    const auto value = static_cast<std::uint8_t>(bytes_.front());
    bytes_.remove_prefix(1);
    return value;
  }
  std::string_view take(std::size_t count) {
    const std::string_view piece = bytes_.substr(0, count);
    bytes_.remove_prefix(piece.size());
    return piece;
  }

 private:
  std::string_view bytes_;
};

// Writes an archive described by the input, then flips bytes at offsets the input names.
std::string described_archive(Input& input) {
  std::vector<std::string> names;
  std::vector<std::string> contents;
  std::vector<std::uint8_t> methods;
  const std::size_t count = input.byte() % 5;
  for (std::size_t i = 0; i < count; ++i) {
    names.emplace_back(input.take(input.byte() % 32));
    methods.push_back(input.byte());
    const std::size_t length = input.byte() * 8u;
    std::string content(input.take(input.byte() % 64));
    // Repeat the content to reach the length, so that Deflate has work to do.
    while (!content.empty() && content.size() < length) content += content;
    contents.push_back(std::move(content));
  }

  zip_error_t error;
  zip_error_init(&error);
  zip_source_t* target = zip_source_buffer_create(nullptr, 0, 0, &error);
  if (target == nullptr) return {};
  zip_source_keep(target);
  zip_t* writer = zip_open_from_source(target, ZIP_TRUNCATE, &error);
  if (writer == nullptr) {
    zip_source_free(target);
    return {};
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& name = names[i];
    if (!name.empty() && name.back() == '/') {
      zip_dir_add(writer, name.c_str(), 0);
      continue;
    }
    zip_source_t* source = zip_source_buffer(writer, contents[i].data(), contents[i].size(), 0);
    if (source == nullptr) continue;
    const zip_int64_t index = zip_file_add(writer, name.c_str(), source, 0);
    if (index < 0) {
      zip_source_free(source);
      continue;
    }
    zip_set_file_compression(writer, static_cast<zip_uint64_t>(index),
                             (methods[i] & 1) ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
    if ((methods[i] & 0x16) == 0x16) {
      zip_file_set_encryption(writer, static_cast<zip_uint64_t>(index), ZIP_EM_AES_128, "pw");
    }
  }
  if (zip_close(writer) != 0) zip_discard(writer);

  std::string archive;
  zip_stat_t stat;
  if (zip_source_stat(target, &stat) == 0 && zip_source_open(target) == 0) {
    archive.resize(static_cast<std::size_t>(stat.size));
    const zip_int64_t got = zip_source_read(target, archive.data(), archive.size());
    archive.resize(got < 0 ? 0 : static_cast<std::size_t>(got));
    zip_source_close(target);
  }
  zip_source_free(target);

  while (!input.empty() && !archive.empty()) {
    const std::size_t offset = (input.byte() | (input.byte() << 8)) % archive.size();
    archive[offset] = static_cast<char>(archive[offset] ^ input.byte());
  }
  const std::size_t cut = archive.size() > 1 && (count & 4) ? archive.size() - 1 : archive.size();
  archive.resize(cut);
  return archive;
}

void exercise(std::string_view bytes) {
  auto archive = pelvane::PackageArchive::open_bytes(bytes);
  if (!archive) return;
  const auto manifest = pelvane::inspect_archive("fuzz.pptx", *archive);
  const std::uint64_t count = archive->entry_count();
  for (std::uint64_t index = 0; index < count && index < 64; ++index) {
    const std::string name(archive->entry_name(index));
    (void)archive->is_directory(index);
    (void)pelvane::part_kind(name);
    (void)pelvane::read_archive_text(*archive, name);
    const auto found = pelvane::read_archive_bytes(*archive, name);
    std::uint64_t streamed = 0;
    if (auto entry = pelvane::open_archive_entry(*archive, index)) {
      char buffer[4096];
      (void)pelvane::stream_archive_entry(
          entry->get(), buffer, [&](std::string_view chunk) { streamed += chunk.size(); });
    }
    if (manifest && found && *found && archive->find(name) == index) {
      for (const auto& record : manifest->parts) {
        if (record.name != name) continue;
        require(record.size == (*found)->size());
        require(record.sha256 == pelvane::sha256_hex(**found));
        break;
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (bytes.empty() || (bytes.front() & 1) == 0) {
    exercise(bytes);
    return 0;
  }
  Input input(bytes.substr(1));
  exercise(described_archive(input));
  return 0;
}
