// Whole-entry reads that several threads can make at once from one package file.
//
// The archive library keeps one read position per archive, so its entries are read one at a
// time. This reader opens the file once more, finds each entry's data through the central
// directory, and reads and inflates with positioned reads only: nothing it shares changes after
// it is built. It reads only what it can vouch for (stored or deflated, not encrypted, the
// length and CRC-32 the archive library lists); for anything else it answers "not vouched" and
// the caller reads through the archive library, which then reports any failure in its own words.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/package_archive.hpp"

namespace pelvane {

class ConcurrentEntryReader {
 public:
  // None when the file's central directory cannot be read plainly (a ZIP64 or split archive,
  // an unexpected layout, two entries of one name).
  static std::optional<ConcurrentEntryReader> open_file(std::string_view path);
  // open_file over the archive's file, when it lists exactly what the archive library lists;
  // none for an archive not opened from a file.
  static std::optional<ConcurrentEntryReader> open(PackageArchive& archive);

  // True when the archive library lists the same entries in the same order with the same names
  // and sizes, and lists every entry read here with the same CRC-32 and method, unencrypted.
  // Until this holds for the archive opened over the same file, what was read here is only
  // provisional.
  bool lists_as(PackageArchive& archive) const;

  std::uint64_t entry_count() const { return entries_.size(); }
  // The entry's name as the central directory holds it.
  std::string_view entry_name(std::uint64_t index) const { return names_[index]; }

  ConcurrentEntryReader(ConcurrentEntryReader&& other) noexcept;
  ConcurrentEntryReader& operator=(ConcurrentEntryReader&&) = delete;
  ConcurrentEntryReader(const ConcurrentEntryReader&) = delete;
  ConcurrentEntryReader& operator=(const ConcurrentEntryReader&) = delete;
  ~ConcurrentEntryReader();

  // Index of the entry with exactly this name, as PackageArchive::find gives it.
  std::optional<std::uint64_t> find(std::string_view name) const;

  // The entry's bytes, when this reader can vouch for them; none otherwise (the caller then
  // reads the entry through the archive library).
  std::optional<std::string> read(std::uint64_t index) const;

 private:
  struct Entry {
    std::uint64_t header_offset = 0;
    std::uint64_t compressed_size = 0;
    std::uint64_t size = 0;
    std::uint32_t crc = 0;
    std::uint16_t method = 0;
    bool vouched = false;
  };

  ConcurrentEntryReader(int fd, std::uint64_t file_size) : fd_(fd), file_size_(file_size) {}

  int fd_ = -1;
  std::uint64_t file_size_ = 0;
  std::vector<Entry> entries_;
  // The central directory as read; `names_` and `by_name_` view into it.
  std::string directory_;
  std::vector<std::string_view> names_;
  std::unordered_map<std::string_view, std::uint64_t> by_name_;
};

}  // namespace pelvane
