// The entries' local headers, read in windows over the archive file or settled from bytes a
// copy read ahead (stored_headers.hpp).
#include <algorithm>
#include <ranges>
#include <string>
#include <vector>

#include "core/base/assertion.hpp"
#include "core/base/buffer_shelf.hpp"
#include "core/zip/archive_source.hpp"
#include "core/zip/stored_headers.hpp"

namespace pelvane {

namespace {

using namespace zip_format;
// Local headers are read in windows of at most this many bytes, each covering the headers of
// the entries that lie close together (all of them, for a package of small parts), into a
// buffer of 256 KiB with room for the lead that places them (`Source::get`).
constexpr std::uint64_t kHeaderWindowBuffer = 256 * 1024;
constexpr std::uint64_t kHeaderWindow = kHeaderWindowBuffer - (kCopyAlignment - 1);
// Room a window leaves after a name for the local extra field, whose length only the local
// header states; a longer one is read on its own.
constexpr std::uint64_t kExtraFieldRoom = 512;
// How many headers ahead of the one settled the next are fetched.
constexpr std::size_t kPrefetchAhead = 4;

}  // namespace

// Reads byte ranges of a source through one window, loaded again only when a range falls
// outside it; a window of a source in memory is a view of it.
class StoredEntryHeaders::Window {
 public:
  // `bytes` holds the window's bytes when they are read; its storage serves one window after
  // the other.
  Window(const Source& source, std::string& bytes) : source_(source), bytes_(&bytes) {}
  // A window over `bytes`, read by the caller from `start` on; it is never loaded.
  Window(const Source& source, std::uint64_t start, std::string_view bytes)
      : source_(source), start_(start), view_(bytes) {}

  // The `length` bytes at `offset` when the window holds them.
  std::optional<std::string_view> get(std::uint64_t offset, std::uint64_t length) const {
    if (offset < start_ || offset - start_ > view_.size() ||
        length > view_.size() - (offset - start_))
      return std::nullopt;
    return known_part(view_, offset - start_, length);
  }
  // Asks the processor to fetch the bytes at `offset` ahead of their use, when the window holds
  // them.
  void prefetch(std::uint64_t offset) const {
    if (offset >= start_ && offset - start_ < view_.size())
      __builtin_prefetch(view_.data() + (offset - start_));
  }
  // Loads the bytes from `offset` up to `end` (cut at the end of the source).
  void load(std::uint64_t offset, std::uint64_t end) {
    end = std::min(end, source_.size());
    start_ = offset;
    view_ = {};
    if (offset >= end) return;
    if (const auto bytes = source_.get(offset, end - offset, *bytes_)) view_ = *bytes;
  }

