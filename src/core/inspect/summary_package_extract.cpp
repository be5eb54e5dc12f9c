#include "core/inspect/summary_package_extract.hpp"

#include <memory>
#include <string>
#include <vector>

#include "core/base/utf8.hpp"
#include "core/inspect/manifest.hpp"
#include "core/inspect/summary_shape_extract.hpp"
#include "core/inspect/summary_table_extract.hpp"
#include "core/inspect/text_runs.hpp"
#include "core/package/relationships.hpp"
#include "core/package/slide_order.hpp"
#include "core/xml/xml_splice.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {
namespace {

// The text runs of the slide's notes slide: the first relationship whose type ends with
// "/notesSlide", resolved against the slide's part name. No such relationship, no such entry, or
// an entry that cannot be opened gives an empty list; only a failure while reading the entry's
// bytes (`Io`) or a refusal to inflate it (`Zip`) is an error.
Result<std::vector<std::string>> read_notes(PackageArchive& archive, std::string_view slide_part,
                                            const std::vector<RelationshipSummary>& relationships);

Result<std::vector<std::string>> read_notes(PackageArchive& archive, std::string_view slide_part,
                                            const std::vector<RelationshipSummary>& relationships) {
  const RelationshipSummary* notes = nullptr;
  for (const auto& relationship : relationships) {
    if (relationship.relationship_type.ends_with("/notesSlide")) {
      notes = &relationship;
      break;
    }
  }
  if (notes == nullptr) return std::vector<std::string>{};
  const std::string part = resolve_target(slide_part, notes->target);
  // An entry that cannot be opened reads as no notes; a failed read, or a refusal to inflate
  // the entry, is reported.
  const auto bytes = PELVANE_TRY(read_archive_bytes_if_opens(archive, part));
  if (!bytes) return std::vector<std::string>{};
  return extract_text_runs(*bytes);
}

// Opens a package to summarise. Two entries of one name would count a slide twice and shift
// every index after it, so such a package is refused.
Result<PackageArchive> open_for_summary(std::string_view path) {
  PackageArchive archive = PELVANE_TRY(PackageArchive::open_file(path));
  PELVANE_TRY_VOID(check_unique_entry_names(archive));
  return archive;
}

// True when some entry of the archive is a macro project; the names alone decide that, but
// every entry must still open, in archive order.
Result<bool> holds_macro_project(PackageArchive& archive) {
  bool has_vba = false;
  const std::uint64_t count = archive.entry_count();
  for (std::uint64_t index = 0; index < count; ++index) {
    PELVANE_TRY_VOID(check_entry_opens(archive, index));
    if (part_kind(archive.entry_name(index)) == PartKind::Vba) has_vba = true;
  }
  return has_vba;
}

// The slide summary written over `slide`, which may hold an earlier slide's summary: every field
// is set here, and the texts and the shapes' lists keep their storage for the new values.
Result<void> summarize_slide_into(PackageArchive& archive, std::string_view slide_part,
                                  SlideSummary& slide) {
  auto bytes = PELVANE_TRY(read_archive_bytes(archive, slide_part));
  if (!bytes) return fail(PelvaneError::zip("specified file not found in archive"));
  const std::string_view xml = *bytes;

  slide.relationships = PELVANE_TRY(read_relationships(archive, slide_part));
  slide.notes = PELVANE_TRY(read_notes(archive, slide_part, slide.relationships));
  slide.image_relationships = relationships_by_type(slide.relationships, {"/image"});
  slide.chart_relationships = relationships_by_type(slide.relationships, {"/chart"});
  slide.comment_relationships =
      relationships_by_type(slide.relationships, {"/comments", "/comment"});
  slide.media_relationships =
      relationships_by_type(slide.relationships, {"/audio", "/media", "/video"});
  slide.ole_relationships = relationships_by_type(slide.relationships, {"/oleObject", "/package"});

  SlideTextScan scan;
  scan.texts.swap(slide.texts);
  scan_slide_text(xml, scan);
  slide.texts.swap(scan.texts);
  slide.has_transition = scan.has_transition;
  slide.has_timing = scan.has_timing;
  // Shapes and tables read the slide as text, invalid UTF-8 replaced; decoded once for both.
  std::string decoded;
  const std::string_view text = utf8_lossy_view(xml, decoded);
  slide.tables = extract_tables_in_text(text);
  extract_shapes_in_text(text, slide.shapes);
  slide.part.assign(slide_part);
  return {};
}

}  // namespace

Result<SlideSummary> summarize_slide(PackageArchive& archive, std::string_view slide_part) {
  SlideSummary slide;
  PELVANE_TRY_VOID(summarize_slide_into(archive, slide_part, slide));
  return slide;
}

Result<SlideSummary> summarize_slide_at_index(std::string_view path, std::uint64_t index) {
  auto archive = PELVANE_TRY(open_for_summary(path));
  const auto part = PELVANE_TRY(slide_part_at_index(archive, index));
  if (!part) {
    return fail(
        PelvaneError::invalid_input("slide index " + std::to_string(index) + " was not found"));
  }
  return summarize_slide(archive, *part);
}

struct PresentationSummary::Reading {
  PackageArchive archive;
  SlideSummary slide;
};

PresentationSummary::PresentationSummary(std::string_view path,
                                         std::vector<std::string> slide_parts, bool has_vba,
                                         std::unique_ptr<Reading> reading)
    : path_(path),
      slide_parts_(std::move(slide_parts)),
      has_vba_(has_vba),
      reading_(std::move(reading)) {}
PresentationSummary::PresentationSummary(PresentationSummary&&) noexcept = default;
PresentationSummary& PresentationSummary::operator=(PresentationSummary&&) noexcept = default;
PresentationSummary::~PresentationSummary() = default;

Result<const SlideSummary*> PresentationSummary::summarize_slide_in_turn(std::size_t index) const {
  PELVANE_TRY_VOID(summarize_slide_into(reading_->archive, slide_parts_[index], reading_->slide));
  return &reading_->slide;
}

Result<PresentationSummary> summarize_presentation(std::string_view path) {
  auto archive = PELVANE_TRY(open_for_summary(path));
  std::vector<std::string> parts = PELVANE_TRY(slide_parts(archive));
  const bool has_vba = PELVANE_TRY(holds_macro_project(archive));
  auto reading = std::make_unique<PresentationSummary::Reading>(std::move(archive), SlideSummary{});
  return PresentationSummary(path, std::move(parts), has_vba, std::move(reading));
}

}  // namespace pelvane
