// Arbitrary bytes opened as a package never crash the reader: opening, the manifest and the
// entry readers return a value or an error, and a manifest that succeeds agrees with what the
// byte reader gives for every part.
//
// Half of the inputs are read as they are. A quarter describe an archive (entry names,
// methods and contents) that is written with the archive library and then damaged at chosen
// offsets, so that the reader meets well-formed structure with faults in it even without a
// seed corpus. The last quarter damage one of the hostile archives built here: a part that
// inflates far past the size its headers declare, a package naming two entries alike, and a part
// that honestly declares megabytes of blanks stored in a few kilobytes. Whatever the damage, no
// read of an entry ever hands over more than its declared size, nor more than 4 MiB and 100 times
// its stored size, and the bytes opened as a file read exactly as the bytes opened in memory.
#include <sys/mman.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
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

struct EntrySpec {
  std::string name;
  std::string content;
  std::uint8_t method = 1;  // bit 0: Deflate; bits 0x16 all set: encrypted
};

// Writes the entries with the archive library; empty when it fails.
std::string write_archive(const std::vector<EntrySpec>& entries) {
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
  for (const EntrySpec& entry : entries) {
    const std::string& name = entry.name;
    if (!name.empty() && name.back() == '/') {
      zip_dir_add(writer, name.c_str(), 0);
      continue;
    }
    zip_source_t* source = zip_source_buffer(writer, entry.content.data(), entry.content.size(), 0);
    if (source == nullptr) continue;
    const zip_int64_t index = zip_file_add(writer, name.c_str(), source, 0);
    if (index < 0) {
      zip_source_free(source);
      continue;
    }
    zip_set_file_compression(writer, static_cast<zip_uint64_t>(index),
                             (entry.method & 1) ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 0);
    if ((entry.method & 0x16) == 0x16) {
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
  return archive;
}

// Flips bytes at offsets the rest of the input names, and cuts the last byte when asked.
std::string damaged(std::string archive, Input& input, bool cut) {
  while (!input.empty() && !archive.empty()) {
    const std::size_t offset = (input.byte() | (input.byte() << 8)) % archive.size();
    archive[offset] = static_cast<char>(archive[offset] ^ input.byte());
  }
  if (cut && archive.size() > 1) archive.resize(archive.size() - 1);
  return archive;
}

// Writes an archive described by the input, then damages it.
std::string described_archive(Input& input) {
  std::vector<EntrySpec> entries;
  const std::size_t count = input.byte() % 5;
  for (std::size_t i = 0; i < count; ++i) {
    EntrySpec entry;
    entry.name = input.take(input.byte() % 32);
    entry.method = input.byte();
    const std::size_t length = input.byte() * 8u;
    entry.content = input.take(input.byte() % 64);
    // Repeat the content to reach the length, so that Deflate has work to do.
    while (!entry.content.empty() && entry.content.size() < length) entry.content += entry.content;
    entries.push_back(std::move(entry));
  }
  return damaged(write_archive(entries), input, (count & 4) != 0);
}

// Replaces every `from` in the archive by `to` (same length), local and central headers alike.
void rename_entries(std::string& archive, std::string_view from, std::string_view to) {
  for (auto at = archive.find(from); at != std::string::npos; at = archive.find(from, at))
    archive.replace(at, from.size(), to);
}

// Sets the uncompressed size that both headers of the first entry declare (it is the first
// local header and the first central header of the archive).
void declare_first_entry_size(std::string& archive, std::uint32_t size) {
  for (const auto& [magic, size_at] : {std::pair{std::string_view("PK\x03\x04"), 22},
                                       std::pair{std::string_view("PK\x01\x02"), 24}}) {
    const auto at = archive.find(magic);
    if (at == std::string::npos) continue;
    for (int i = 0; i < 4; ++i) archive[at + size_at + i] = static_cast<char>(size >> (8 * i));
  }
}

// The hostile archives, built once (the repository keeps no binary seeds).
const std::string& hostile_archive(std::uint8_t which) {
  static const std::string bomb = [] {
    // 64 MiB of blanks declared as 1,000 bytes.
    std::string archive = write_archive({{"ppt/presentation.xml", std::string(64u << 20, ' ')},
                                         {"ppt/slides/slide1.xml", "<p:sld/>"}});
    declare_first_entry_size(archive, 1000);
    return archive;
  }();
  static const std::string duplicate = [] {
    std::string archive = write_archive({{"ppt/slides/slide1.xml", "<p:sld>one</p:sld>"},
                                         {"ppt/slides/slideX.xml", "<p:sld>two</p:sld>"},
                                         {"ppt/presentation.xml", "<p:presentation/>"}});
    rename_entries(archive, "slideX.xml", "slide1.xml");
    return archive;
  }();
  static const std::string honest = [] {
    // 8 MiB of blanks after the part, its size declared as it is.
    return write_archive(
        {{"ppt/presentation.xml", "<p:presentation/>" + std::string(8u << 20, ' ')},
         {"ppt/slides/slide1.xml", "<p:sld/>"}});
  }();
  switch (which % 3) {
    case 0: return bomb;
    case 1: return duplicate;
    default: return honest;
  }
}

// The most an entry may inflate to before it is refused: 4 MiB, or 100 times the compressed size
// its central directory states.
std::uint64_t inflation_allowance(pelvane::PackageArchive& archive, std::uint64_t index) {
  constexpr std::uint64_t kFloor = std::uint64_t{4} << 20;
  auto library = archive.library();
  zip_stat_t stat;
  zip_stat_init(&stat);
  if (!library || zip_stat_index(*library, index, 0, &stat) != 0 ||
      !(stat.valid & ZIP_STAT_COMP_SIZE))
    return UINT64_MAX;
  if (stat.comp_size > UINT64_MAX / 100) return UINT64_MAX;
  return std::max(kFloor, 100 * stat.comp_size);
}

// The result of a reader as comparable text: the content, or the error's text.
template <class T>
std::string outcome(const pelvane::Result<T>& result) {
  if (!result) return "error: " + result.error().to_string();
  if constexpr (std::is_same_v<T, std::string>) return "content: " + *result;
  return "ok";
}

// An entry streamed in small pieces, as comparable text.
std::string streamed(pelvane::PackageArchive& archive, std::uint64_t index) {
  auto entry = pelvane::EntryReader::open(archive, index);
  if (!entry) return "error: " + entry.error().to_string();
  std::string content;
  char piece[1000];
  const auto size = pelvane::stream_archive_entry(
      *entry, piece, [&](std::string_view chunk) { content.append(chunk); });
  return size ? "content: " + content : "error: " + size.error().to_string();
}

// The same bytes opened as a file, which a plain archive has read through its own stored
// headers instead of the archive library: every name, lookup, check and read agrees with the
// library's reading of the bytes, streamed or whole.
void compare_with_file(pelvane::Result<pelvane::PackageArchive>& opened, std::string_view bytes) {
  // The library opens empty bytes as an archive without entries, but not an empty file.
  if (bytes.empty()) return;
  const int fd = ::memfd_create("fuzz-archive", MFD_CLOEXEC);
  if (fd < 0) return;
  const bool written =
      ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  if (!written) return;
  auto from_file = pelvane::PackageArchive::open_file("/proc/self/fd/" + std::to_string(fd));
  // Bytes in memory have every entry's local header checked against its region when they are
  // opened; a file has an entry's region checked only when the entry is read through its stored
  // headers. So bytes may be refused for an overlap where the same file opens.
  if (from_file && !opened) {
    const std::string refusal = opened.error().to_string();
    require(refusal.starts_with("zip error: entr") && refusal.find("overlap") != std::string::npos);
    return;
  }
  require(from_file.has_value() == opened.has_value());
  if (!from_file) return;
  pelvane::PackageArchive& from_bytes = *opened;
  const std::uint64_t count = from_bytes.entry_count();
  require(from_file->entry_count() == count);
  for (std::uint64_t index = 0; index < count && index < 64; ++index) {
    const std::string name(from_bytes.entry_name(index));
    require(from_file->entry_name(index) == name);
    require(from_file->find(name) == from_bytes.find(name));
    require(outcome(pelvane::check_entry_opens(*from_file, index)) ==
            outcome(pelvane::check_entry_opens(from_bytes, index)));
    require(outcome(pelvane::read_archive_entry(*from_file, index)) ==
            outcome(pelvane::read_archive_entry(from_bytes, index)));
    require(streamed(*from_file, index) == streamed(from_bytes, index));
  }
  require(outcome(pelvane::inspect_archive("fuzz.pptx", *from_file)) ==
          outcome(pelvane::inspect_archive("fuzz.pptx", from_bytes)));
  require(outcome(pelvane::check_unique_entry_names(*from_file)) ==
          outcome(pelvane::check_unique_entry_names(from_bytes)));
}

void exercise(std::string_view bytes) {
  auto archive = pelvane::PackageArchive::open_bytes(bytes);
  compare_with_file(archive, bytes);
  if (!archive) return;
  (void)pelvane::check_unique_entry_names(*archive);
  const auto manifest = pelvane::inspect_archive("fuzz.pptx", *archive);
  const std::uint64_t count = archive->entry_count();
  for (std::uint64_t index = 0; index < count && index < 64; ++index) {
    const std::string name(archive->entry_name(index));
    (void)archive->is_directory(index);
    (void)pelvane::part_kind(name);
    (void)pelvane::read_archive_text(*archive, name);
    const auto found = pelvane::read_archive_bytes(*archive, name);
    std::uint64_t streamed = 0;
    if (auto entry = pelvane::EntryReader::open(*archive, index)) {
      char buffer[4096];
      (void)pelvane::stream_archive_entry(
          *entry, buffer, [&](std::string_view chunk) { streamed += chunk.size(); });
      require(streamed <= entry->declared_size());
      require(streamed <= inflation_allowance(*archive, index));
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
  if ((bytes.front() & 2) == 0) {
    exercise(described_archive(input));
  } else {
    const std::uint8_t which = input.byte();
    exercise(damaged(hostile_archive(which), input, (which & 4) != 0));
  }
  return 0;
}