 private:
  const Source& source_;
  std::uint64_t start_ = 0;
  std::string* bytes_ = nullptr;
  std::string_view view_;  // the window's bytes
};

std::uint64_t StoredEntryHeaders::reach(std::size_t k) const {
  const Entry& entry = entries_[by_offset(k)];
  return std::min(entry.local_offset, source_->size()) + kLocalHeaderSize + entry.name.size() +
         kExtraFieldRoom;
}

std::size_t StoredEntryHeaders::room(std::size_t k) const {
  const Entry& entry = entries_[by_offset(k)];
  return entry.local == LocalState::Unread ? kLocalHeaderSize + entry.name.size() + 16 : 0;
}

void StoredEntryHeaders::read_local_headers(std::size_t from_rank) const {
  const Source& source = *source_;
  // One window from this header on, over the ones that follow it closely; for a source in
  // memory, over the rest of it, and the headers found are views of it, valid as long as it is.
  const bool in_memory = source.in_memory();
  const std::uint64_t start = entries_[by_offset(from_rank)].local_offset;
  std::uint64_t end = source.size();
  std::size_t expected = 0;
  std::size_t last = entries_.size();
  if (!in_memory) {
    end = reach(from_rank);
    expected = room(from_rank);
    for (last = from_rank + 1; last < entries_.size(); ++last) {
      const std::uint64_t reached = reach(last);
      if (headers_alone_ || reached - start > kHeaderWindow) break;
      end = reached;
      expected += room(last);
    }
  }
  // A header read alone takes a buffer of its own size, beside the window a copy may hold.
  const std::size_t buffer =
      headers_alone_ ? static_cast<std::size_t>(end - start) + kCopyAlignment : kHeaderWindowBuffer;
  ShelvedBuffer<std::string> window_bytes =
      in_memory ? ShelvedBuffer<std::string>() : ShelvedBuffer<std::string>(buffer);
  Window window(source, *window_bytes);
  window.load(start, end);
  settle_local_headers(window, from_rank, last, expected);
}

std::uint64_t StoredEntryHeaders::read_ahead_length(std::uint64_t index, std::uint64_t most,
                                                    std::uint64_t until) const {
  const std::uint64_t start = entries_[index].local_offset;
  std::uint64_t end = start > source_->size() ? start : std::min(source_->size(), start + most);
  // Not into the directory, and only up to the local header of an entry long enough to be
  // copied in the kernel (its data is left to that copy), or up to `until` and the room of the
  // header before it.
  const std::size_t count = entries_.size();
  end = std::min(end, std::max(limits_[by_offset(count - 1)].end_limit, reach(count - 1)));
  const std::size_t first = rank_.empty() ? index : rank_[index];
  for (std::size_t k = first; k < count; ++k) {
    const Entry& entry = entries_[by_offset(k)];
    if (entry.local_offset >= end) break;
    if (k > first && entry.local_offset >= until) {
      end = std::min(end, std::max(until, reach(k - 1)));
      break;
    }
    if (entry.compressed_size >= kKernelCopyMinimum) {
      end = std::min(end, reach(k));
      break;
    }
  }
  return end > start ? end - start : 0;
}

void StoredEntryHeaders::take_local_headers(std::uint64_t offset, std::string_view bytes) const {
  if (!exact_ || !file_ || entries_.empty()) return;
  // The bytes are a copy's, gone once it appends over them: what is settled from them must be
  // kept as copies, which only a source that is not in memory does (archive_copy.cpp, the entry
  // assumptions of reading ahead).
  PELVANE_ASSERT(bytes.empty() || !source_->in_memory());
  // The entries whose local headers lie within the bytes, each with the room a window leaves
  // for its extra field: the same bytes as a window would hold settle them.
  const std::size_t count = entries_.size();
  const std::size_t first = *std::ranges::partition_point(
      std::views::iota(std::size_t{0}, count),
      [&](std::size_t k) { return entries_[by_offset(k)].local_offset < offset; });
  std::size_t last = first;
  std::size_t expected = 0;
  for (; last < count && reach(last) - offset <= bytes.size(); ++last) expected += room(last);
  // None of them unread (`room` counts the unread alone): nothing to settle.
  if (expected == 0) return;
  settle_local_headers(Window(*source_, offset, bytes), first, last, expected);
  PELVANE_ASSERT(std::ranges::none_of(std::views::iota(first, last), [&](std::size_t k) {
    const char* const header = entries_[by_offset(k)].local_header.data();
    return header >= bytes.data() && header < bytes.data() + bytes.size();
  }));
}

void StoredEntryHeaders::settle_local_headers(const Window& window, std::size_t first,
                                              std::size_t last, std::size_t expected) const {
  // The headers of a file are kept here, one window's after the other; in memory, they are
  // views of the source.
  std::string* const kept =
      source_->in_memory() ? nullptr
                           : &local_headers_.emplace_back(BufferShelf<std::string>::take(expected));
  std::vector<FoundHeader> found;
  if (kept != nullptr) found.reserve(last - first);
  for (std::size_t k = first; k < last; ++k) {
    // The headers lie apart by their entries' data, too far and too unevenly for the processor
    // to fetch them ahead on its own: each would wait on memory.
    if (k + kPrefetchAhead < last)
      window.prefetch(entries_[by_offset(k + kPrefetchAhead)].local_offset);
    settle_local_header(window, by_offset(k), kept, found);
  }
  // The views once `kept` is complete: it does not move again.
  for (const FoundHeader& header : found)
    entries_[header.index].local_header = known_part(*kept, header.at, header.size);
}

void StoredEntryHeaders::settle_local_header(const Window& window, std::uint64_t index,
                                             std::string* kept,
                                             std::vector<FoundHeader>& found) const {
  const Source& source = *source_;
  const Entry& entry = entries_[index];
  if (entry.local != LocalState::Unread) return;
  entry.local = LocalState::Absent;
  const std::uint64_t at = entry.local_offset;
  if (at > source.size()) return;
  auto fixed = window.get(at, kLocalHeaderSize);
  if (!fixed || get32(*fixed, kSignatureAt) != kLocalHeaderSignature ||
      get16(*fixed, local_header::kNameLength) != entry.name.size())
    return;
  const std::uint64_t size =
      kLocalHeaderSize + entry.name.size() + get16(*fixed, local_header::kExtraLength);
  auto header = window.get(at, size);
  // A header longer than its room in the window (never in memory, where the window holds
  // every header that lies within the source).
  std::optional<std::string> alone;
  if (!header) {
    alone = source.read(at, size);
    if (alone) header = *alone;
  }
  // A header that runs past the end of the archive puts its data past its region's end.
  if (!header) entry.runs_over = size > source.size() - at && runs_past_limit(index, at + size);
  if (!header || known_part(*header, kLocalHeaderSize, entry.name.size()) != entry.name) return;
  if (kept == nullptr) {
    entry.local_header = *header;
  } else {
    found.push_back({index, kept->size(), header->size()});
    kept->append(*header);
  }
  entry.local = LocalState::Found;
  // Its data must end where the next region starts, or the directory does.
  entry.runs_over = runs_past_limit(index, at + size);

  // What the archive library would refuse or not find is left for it to say.
  const std::uint16_t local_flags = get16(*header, local_header::kFlags);
  const EntryFields& fields = entry.fields;
  const bool plain = ((fields.flags | local_flags) & (kFlagEncrypted | kFlagStrongEncryption)) == 0;
  const bool method = (fields.method == kZipMethodStored || fields.method == kZipMethodDeflate) &&
                      get16(*header, local_header::kMethod) == fields.method;
  const bool sizes_stated =
      get32(*header, local_header::kCrc32) == fields.crc32 &&
      get32(*header, local_header::kCompressedSize) == fields.compressed_size &&
      get32(*header, local_header::kUncompressedSize) == fields.uncompressed_size;
  const bool plain_sizes =
      fields.compressed_size != kZip64Value && fields.uncompressed_size != kZip64Value;
  entry.opens = plain && method && plain_sizes && !entry.runs_over &&
                (sizes_stated || (local_flags & kFlagSizesAfterData) != 0) &&
                fields.compressed_size <= source.size() - at - size;
}

}  // namespace pelvane
