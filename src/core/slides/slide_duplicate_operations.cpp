#include "core/slides/slide_duplicate_operations.hpp"

#include <algorithm>
#include <initializer_list>
#include <map>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "core/base/ascii.hpp"
#include "core/base/buffer_shelf.hpp"
#include "core/base/utf8.hpp"
#include "core/package/content_types.hpp"
#include "core/package/part_names.hpp"
#include "core/package/relationships.hpp"
#include "core/package/slide_edit.hpp"
#include "core/package/slide_order.hpp"
#include "core/slides/new_slide_operations.hpp"
#include "core/slides/slide_list.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {

namespace {

using TargetMap = std::map<std::string, std::string>;  // relationship id -> new Target

// What a copy does with one relationship of the source slide.
enum class CopyRule { Share, Chart, NotesSlide, Comments, Embedded };

bool ends_with_any(std::string_view text, std::initializer_list<std::string_view> suffixes) {
  return std::any_of(suffixes.begin(), suffixes.end(),
                     [&](std::string_view suffix) { return text.ends_with(suffix); });
}

// The rule for a relationship; none when no rule covers its Type.
std::optional<CopyRule> copy_rule(const RelationshipSummary& relationship) {
  if (relationship.target_mode && equals_ignoring_ascii_case(*relationship.target_mode, "External"))
    return CopyRule::Share;
  const std::string_view type = relationship.relationship_type;
  if (ends_with_any(type, {"/slideLayout", "/image", "/audio", "/video", "/media"}))
    return CopyRule::Share;
  if (type.ends_with("/chart")) return CopyRule::Chart;
  if (type.ends_with("/notesSlide")) return CopyRule::NotesSlide;
  if (ends_with_any(type, {"/comments", "/comment"})) return CopyRule::Comments;
  if (ends_with_any(type, {"/oleObject", "/package"})) return CopyRule::Embedded;
  return std::nullopt;
}

// Copies the parts that belong to the source slide alone, appending them to the edit's new
// parts, and collects the new Targets of the copy's relationships and the content types the
// copies need.
class SlideCopier {
 public:
  SlideCopier(PackageEdit& edit, std::set<std::string>& used_names, std::string& content_types,
              std::string_view source_slide, std::string_view new_slide)
      : edit_(edit),
        used_names_(used_names),
        content_types_(content_types),
        source_slide_(source_slide),
        new_slide_(new_slide) {}

  const TargetMap& slide_targets() const { return slide_targets_; }

  Result<void> copy(const RelationshipSummary& relationship, CopyRule rule) {
    switch (rule) {
      case CopyRule::Share: return {};
      case CopyRule::Chart: return copy_chart(relationship);
      case CopyRule::NotesSlide: return copy_notes_slide(relationship);
      case CopyRule::Comments:
      case CopyRule::Embedded: return copy_single_part(relationship, rule);
    }
    return {};
  }

 private:
  // The part a relationship of the source slide names, read; absent: "{what} {0} was not found".
  Result<std::pair<std::string, std::string>> read_target(const RelationshipSummary& relationship,
                                                          std::string_view what) {
    std::string part = resolve_target(source_slide_, relationship.target);
    auto bytes = PELVANE_TRY(read_archive_bytes(edit_.archive(), part));
    if (!bytes)
      return fail(PelvaneError::invalid_input(std::string(what) + " " + part + " was not found"));
    return std::pair{std::move(part), std::move(*bytes)};
  }

  Result<void> ensure_override(std::string_view new_part, std::string_view content_type) {
    const std::string override_name = std::string("/").append(new_part);
    content_types_ =
        PELVANE_TRY(ensure_content_type_override(content_types_, override_name, content_type));
    return {};
  }

  Result<void> ensure_default(std::string_view extension, std::string_view content_type) {
    content_types_ =
        PELVANE_TRY(ensure_default_content_type(content_types_, extension, content_type));
    return {};
  }

  // The copy gets the source's override when it has one, else `fallback` when given.
  Result<void> copy_override(std::string_view source, std::string_view new_part,
                             std::optional<std::string_view> fallback) {
    const auto source_type = find_content_type_override(content_types_, source);
    if (source_type) return ensure_override(new_part, *source_type);
    if (fallback) return ensure_override(new_part, *fallback);
    return {};
  }

