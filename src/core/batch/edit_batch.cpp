#include "core/batch/edit_batch.hpp"

#include <algorithm>
#include <array>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <variant>
#include <vector>

#include "core/batch/shape_deletion.hpp"
#include "core/package/part_names.hpp"
#include "core/package/relationships.hpp"
#include "core/package/slide_edit.hpp"
#include "core/package/slide_order.hpp"
#include "core/shapes/shape_geometry.hpp"
#include "core/slides/slide_list.hpp"
#include "core/tables/table_rewrite.hpp"
#include "core/text/text_format_rewrite.hpp"
#include "core/text/text_rewrite.hpp"
#include "core/zip/package_archive.hpp"

namespace pelvane {

namespace {

template <class... Branches>
struct Overloaded : Branches... {
  using Branches::operator()...;
};

// "1" for true, "0" for false, none (the attribute is removed) for null.
std::optional<std::string_view> flag_attribute(const std::optional<bool>& value) {
  if (!value) return std::nullopt;
  return *value ? "1" : "0";
}

std::optional<std::string_view> borrowed(const std::optional<std::string>& text) {
  if (!text) return std::nullopt;
  return std::string_view(*text);
}

Result<RewriteOutput> refuse_package_level_edit() {
  return fail(PelvaneError::invalid_input("package-level edit reached the slide edit loop"));
}

using RunFormatting = std::pair<std::uint64_t, TextRunFormattingPatch>;

// The slide after one shape's removal, one more replacement counted.
void take_deletion(SlideEditResult& slide, ShapeDeletion deletion) {
  slide.bytes = std::move(deletion.bytes);
  slide.count += 1;
  slide.prune_ids.merge(deletion.prune_ids);
}

// Removes the children of groups, each (group id, child id) once: repeats are refused before the
// first removal.
Result<void> delete_group_children(
    SlideEditResult& slide,
    std::span<const std::pair<std::uint64_t, std::uint64_t>> group_children) {
  std::set<std::pair<std::uint64_t, std::uint64_t>> seen_children;
  for (const auto& [group, child] : group_children) {
    if (!seen_children.insert({group, child}).second) {
      return fail(PelvaneError::invalid_input("group child shape id " + std::to_string(child) +
                                              " in group " + std::to_string(group) +
                                              " is deleted more than once"));
    }
  }
  for (const auto& [group, child] : group_children)
    take_deletion(slide, PELVANE_TRY(delete_group_shape_child_in_slide(slide.bytes, group, child)));
  return {};
}

// Removes the shapes at the indexes, each once: repeats are refused before the first removal.
// Largest first, so that no removal moves a shape still to be removed.
Result<void> delete_shapes(SlideEditResult& slide, std::vector<std::uint64_t>& shape_indexes) {
  std::set<std::uint64_t> seen_indexes;
  for (const std::uint64_t index : shape_indexes) {
    if (!seen_indexes.insert(index).second) {
      return fail(PelvaneError::invalid_input("shape index " + std::to_string(index) +
                                              " is deleted more than once"));
    }
  }
  std::ranges::sort(shape_indexes, std::greater<>());
  for (const std::uint64_t index : shape_indexes)
    take_deletion(slide, PELVANE_TRY(delete_shape_at_index_in_slide(slide.bytes, index)));
  return {};
}

}  // namespace

// One branch per kind, and no default: a kind without a branch does not compile.
Result<RewriteOutput> apply_to_slide(const EditOperation& operation, std::string_view xml) {
  using Out = Result<RewriteOutput>;
  return std::visit(
      Overloaded{
          [](const edit::ReorderSlides&) -> Out { return refuse_package_level_edit(); },
          [](const edit::DeleteShape&) -> Out { return refuse_package_level_edit(); },
          [](const edit::DeleteGroupShapeChild&) -> Out { return refuse_package_level_edit(); },
          [&](const edit::SetShapeText& op) -> Out {
            return set_shape_text_at_index_in_slide(xml, op.shape_index, op.replacement);
          },
          [&](const edit::SetGroupShapeChildText& op) -> Out {
            return set_group_shape_child_text_in_slide(xml, op.group_index, op.child_index,
                                                       op.replacement);
          },
          [&](const edit::SetGroupShapeChildParagraphText& op) -> Out {
            return set_group_shape_child_paragraph_text_in_slide(
                xml, op.group_index, op.child_index, op.paragraph_index, op.replacement);
          },
          [&](const edit::SetGroupShapeChildRunText& op) -> Out {
            return set_group_shape_child_run_text_in_slide(xml, op.group_index, op.child_index,
                                                           op.paragraph_index, op.run_index,
                                                           op.replacement);
          },
          [&](const edit::SetParagraphText& op) -> Out {
            return set_shape_paragraph_text_at_index_in_slide(xml, op.shape_index,
                                                              op.paragraph_index, op.replacement);
          },
          [&](const edit::ReplaceTextRun& op) -> Out {
            return replace_text_run_at_index_in_slide(xml, op.run_index, op.replacement);
          },
          [&](const edit::SetTextRunBold& op) -> Out {
            return set_text_run_optional_attribute_at_index_in_slide(xml, op.run_index, "b",
                                                                     flag_attribute(op.bold));
          },
          [&](const edit::SetTextRunItalic& op) -> Out {
            return set_text_run_optional_attribute_at_index_in_slide(xml, op.run_index, "i",
                                                                     flag_attribute(op.italic));
          },
          [&](const edit::SetTextRunUnderline& op) -> Out {
            return set_text_run_underline_at_index_in_slide(xml, op.run_index, op.underline);
          },
          [&](const edit::SetTextRunFontSize& op) -> Out {
            const std::optional<std::string> size = op.size.transform(font_size_value);
            return set_text_run_optional_attribute_at_index_in_slide(xml, op.run_index, "sz",
                                                                     borrowed(size));
          },
          [&](const edit::SetTextRunFontName& op) -> Out {
            return set_text_run_font_name_at_index_in_slide(xml, op.run_index, borrowed(op.name));
          },
          [&](const edit::SetTextRunFormatting& op) -> Out {
            const std::array<RunFormatting, 1> runs{
                RunFormatting{op.run_index, TextRunFormattingPatch::from(op)}};
            return set_text_run_formatting_batch_in_slide(xml, runs);
          },
          [&](const edit::AppendParagraphText& op) -> Out {
            return append_shape_paragraph_text_in_slide(xml, op.shape_index, op.text);
          },
          [&](const edit::AppendTextRun& op) -> Out {
            return append_shape_text_run_in_slide(xml, op.shape_index, op.paragraph_index, op.text);
          },
          [&](const edit::InsertParagraphLineBreak& op) -> Out {
            return insert_shape_paragraph_line_break_in_slide(xml, op.shape_index,
                                                              op.paragraph_index, op.run_slot);
          },
          [&](const edit::SetParagraphProperties& op) -> Out {
            return set_shape_paragraph_properties_in_slide(
                xml, op.shape_index, op.paragraph_index,
                property_change(op.set_alignment, op.alignment), op.set_level, op.level,
                op.spacing);
          },
          [&](const edit::SetParagraphFontProperties& op) -> Out {
            return set_shape_paragraph_font_properties_in_slide(
                xml, op.shape_index, op.paragraph_index, ParagraphFontPatch::from(op));
          },
          [&](const edit::SetShapeGeometry& op) -> Out {
            return set_shape_geometry_at_index_in_slide(xml, op.shape_index, op.x_emu, op.y_emu,
                                                        op.cx_emu, op.cy_emu);
          },
          [&](const edit::SetGroupShapeChildGeometry& op) -> Out {
            return set_group_shape_child_geometry_in_slide(
                xml, op.group_index, op.child_index, op.x_emu, op.y_emu, op.cx_emu, op.cy_emu);
          },
          [&](const edit::SetTextFrameProperties& op) -> Out {
            return set_text_frame_properties_in_slide(xml, op.shape_index, op.properties);
          },
          [&](const edit::ReplaceTableCellText& op) -> Out {
            return replace_table_cell_text_in_slide(xml, op.table_index, op.row_index, op.col_index,
                                                    op.replacement);
          },
          [&](const edit::SetTableCellMerge& op) -> Out {
            return set_table_cell_merge_in_slide(xml, op.table_index, op.row_min, op.row_max,
                                                 op.col_min, op.col_max, op.kind, op.paragraphs);
          },
          [&](const edit::SetTableStyleFlags& op) -> Out {
            return set_table_style_flags_in_slide(xml, op.table_index, op.flags);
          },
          [&](const edit::InsertTableRow& op) -> Out {
            return insert_table_row_in_slide(xml, op.table_index, op.row_index);
          },
          [&](const edit::DeleteTableRow& op) -> Out {
            return delete_table_row_in_slide(xml, op.table_index, op.row_index);
          },
          [&](const edit::InsertTableColumn& op) -> Out {
            return insert_table_column_in_slide(xml, op.table_index, op.col_index);
          },
          [&](const edit::DeleteTableColumn& op) -> Out {
            return delete_table_column_in_slide(xml, op.table_index, op.col_index);
          },
      },
      operation.variant());
}

Result<SlideEditResult> apply_slide_edit_operations(std::string xml,
                                                    std::span<const EditOperation> operations) {
  std::vector<const EditOperation*> remaining;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> group_children;  // (group id, child id)
  std::vector<std::uint64_t> shape_indexes;
  for (const EditOperation& operation : operations) {
    if (std::holds_alternative<edit::ReorderSlides>(operation)) {
      return fail(PelvaneError::invalid_input("slide reorder reached the slide edit loop"));
    } else if (const auto* shape = std::get_if<edit::DeleteShape>(&operation)) {
      shape_indexes.push_back(shape->shape_index);
    } else if (const auto* child = std::get_if<edit::DeleteGroupShapeChild>(&operation)) {
      group_children.emplace_back(child->group_shape_id, child->child_shape_id);
    } else {
      remaining.push_back(&operation);
    }
  }

  SlideEditResult slide{std::move(xml), 0, {}};
  for (std::size_t next = 0; next < remaining.size();) {
    const EditOperation& operation = *remaining[next];
    RewriteOutput step;
    if (std::holds_alternative<edit::SetTextRunFormatting>(operation)) {
      std::vector<RunFormatting> runs;
      while (next < remaining.size()) {
        const auto* format = std::get_if<edit::SetTextRunFormatting>(remaining[next]);
        if (!format) break;
        runs.emplace_back(format->run_index, TextRunFormattingPatch::from(*format));
        ++next;
      }
      step = PELVANE_TRY(set_text_run_formatting_batch_in_slide(slide.bytes, runs));
    } else if (std::holds_alternative<edit::ReplaceTableCellText>(operation)) {
      // A cell already in the run starts the next one, so that the later text wins.
      CellTextMap cells;
      while (next < remaining.size()) {
        const auto* cell = std::get_if<edit::ReplaceTableCellText>(remaining[next]);
        if (!cell || !cells
                          .try_emplace({cell->table_index, cell->row_index, cell->col_index},
                                       cell->replacement)
                          .second)
          break;
        ++next;
      }
      step = PELVANE_TRY(replace_table_cell_texts_in_slide(slide.bytes, cells));
    } else {
      step = PELVANE_TRY(apply_to_slide(operation, slide.bytes));
      ++next;
    }
    slide.bytes = std::move(step.bytes);
    slide.count += step.count;
  }

  PELVANE_TRY_VOID(delete_group_children(slide, group_children));
  PELVANE_TRY_VOID(delete_shapes(slide, shape_indexes));
  return slide;
}

namespace {

// The slide an edit addresses; none for the slide reorder, which has none.
std::optional<std::uint64_t> addressed_slide(const EditOperation& operation) {
  return std::visit(
      [](const auto& kind) -> std::optional<std::uint64_t> {
        if constexpr (requires { kind.slide_index; }) {
          return kind.slide_index;
        } else {
          return std::nullopt;
        }
      },
      operation.variant());
}

}  // namespace

Result<EditBatchSummary> apply_edit_batch(std::string_view input, std::string_view output,
                                          std::span<const EditOperation> operations) {
  // Relationships pruned while the package is written count too.
  std::uint64_t replacements = 0;
  auto edited = PELVANE_TRY(
      edit_package(input, output, kDeferredFolders, [&](PackageEdit& package) -> Result<bool> {
        PackageArchive& archive = package.archive();
        const std::vector<std::string> slides = PELVANE_TRY(slide_parts(archive));

        // Every check on the list comes before any slide is read.
        const edit::ReorderSlides* reorder = nullptr;
        std::map<std::string, std::vector<EditOperation>> slide_groups;  // byte-wise order
        for (const EditOperation& operation : operations) {
          const std::optional<std::uint64_t> slide = addressed_slide(operation);
          if (!slide) {
            if (reorder) {
              return fail(
                  PelvaneError::invalid_input("edit batch contains more than one slide reorder"));
            }
            reorder = &std::get<edit::ReorderSlides>(operation);
          } else if (*slide >= slides.size()) {
            return fail(PelvaneError::invalid_input("slide index " + std::to_string(*slide) +
                                                    " was not found"));
          } else {
            slide_groups[slides[*slide]].push_back(operation);
          }
        }

        std::map<std::string, std::set<std::string>> prune;  // relationships part -> ids
        for (const auto& [part, slide_operations] : slide_groups) {
          SlideEditResult slide = PELVANE_TRY(apply_slide_edit_operations(
              PELVANE_TRY(read_required_part(archive, part)), slide_operations));
          package.replace_part(part, std::move(slide.bytes));
          replacements += slide.count;
          if (!slide.prune_ids.empty()) prune[relationship_part_name(part)].merge(slide.prune_ids);
        }

        if (reorder) {
          const std::string xml = PELVANE_TRY(read_required_part(archive, kPresentationPart));
          auto [reordered, changed] = PELVANE_TRY(reorder_slide_ids(xml, reorder->slide_indices));
          package.replace_part(std::string(kPresentationPart), std::move(reordered));
          replacements += changed ? 1 : 0;
        }

        for (auto& [part, ids] : prune) {
          package.transform_part(part,
                                 [&replacements, ids = std::move(ids)](
                                     std::string_view, std::string content) -> Result<std::string> {
                                   auto [pruned, removed] =
                                       PELVANE_TRY(remove_relationships_by_id(content, ids));
                                   replacements += removed;
                                   return std::move(pruned);
                                 });
        }
        return true;
      }));
  EditBatchSummary summary;
  summary.edits = operations.size();
  summary.replacements = replacements;
  return finish_record(std::move(summary), output, edited);
}

}  // namespace pelvane
