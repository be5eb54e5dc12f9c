#include "core/summary_package_extract.hpp"

#include <zip.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/concurrent_entry_reader.hpp"
#include "core/json_out.hpp"
#include "core/package_archive.hpp"
#include "core/part_names.hpp"
#include "core/relationships.hpp"
#include "core/slide_order.hpp"
#include "core/summary_shape_extract.hpp"
#include "core/summary_table_extract.hpp"
#include "core/text_runs.hpp"
#include "core/xml_splice.hpp"

namespace pelvane {
namespace {

struct EntryCloser {
  void operator()(zip_file_t* file) const noexcept { zip_fclose(file); }
};

// True when some entry of the archive is a macro project. Every entry is opened in archive
// order; one that cannot be opened (encrypted, or stored with an unsupported method) is `Zip`.
Result<bool> holds_macro_project(PackageArchive& archive) {
  bool has_vba = false;
  const std::uint64_t count = archive.entry_count();
  for (std::uint64_t index = 0; index < count; ++index) {
    std::unique_ptr<zip_file_t, EntryCloser> entry(zip_fopen_index(archive.handle(), index, 0));
    if (!entry) return fail(PelvaneError::zip(archive_error_message(archive.handle())));
    if (part_kind(archive.entry_name(index)) == PartKind::Vba) has_vba = true;
  }
  return has_vba;
}

// The summary of a slide whose bytes, relationships and notes have been read.
SlideSummary slide_summary_of(std::string_view slide_part, std::string_view xml,
                              std::vector<RelationshipSummary> relationships,
                              std::vector<std::string> notes) {
  SlideSummary slide;
  slide.relationships = std::move(relationships);
  slide.notes = std::move(notes);
  slide.image_relationships = relationships_by_type(slide.relationships, {"/image"});
  slide.chart_relationships = relationships_by_type(slide.relationships, {"/chart"});
  slide.comment_relationships =
      relationships_by_type(slide.relationships, {"/comments", "/comment"});
  slide.media_relationships =
      relationships_by_type(slide.relationships, {"/audio", "/media", "/video"});
  slide.ole_relationships =
      relationships_by_type(slide.relationships, {"/oleObject", "/package"});

  SlideTextScan scan = scan_slide_text(xml);
  slide.texts = std::move(scan.texts);
  slide.has_transition = scan.has_transition;
  slide.has_timing = scan.has_timing;
  // Shapes and tables read the slide as text, invalid UTF-8 replaced; decoded once for both.
  std::string decoded;
  std::string_view text = xml;
  if (!holds_valid_utf8(xml)) {
    decoded = decode_utf8_lossy(xml);
    text = decoded;
  }
  slide.tables = extract_tables_in_text(text);
  slide.shapes = extract_shapes_in_text(text);
  slide.part = std::string(slide_part);
  return slide;
}

// summarize_slide through the concurrent reader: the same reads in the same order, or none
// where the reader cannot vouch for an entry the slide needs (a missing slide part included),
// so that the archive library's reading decides and words the outcome.
std::optional<SlideSummary> summarize_slide_concurrently(const ConcurrentEntryReader& reader,
                                                         std::string_view slide_part,
                                                         std::size_t& slide_size) {
  const auto slide_index = reader.find(slide_part);
  if (!slide_index) return std::nullopt;
  const auto bytes = reader.read(*slide_index);
  if (!bytes) return std::nullopt;
  slide_size = bytes->size();

  std::vector<RelationshipSummary> relationships;
  if (const auto rels_index = reader.find(relationship_part_name(slide_part))) {
    const auto rels = reader.read(*rels_index);
    if (!rels) return std::nullopt;
    relationships = parse_relationships(*rels);
  }
  // The notes slide: the first relationship whose type ends with "/notesSlide".
  std::vector<std::string> notes;
  const auto notes_relationship =
      std::find_if(relationships.begin(), relationships.end(), [](const RelationshipSummary& r) {
        return r.relationship_type.ends_with("/notesSlide");
      });
  if (notes_relationship != relationships.end()) {
    const std::string notes_part = resolve_target(slide_part, notes_relationship->target);
    if (const auto notes_index = reader.find(notes_part)) {
      const auto notes_bytes = reader.read(*notes_index);
      if (!notes_bytes) return std::nullopt;
      notes = extract_text_runs(*notes_bytes);
    }
  }
  return slide_summary_of(slide_part, *bytes, std::move(relationships), std::move(notes));
}

// A slide's summary as printed two levels in. `expected_size` is room to reserve.
std::string slide_json_text(const SlideSummary& slide, std::size_t expected_size = 0) {
  JsonWriter writer(2);
  writer.reserve(expected_size);
  writer.value(slide);
  return writer.take();
}

bool holds_only_ascii(std::string_view text) {
  unsigned char any = 0;
  for (const char c : text) any |= static_cast<unsigned char>(c);
  return any < 0x80;
}

// A printed slide and whether all of it is ASCII, found while its text is still in the caches.
struct PrintedSlide {
  std::string text;
  bool ascii = true;
};

// `slide_size` is the slide part's size: its summary prints to a few times that. The room
// reserved is held until the slides are joined, so it stays modest.
PrintedSlide printed(const SlideSummary& slide, std::size_t slide_size) {
  constexpr std::size_t kMaxReserve = std::size_t{64} << 10;
  PrintedSlide out{slide_json_text(slide, std::min(slide_size * 4 + 4096, kMaxReserve))};
  out.ascii = holds_only_ascii(out.text);
  return out;
}

// How many threads share `items` pieces of work: a few pieces per thread at least, this
// thread counted.
std::size_t thread_count(std::size_t items) {
  constexpr std::size_t kMaxThreads = 8;
  constexpr std::size_t kItemsPerThread = 4;
  const std::size_t available = std::max<std::size_t>(1, std::thread::hardware_concurrency());
  return std::clamp<std::size_t>((items + kItemsPerThread - 1) / kItemsPerThread, 1,
                                 std::min(available, kMaxThreads));
}

// Calls `work(i)` for every i below `count`, on up to `threads` threads with this one among
// them; `meanwhile()` runs here first. Returns once every call has returned. `work` must not
// throw.
template <class Work, class Meanwhile>
void share_out(std::size_t count, std::size_t threads, const Work& work, Meanwhile&& meanwhile) {
  std::atomic<std::size_t> next{0};
  const auto take_turns = [&] {
    for (std::size_t i = next.fetch_add(1); i < count; i = next.fetch_add(1)) work(i);
  };
  std::vector<std::jthread> helpers;
  try {
    helpers.reserve(threads - 1);
    for (std::size_t t = 1; t < threads; ++t) helpers.emplace_back(take_turns);
  } catch (...) {
    // Fewer threads than hoped: the ones started and this one share the work.
  }
  meanwhile();
  take_turns();
}

// Slides printed from the concurrent reader by several threads; a slide left empty is one the
// reader could not vouch for (or whose summary failed), to be read through the archive
// library. `meanwhile` runs on the calling thread while the others work.
template <class Meanwhile>
std::vector<std::optional<PrintedSlide>> print_slides_concurrently(
    const ConcurrentEntryReader& reader, const std::vector<std::string>& parts,
    Meanwhile&& meanwhile) {
  std::vector<std::optional<PrintedSlide>> texts(parts.size());
  const auto print = [&](std::size_t i) noexcept {
    try {
      std::size_t slide_size = 0;
      if (auto slide = summarize_slide_concurrently(reader, parts[i], slide_size)) {
        texts[i] = printed(*slide, slide_size);
      }
    } catch (...) {
      // Left to the archive library's road, which reports the failure as it always does.
    }
  };
  share_out(parts.size(), thread_count(parts.size()), print, meanwhile);
  return texts;
}

}  // namespace

Result<SlideSummary> summarize_slide(PackageArchive& archive, std::string_view slide_part) {
  auto bytes = PELVANE_TRY(read_archive_bytes(archive, slide_part));
  if (!bytes) return fail(PelvaneError::zip("specified file not found in archive"));
  auto relationships = PELVANE_TRY(read_relationships(archive, slide_part));
  auto notes = PELVANE_TRY(read_notes(archive, slide_part, relationships));
  return slide_summary_of(slide_part, *bytes, std::move(relationships), std::move(notes));
}

Result<SlideSummary> summarize_slide_at_index(std::string_view path, std::uint64_t index) {
  auto archive = PELVANE_TRY(PackageArchive::open_file(path));
  const auto part = PELVANE_TRY(slide_part_at_index(archive, index));
  if (!part) {
    return fail(PelvaneError::invalid_input("slide index " + std::to_string(index) +
                                            " was not found"));
  }
  return summarize_slide(archive, *part);
}

PresentationText::PresentationText(std::string head, std::vector<std::string> slides,
                                   std::string tail, bool slides_ascii)
    : head_(std::move(head)), slides_(std::move(slides)), tail_(std::move(tail)) {
  size_ = head_.size() + tail_.size();
  for (std::size_t i = 0; i < slides_.size(); ++i) size_ += separator(i).size() + slides_[i].size();
  ascii_ = slides_ascii && holds_only_ascii(head_) && holds_only_ascii(tail_);
}

void PresentationText::write_to(char* buffer) {
  // A result this large is mostly fresh memory, and the first touch of each page is much of
  // what its copy costs: several threads share that.
  std::vector<std::size_t> offsets(slides_.size());
  std::size_t at = head_.size();
  for (std::size_t i = 0; i < slides_.size(); ++i) {
    offsets[i] = at;
    at += separator(i).size() + slides_[i].size();
  }
  head_.copy(buffer, head_.size());
  const auto copy = [&](std::size_t i) noexcept {
    const std::string_view before = separator(i);
    before.copy(buffer + offsets[i], before.size());
    slides_[i].copy(buffer + offsets[i] + before.size(), slides_[i].size());
    std::string().swap(slides_[i]);
  };
  share_out(slides_.size(), thread_count(slides_.size()), copy, [] {});
  tail_.copy(buffer + at, tail_.size());
  slides_.clear();
}

std::string PresentationText::take() {
  std::string out;
  out.resize_and_overwrite(size_, [&](char* buffer, std::size_t size) noexcept {
    write_to(buffer);
    return size;
  });
  return out;
}

Result<PresentationText> print_presentation_summary(std::string_view path) {
  // Every slide part that the file's central directory lists is summarised and printed on
  // several threads from the start, while this thread opens the package through the archive
  // library, finds the slide order and looks for a macro project. The printed slides count only
  // once the library lists the same entries; whatever is left is then done here, in slide
  // order, through the library.
  const std::optional<ConcurrentEntryReader> reader = ConcurrentEntryReader::open_file(path);
  std::vector<std::string> candidates;
  if (reader) {
    for (std::uint64_t index = 0; index < reader->entry_count(); ++index) {
      const std::string_view name = reader->entry_name(index);
      if (is_slide_part(name)) candidates.emplace_back(name);
    }
  }
  std::optional<Result<PackageArchive>> archive;
  std::optional<Result<std::vector<std::string>>> ordered;
  Result<bool> has_vba = false;
  bool listed = false;
  const auto open_through_library = [&] {
    archive.emplace(PackageArchive::open_file(path));
    if (!*archive) return;
    ordered.emplace(slide_parts(**archive));
    if (!*ordered) return;
    listed = reader && reader->lists_as(**archive);
    has_vba = holds_macro_project(**archive);
  };
  std::vector<std::optional<PrintedSlide>> printed_candidates;
  if (reader && !candidates.empty()) {
    printed_candidates = print_slides_concurrently(*reader, candidates, open_through_library);
  } else {
    open_through_library();
  }
  if (!*archive) return fail(std::move(*archive).error());
  if (!*ordered) return fail(std::move(*ordered).error());
  if (!has_vba) return fail(std::move(has_vba).error());
  PackageArchive& package = **archive;
  const std::vector<std::string>& parts = **ordered;

  std::vector<std::optional<PrintedSlide>> texts(parts.size());
  if (listed) {
    std::unordered_map<std::string_view, std::size_t> candidate_at;
    for (std::size_t i = 0; i < candidates.size(); ++i) candidate_at.emplace(candidates[i], i);
    for (std::size_t i = 0; i < parts.size(); ++i) {
      const auto found = candidate_at.find(parts[i]);
      if (found == candidate_at.end()) continue;
      texts[i] = std::exchange(printed_candidates[found->second], std::nullopt);
    }
  }
  std::vector<std::string> slides;
  slides.reserve(parts.size());
  bool ascii = true;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (!texts[i]) texts[i] = printed(PELVANE_TRY(summarize_slide(package, parts[i])), 0);
    ascii = ascii && texts[i]->ascii;
    slides.push_back(std::move(texts[i]->text));
  }

