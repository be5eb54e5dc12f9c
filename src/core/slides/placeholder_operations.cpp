#include "core/slides/placeholder_operations.hpp"

#include <utility>
#include <vector>

#include "core/package/relationships.hpp"
#include "core/package/slide_edit.hpp"
#include "core/package/slide_order.hpp"
#include "core/pml/shape_tree.hpp"
#include "core/slides/xml_placeholder_builders.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {

namespace {

// The frame of the placeholder operations: the slide addressed, `specs_for` (called with the
// archive and the slide part, before the slide is read) gives the shapes to add, each added
// after the last with the next shape id, and the package written with every entry compressed
// again. The edit's value is the new ids, in order. `specs_for`:
// Result<std::vector<PlaceholderShapeSpec>>(PackageArchive&, const std::string&).
template <class SpecsFor>
Result<Edited<std::vector<std::uint64_t>>> add_placeholders(std::string_view input,
                                                            std::string_view output,
                                                            std::uint64_t slide_index,
                                                            SpecsFor&& specs_for) {
  return edit_slide(
      input, output, slide_index, kRecompressEdit, specs_for,
      [](SlideEdit& slide,
         std::vector<PlaceholderShapeSpec>& specs) -> Result<std::vector<std::uint64_t>> {
        std::vector<std::uint64_t> ids;
        for (const PlaceholderShapeSpec& spec : specs) {
          ids.push_back(PELVANE_TRY(
              insert_new_shape(slide.xml(), InsertionTarget::slide(), [&](std::uint64_t id) {
                return placeholder_shape_xml(id, placeholder_shape_name(slide.xml(), id, spec),
                                             spec);
              })));
        }
        return ids;
      });
}

PlaceholderShapeBatchAddSummary placeholder_batch_record(std::string_view output,
                                                         Edited<std::vector<std::uint64_t>> added) {
  PlaceholderShapeBatchAddSummary summary;
  summary.shape_ids = std::move(added.value);
  return finish_record(std::move(summary), output, added);
}

std::optional<std::string> optional_text(std::optional<std::string_view> text) {
  return text ? std::optional<std::string>(*text) : std::nullopt;
}

}  // namespace

Result<PlaceholderShapeAddSummary> add_slide_placeholder_shape(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::optional<std::string_view> placeholder_type,
    std::optional<std::string_view> placeholder_orient,
    std::optional<std::string_view> placeholder_size,
    std::optional<std::string_view> placeholder_idx) {
  const PlaceholderShapeSpec spec{optional_text(placeholder_type),
                                  optional_text(placeholder_orient),
                                  optional_text(placeholder_size), optional_text(placeholder_idx)};
  auto added = PELVANE_TRY(add_placeholders(
      input, output, slide_index,
      [&](PackageArchive&, const std::string&) -> Result<std::vector<PlaceholderShapeSpec>> {
        return std::vector<PlaceholderShapeSpec>{spec};
      }));
  PlaceholderShapeAddSummary summary;
  summary.placeholder_type = spec.placeholder_type;
  summary.placeholder_idx = spec.placeholder_idx;
  summary.shape_id = added.value.front();
  return finish_record(std::move(summary), output, added);
}

Result<PlaceholderShapeBatchAddSummary> add_slide_placeholder_shapes(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::span<const PlaceholderShapeSpec> placeholders) {
  if (placeholders.empty())
    return fail(PelvaneError::invalid_input("at least one placeholder shape is required"));
  auto added = PELVANE_TRY(add_placeholders(
      input, output, slide_index,
      [&](PackageArchive&, const std::string&) -> Result<std::vector<PlaceholderShapeSpec>> {
        return std::vector<PlaceholderShapeSpec>(placeholders.begin(), placeholders.end());
      }));
  return placeholder_batch_record(output, std::move(added));
}

Result<PlaceholderShapeBatchAddSummary> add_slide_layout_placeholders(std::string_view input,
                                                                      std::string_view output,
                                                                      std::uint64_t slide_index,
                                                                      std::uint64_t layout_index) {
  auto added = PELVANE_TRY(add_placeholders(
      input, output, slide_index,
      [&](PackageArchive& archive,
          const std::string& slide_part) -> Result<std::vector<PlaceholderShapeSpec>> {
        const std::string target = PELVANE_TRY(slide_layout_target_at_index(archive, layout_index));
        const std::string layout_part = resolve_target(slide_part, target);
        const auto layout = PELVANE_TRY(read_archive_text(archive, layout_part));
        if (!layout)
          return fail(
              PelvaneError::invalid_input("slide layout part " + layout_part + " was not found"));
        return placeholder_specs_from_layout_xml(*layout);
      }));
  return placeholder_batch_record(output, std::move(added));
}

}  // namespace pelvane