  Result<void> copy_chart(const RelationshipSummary& relationship) {
    auto [chart, bytes] = PELVANE_TRY(read_target(relationship, "chart part"));
    const std::string new_chart = next_free_numbered_part(used_names_, chart);
    PackageArchive& archive = edit_.archive();
    const auto relationships =
        PELVANE_TRY(read_archive_bytes(archive, relationship_part_name(chart)));
    if (relationships) {
      TargetMap targets;
      for (const RelationshipSummary& related : parse_relationships(*relationships)) {
        const std::string part = resolve_target(chart, related.target);
        auto part_bytes = PELVANE_TRY(read_archive_bytes(archive, part));
        if (!part_bytes) continue;  // nothing to copy: the relationship stays as it is
        const std::string new_part = next_free_numbered_part(used_names_, part);
        edit_.add_part(new_part, std::move(*part_bytes));
        // A part of the chart with relationships of its own (a drawing of user shapes with its
        // pictures) keeps them: the copy lies in the same folder, so they resolve unchanged.
        auto part_relationships =
            PELVANE_TRY(read_archive_bytes(archive, relationship_part_name(part)));
        if (part_relationships) {
          std::string name = relationship_part_name(new_part);
          used_names_.insert(name);
          edit_.add_part(std::move(name), std::move(*part_relationships));
        }
        targets[related.id] = make_relative_target(new_chart, new_part);
        PELVANE_TRY_VOID(copy_override(part, new_part, std::nullopt));
        if (new_part.ends_with(".xlsx"))
          PELVANE_TRY_VOID(ensure_default("xlsx", kWorkbookContentType));
        const std::string_view type = related.relationship_type;
        if (ends_with_any(type, {"/chartColorStyle", "/chartcolorstyle", "/chartcolors"}))
          PELVANE_TRY_VOID(ensure_override(new_part, kChartColorStyleContentType));
        if (ends_with_any(type, {"/chartStyle", "/chartstyle"}))
          PELVANE_TRY_VOID(ensure_override(new_part, kChartStyleContentType));
      }
      edit_.add_part(relationship_part_name(new_chart),
                     PELVANE_TRY(rewrite_relationship_targets(*relationships, targets)));
    }
    edit_.add_part(new_chart, std::move(bytes));
    slide_targets_[relationship.id] = make_relative_target(new_slide_, new_chart);
    return copy_override(chart, new_chart, kChartContentType);
  }

  Result<void> copy_notes_slide(const RelationshipSummary& relationship) {
    auto [notes, bytes] = PELVANE_TRY(read_target(relationship, "notes slide part"));
    const std::string new_notes = next_free_numbered_part(used_names_, notes);
    const auto relationships =
        PELVANE_TRY(read_archive_bytes(edit_.archive(), relationship_part_name(notes)));
    if (relationships) {
      // The notes point back at the new slide; the rest (the notes master) resolves unchanged
      // from the same folder.
      TargetMap targets;
      for (const RelationshipSummary& related : parse_relationships(*relationships)) {
        if (related.relationship_type.ends_with("/slide"))
          targets[related.id] = make_relative_target(new_notes, new_slide_);
      }
      edit_.add_part(relationship_part_name(new_notes),
                     PELVANE_TRY(rewrite_relationship_targets(*relationships, targets)));
    }
    edit_.add_part(new_notes, std::move(bytes));
    slide_targets_[relationship.id] = make_relative_target(new_slide_, new_notes);
    return copy_override(notes, new_notes, kNotesSlideContentType);
  }

  // Comments and embedded objects: the part alone, without its relationships part.
  Result<void> copy_single_part(const RelationshipSummary& relationship, CopyRule rule) {
    const bool comments = rule == CopyRule::Comments;
    auto [part, bytes] =
        PELVANE_TRY(read_target(relationship, comments ? "comment part" : "OLE part"));
    const std::string new_part = next_free_numbered_part(used_names_, part);
    edit_.add_part(new_part, std::move(bytes));
    slide_targets_[relationship.id] = make_relative_target(new_slide_, new_part);
    if (comments) return copy_override(part, new_part, kCommentsContentType);
    PELVANE_TRY_VOID(copy_override(part, new_part, std::nullopt));
    if (new_part.ends_with(".bin")) return ensure_default("bin", kOleObjectContentType);
    return {};
  }