  // The layout of a PresentationSummary as the generic writer prints it, slides two levels in.
  JsonWriter path_text;
  path_text.write_string(path);
  std::string head = "{\n  \"path\": " + path_text.take() + ",\n  \"slide_count\": " +
                     std::to_string(parts.size()) + ",\n  \"slides\": ";
  std::string tail = *has_vba ? ",\n  \"has_vba\": true\n}" : ",\n  \"has_vba\": false\n}";
  if (parts.empty()) {
    head += "[]";
  } else {
    head += '[';
    tail.insert(0, "\n  ]");
  }
  return PresentationText(std::move(head), std::move(slides), std::move(tail), ascii);
}

Result<std::string> summarize_presentation_json_text(std::string_view path) {
  auto text = PELVANE_TRY(print_presentation_summary(path));
  return text.take();
}

Result<PresentationSummary> summarize_presentation(std::string_view path) {
  auto archive = PELVANE_TRY(PackageArchive::open_file(path));
  const std::vector<std::string> parts = PELVANE_TRY(slide_parts(archive));

  PresentationSummary summary;
  summary.has_vba = PELVANE_TRY(holds_macro_project(archive));
  summary.slides.reserve(parts.size());
  for (const std::string& part : parts) {
    summary.slides.push_back(PELVANE_TRY(summarize_slide(archive, part)));
  }
  summary.path = std::string(path);
  summary.slide_count = summary.slides.size();
  return summary;
}

}  // namespace pelvane
