#include "core/inspect/summary_package_extract.hpp"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "core/base/utf8.hpp"
#include "core/inspect/manifest.hpp"
#include "core/inspect/summary_shape_extract.hpp"
#include "core/inspect/summary_table_extract.hpp"
#include "core/json/json_out.hpp"
#include "core/package/relationships.hpp"
#include "core/package/slide_order.hpp"
#include "core/pml/text_runs.hpp"
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

Result<std::string> summarize_presentation_json_text(std::string_view path) {
  auto archive = PELVANE_TRY(open_for_summary(path));
  const std::vector<std::string> parts = PELVANE_TRY(slide_parts(archive));
  const bool has_vba = PELVANE_TRY(holds_macro_project(archive));

  // The layout of a PresentationSummary as the generic writer prints it, slides two levels in.
  JsonWriter path_text;
  path_text.write_string(path);
  std::string out = "{\n  \"path\": " + path_text.take() +
                    ",\n  \"slide_count\": " + std::to_string(parts.size()) + ",\n  \"slides\": ";
  if (parts.empty()) {
    out += "[]";
  } else {
    out += '[';
    // One summary serves every slide in turn, so that each slide's lists and texts are written
    // into the storage of the one before.
    SlideSummary slide;
    for (std::size_t i = 0; i < parts.size(); ++i) {
      out += i == 0 ? "\n    " : ",\n    ";
      PELVANE_TRY_VOID(summarize_slide_into(archive, parts[i], slide));
      const std::size_t before = out.size();
      // Each slide is printed straight onto the end of the text.
      JsonWriter slide_text(std::move(out), 2);
      slide_text.value(slide);
      out = slide_text.take();
      // Room for the rest at the first slide's size, so the text is not copied as it grows;
      // never more than a bounded amount ahead, since one large first slide says little about
      // the others and a reservation of thousands of its size may not be granted at all.
      if (i == 0) {
        constexpr std::size_t kMostAhead = std::size_t{256} << 20;
        const std::size_t ahead = (out.size() - before + 8) * (parts.size() - 1) + 64;
        out.reserve(out.size() + std::min(ahead, kMostAhead));
      }
    }
    out += "\n  ]";
  }
  out += has_vba ? ",\n  \"has_vba\": true\n}" : ",\n  \"has_vba\": false\n}";
  return out;
}

Result<PresentationSummary> summarize_presentation(std::string_view path) {
  auto archive = PELVANE_TRY(open_for_summary(path));
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