  PackageEdit& edit_;
  std::set<std::string>& used_names_;
  std::string& content_types_;
  std::string_view source_slide_;
  std::string_view new_slide_;
  TargetMap slide_targets_;
};

// The rule for each relationship of the source slide, in order; refused when one has none.
Result<std::vector<CopyRule>> copy_rules(const std::vector<RelationshipSummary>& relationships) {
  std::vector<CopyRule> rules;
  for (const RelationshipSummary& relationship : relationships) {
    const auto rule = copy_rule(relationship);
    if (!rule)
      return fail(PelvaneError::invalid_input("cannot duplicate slide relationship type " +
                                              relationship.relationship_type +
                                              " without an explicit copy policy"));
    rules.push_back(*rule);
  }
  return rules;
}

// The names taken, which new names for copied parts avoid: the archive's entries and the new
// slide's two parts. Gathered only when some part is copied (a slide that shares everything, the
// common case, needs none).
std::set<std::string> names_in_use(const PackageArchive& archive, std::span<const CopyRule> rules,
                                   const std::string& new_slide,
                                   const std::string& new_slide_relationships) {
  std::set<std::string> used_names;
  if (std::ranges::any_of(rules, [](CopyRule rule) { return rule != CopyRule::Share; })) {
    for (std::uint64_t index = 0; index < archive.entry_count(); ++index)
      used_names.emplace(archive.entry_name(index));
    used_names.insert(new_slide);
    used_names.insert(new_slide_relationships);
  }
  return used_names;
}

// Adds a copy of the source slide to the package being edited, after the listed slides: the
// slide, its relationships, the parts it alone owns, and its entries in the presentation, the
// presentation's relationships and the content types.
Result<SlideAddSummary> duplicate_in_package(PackageEdit& edit,
                                             std::string_view source_slide_part) {
  PackageArchive& archive = edit.archive();
  const std::string source(source_slide_part);
  PresentationSlides listing = PELVANE_TRY(read_presentation_slides(archive, Gather::NewIds));
  const std::vector<std::string_view>& slides = listing.slides;
  if (std::find(slides.begin(), slides.end(), source) == slides.end())
    return fail(PelvaneError::invalid_input("source slide part " + source +
                                            " was not found in the presentation"));
  std::string slide_bytes = PELVANE_TRY(read_required_part(archive, source));
  const auto relationships_text =
      PELVANE_TRY(read_archive_text(archive, relationship_part_name(source)));
  const std::vector<RelationshipSummary> relationships =
      relationships_text ? parse_relationships(*relationships_text)
                         : std::vector<RelationshipSummary>{};
  const auto layout = std::find_if(relationships.begin(), relationships.end(), [](const auto& r) {
    return r.relationship_type.ends_with("/slideLayout");
  });
  if (layout == relationships.end())
    return fail(PelvaneError::invalid_input("source slide part " + source +
                                            " has no slide layout relationship"));
  const std::vector<CopyRule> rules = PELVANE_TRY(copy_rules(relationships));

  const std::uint64_t number = next_slide_number(slides);
  const std::string new_slide = slide_part_name(number);
  const std::string new_slide_relationships = relationship_part_name(new_slide);
  std::set<std::string> used_names =
      names_in_use(archive, rules, new_slide, new_slide_relationships);

  // The listing holds the parts it read, and gives their storage back with its own; the content
  // types give theirs back once the new texts are built.
  const std::string& read_presentation = *PELVANE_TRY(listing.hold_presentation(archive));
  const std::string& read_relationships = *PELVANE_TRY(listing.hold_relationships(archive));
  const ShelvedBuffer<std::string> read_content_types(
      PELVANE_TRY(read_required_part(archive, kContentTypes)));
  if (const auto fault = describe_invalid_utf8(*read_content_types))
    return fail(PelvaneError::xml_text_decode(*fault));
  // Both were read with the slide list, with the ids they hold.
  const std::string relationship_id =
      PELVANE_TRY(relationship_id_after(listing.largest_relationship_number));
  const std::uint64_t slide_id = slide_id_after(std::move(listing.slide_id_numbers));
  std::string presentation =
      PELVANE_TRY(append_slide_id(read_presentation, slide_id, relationship_id,
                                  listing.slide_list ? &*listing.slide_list : nullptr));
  std::string presentation_relationships =
      PELVANE_TRY(append_relationship(read_relationships, relationship_id, kSlideRelationshipType,
                                      "slides/slide" + std::to_string(number) + ".xml"));
  std::string content_types = PELVANE_TRY(
      ensure_content_type_override(*read_content_types, "/" + new_slide, kSlideContentType));

  SlideCopier copier(edit, used_names, content_types, source, new_slide);
  for (std::size_t i = 0; i < relationships.size(); ++i)
    PELVANE_TRY_VOID(copier.copy(relationships[i], rules[i]));
  edit.add_part(new_slide, std::move(slide_bytes));
  edit.add_part(new_slide_relationships, PELVANE_TRY(rewrite_relationship_targets(
                                             *relationships_text, copier.slide_targets())));
  edit.replace_part(std::string(kPresentationPart), std::move(presentation));
  edit.replace_part(std::string(kPresentationRelationships), std::move(presentation_relationships));
  edit.replace_part(std::string(kContentTypes), std::move(content_types));

  SlideAddSummary summary;
  summary.slide_part = new_slide;
  summary.relationship_id = relationship_id;
  summary.layout_target = layout->target;
  summary.slide_id = slide_id;
  summary.slide_count = slides.size() + 1;
  return summary;
}

}  // namespace

Result<SlideAddSummary> duplicate_slide(std::string_view input, std::string_view output,
                                        std::string_view source_slide_part) {
  auto edited = PELVANE_TRY(edit_package(input, output, kNewPartsEdit, [&](PackageEdit& edit) {
    return duplicate_in_package(edit, source_slide_part);
  }));
  return finish_record(std::move(edited), output);
}

}  // namespace pelvane
