#include "core/package/part_names.hpp"

#include <algorithm>
#include <bit>
#include <cstring>
#include <numeric>
#include <utility>

#include "core/base/byte_search.hpp"
#include "core/base/decimal.hpp"
#include "core/base/string_room.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {
namespace {

bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

bool all_digits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), is_ascii_digit);
}

// A digit run as a number; a value that does not fit in 64 bits reads as 0.
std::uint64_t digit_run_value(std::string_view run) {
  std::uint64_t value = 0;
  for (char c : run) {
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return 0;
    value = value * 10 + digit;
  }
  return value;
}

// Length of the run starting at `at`: all digits or all non-digits.
std::size_t run_length(std::string_view name, std::size_t at) {
  const bool digits = is_ascii_digit(name[at]);
  std::size_t end = at + 1;
  while (end < name.size() && is_ascii_digit(name[end]) == digits) ++end;
  return end - at;
}

// True when the name is `prefix`, one or more ASCII digits, then `suffix`, and nothing else.
bool is_numbered_name(std::string_view name, std::string_view prefix, std::string_view suffix) {
  if (name.size() <= prefix.size() + suffix.size()) return false;
  if (!name.starts_with(prefix) || !name.ends_with(suffix)) return false;
  return all_digits(name.substr(prefix.size(), name.size() - prefix.size() - suffix.size()));
}

// The eight bytes of `name` from `at` as one big-endian number, missing bytes as zeros: two
// names that agree before `at` compare as these numbers do, unless the numbers tie.
std::uint64_t word_at(std::string_view name, std::size_t at) {
  std::uint64_t word = 0;
  if (at + 8 <= name.size()) {
    std::memcpy(&word, name.data() + at, 8);
    return std::byteswap(word);
  }
  for (std::size_t i = at; i < at + 8; ++i)
    word = word << 8 | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0u);
  return word;
}

// How many bytes `a` and `b` share from their start, at most `most`.
std::size_t shared_length(std::string_view a, std::string_view b, std::size_t most) {
  std::size_t at = 0;
  while (at + 8 <= most && std::memcmp(a.data() + at, b.data() + at, 8) == 0) at += 8;
  while (at < most && a[at] == b[at]) ++at;
  return at;
}

}  // namespace

std::strong_ordering natural_compare(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    const std::size_t length_a = run_length(a, i);
    const std::size_t length_b = run_length(b, j);
    const bool digits_a = is_ascii_digit(a[i]);
    const bool digits_b = is_ascii_digit(b[j]);
    const std::string_view run_a = a.substr(i, length_a);
    const std::string_view run_b = b.substr(j, length_b);
    if (digits_a != digits_b)
      return digits_a ? std::strong_ordering::greater : std::strong_ordering::less;
    if (digits_a) {
      const auto order = digit_run_value(run_a) <=> digit_run_value(run_b);
      if (order != 0) return order;
    } else {
      const int order = run_a.compare(run_b);
      if (order != 0) return order < 0 ? std::strong_ordering::less : std::strong_ordering::greater;
    }
    i += length_a;
    j += length_b;
  }
  // The key that runs out first is a prefix of the other and sorts first.
  const bool a_done = i >= a.size();
  const bool b_done = j >= b.size();
  if (a_done && b_done) return std::strong_ordering::equal;
  return a_done ? std::strong_ordering::less : std::strong_ordering::greater;
}

// The names of one list mostly share a long beginning and differ in a few bytes after it, so each
// is sorted by the eight bytes that follow what all of them share, and compared whole only on a
// tie.
std::vector<std::string> sorted_names(std::span<const std::string> names) {
  struct Keyed {
    std::uint64_t key;
    std::string_view name;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(names.size());
  std::size_t shared = std::string_view::npos;
  for (const std::string_view name : names) {
    if (!keyed.empty()) {
      const std::string_view first = keyed.front().name;
      shared = shared_length(first, name, std::min({shared, first.size(), name.size()}));
    }
    keyed.push_back(Keyed{0, name});
  }
  if (shared == std::string_view::npos) shared = 0;
  for (Keyed& entry : keyed) entry.key = word_at(entry.name, shared);
  std::sort(keyed.begin(), keyed.end(), [](const Keyed& a, const Keyed& b) {
    return a.key != b.key ? a.key < b.key : a.name < b.name;
  });
  std::vector<std::string> sorted;
  sorted.reserve(keyed.size());
  for (const Keyed& entry : keyed) sorted.emplace_back(entry.name);
  return sorted;
}

bool is_slide_part(std::string_view name) {
  return is_numbered_name(name, "ppt/slides/slide", ".xml");
}

bool is_slide_layout_part(std::string_view name) {
  return is_numbered_name(name, "ppt/slideLayouts/slideLayout", ".xml");
}

std::optional<std::uint64_t> slide_number(std::string_view name) {
  constexpr std::string_view kPrefix = "ppt/slides/slide";
  constexpr std::string_view kSuffix = ".xml";
  if (name.size() < kPrefix.size() + kSuffix.size()) return std::nullopt;
  if (!name.starts_with(kPrefix) || !name.ends_with(kSuffix)) return std::nullopt;
  return parse_u64(name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size()));
}

std::string slide_part_name(std::uint64_t number) {
  return "ppt/slides/slide" + std::to_string(number) + ".xml";
}

void relationship_part_name_into(std::string_view name, std::string& part) {
  constexpr std::string_view kFolder = "_rels/";
  constexpr std::string_view kSuffix = ".rels";
  // Made in one piece: the folder, "_rels/", the file name and ".rels".
  const std::size_t slash = find_last_byte(name, '/');
  const std::size_t file = slash == std::string_view::npos ? 0 : slash + 1;
  grow_unwritten(part, name.size() + kFolder.size() + kSuffix.size());
  char* out = std::copy_n(name.data(), file, part.data());
  out = std::copy(kFolder.begin(), kFolder.end(), out);
  out = std::copy(name.begin() + static_cast<std::ptrdiff_t>(file), name.end(), out);
  std::copy(kSuffix.begin(), kSuffix.end(), out);
}

std::string relationship_part_name(std::string_view name) {
  std::string part;
  relationship_part_name_into(name, part);
  return part;
}

std::string next_free_numbered_part(std::set<std::string>& in_use, std::string_view template_name) {
  const std::size_t slash = template_name.rfind('/');
  const std::size_t file_start = slash == std::string_view::npos ? 0 : slash + 1;
  const std::string_view directory = template_name.substr(0, file_start);
  const std::string_view file = template_name.substr(file_start);
  const std::size_t dot = file.rfind('.');
  const std::string_view stem = dot == std::string_view::npos ? file : file.substr(0, dot);
  const std::string_view extension =
      dot == std::string_view::npos ? std::string_view() : file.substr(dot);
  std::string_view prefix = stem;
  while (!prefix.empty() && is_ascii_digit(prefix.back())) prefix.remove_suffix(1);

  std::string base;
  base.append(directory).append(prefix);
  for (std::int32_t n = 1;; ++n) {
    std::string candidate = base + std::to_string(n) + std::string(extension);
    if (!in_use.contains(candidate)) {
      in_use.insert(candidate);
      return candidate;
    }
  }
}

Result<std::string> read_required_part(PackageArchive& archive, std::string_view name) {
  auto bytes = PELVANE_TRY(read_archive_bytes(archive, name));
  if (!bytes) return fail(PelvaneError::zip("specified file not found in archive"));
  return std::move(*bytes);
}

}  // namespace pelvane
