#include "core/slides/new_slide_operations.hpp"

#include <algorithm>
#include <utility>

#include "core/base/buffer_shelf.hpp"
#include "core/package/content_types.hpp"
#include "core/package/part_names.hpp"
#include "core/package/relationships.hpp"
#include "core/package/slide_edit.hpp"
#include "core/package/slide_order.hpp"
#include "core/slides/slide_list.hpp"
#include "core/slides/xml_placeholder_builders.hpp"
#include "core/slides/xml_slide_builders.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {

namespace {

// The layout a new slide is bound to: the index-th layout part, or the layout relationship of
// the first slide in presentation order that has one (its target as written).
Result<std::string> new_slide_layout_target(PackageArchive& archive,
                                            const std::vector<std::string_view>& slides,
                                            std::optional<std::uint64_t> layout_index) {
  if (layout_index) return slide_layout_target_at_index(archive, *layout_index);
  for (const std::string_view slide : slides) {
    const auto relationships = PELVANE_TRY(read_relationships(archive, slide));
    for (const auto& relationship : relationships) {
      if (relationship.relationship_type.ends_with("/slideLayout")) return relationship.target;
    }
  }
  return fail(PelvaneError::xml_text_decode("no slide layout relationship found"));
}

}  // namespace

std::uint64_t next_slide_number(const std::vector<std::string_view>& slide_parts) {
  std::uint64_t largest = 0;
  for (const std::string_view part : slide_parts)
    largest = std::max(largest, slide_number(part).value_or(0));
  return largest + 1;
}

Result<ListedSlide> list_new_slide(PackageEdit& edit, std::uint64_t number,
                                   PresentationSlides& listing) {
  PackageArchive& archive = edit.archive();
  // The listing holds the parts it read, and gives their storage back with its own; the content
  // types give theirs back once the new texts are built.
  const std::string& presentation = *PELVANE_TRY(listing.hold_presentation(archive));
  const std::string& relationships = *PELVANE_TRY(listing.hold_relationships(archive));
  const ShelvedBuffer<std::string> content_types(
      PELVANE_TRY(read_required_part(archive, kContentTypes)));

  // Both were read with the slide list, with the ids they hold.
  ListedSlide listed{PELVANE_TRY(relationship_id_after(listing.largest_relationship_number)),
                     slide_id_after(std::move(listing.slide_id_numbers))};
  std::string new_presentation =
      PELVANE_TRY(append_slide_id(presentation, listed.slide_id, listed.relationship_id,
                                  listing.slide_list ? &*listing.slide_list : nullptr));
  std::string new_relationships =
      PELVANE_TRY(append_relationship(relationships, listed.relationship_id, kSlideRelationshipType,
                                      "slides/slide" + std::to_string(number) + ".xml"));
  std::string new_content_types = PELVANE_TRY(append_content_type_override(
      *content_types, std::string("/").append(slide_part_name(number)), kSlideContentType));
  edit.replace_part(std::string(kPresentationPart), std::move(new_presentation));
  edit.replace_part(std::string(kPresentationRelationships), std::move(new_relationships));
  edit.replace_part(std::string(kContentTypes), std::move(new_content_types));
  return listed;
}

Result<std::string> placeholder_shapes_from_layout(PackageArchive& archive,
                                                   std::string_view slide_part,
                                                   std::string_view layout_target) {
  const auto layout =
      PELVANE_TRY(read_archive_text(archive, resolve_target(slide_part, layout_target)));
  if (!layout) return std::string();
  std::string shapes;
  for (const std::string& block : extract_placeholder_shape_blocks(*layout)) shapes += block;
  return shapes;
}

Result<SlideAddSummary> add_blank_slide(std::string_view input, std::string_view output,
                                        std::optional<std::uint64_t> layout_index) {
  auto edited = PELVANE_TRY(
      edit_package(input, output, kNewPartsEdit, [&](PackageEdit& edit) -> Result<SlideAddSummary> {
        PackageArchive& archive = edit.archive();
        PresentationSlides listing = PELVANE_TRY(read_presentation_slides(archive, Gather::NewIds));
        const std::vector<std::string_view>& slides = listing.slides;
        std::string layout_target =
            PELVANE_TRY(new_slide_layout_target(archive, slides, layout_index));
        const std::uint64_t number = next_slide_number(slides);
        std::string slide_part = slide_part_name(number);
        ListedSlide listed = PELVANE_TRY(list_new_slide(edit, number, listing));
        const std::string shapes =
            PELVANE_TRY(placeholder_shapes_from_layout(archive, slide_part, layout_target));
        edit.add_part(slide_part, blank_slide_xml(shapes));
        edit.add_part(relationship_part_name(slide_part), slide_layout_rels_xml(layout_target));
        SlideAddSummary summary;
        summary.slide_part = std::move(slide_part);
        summary.relationship_id = std::move(listed.relationship_id);
        summary.layout_target = std::move(layout_target);
        summary.slide_id = listed.slide_id;
        summary.slide_count = slides.size() + 1;
        return summary;
      }));
  return finish_record(std::move(edited), output);
}

}  // namespace pelvane
