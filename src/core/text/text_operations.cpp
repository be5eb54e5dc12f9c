#include "core/text/text_operations.hpp"

#include <string>
#include <utility>

#include "core/package/part_names.hpp"
#include "core/package/slide_edit.hpp"
#include "core/text/text_rewrite.hpp"

namespace pelvane {

namespace {

// The slide at `slide_index` through `rewrite` (xml -> Result<RewriteOutput>); the value is the
// rewrite's count.
template <class Rewrite>
Result<Edited<std::uint64_t>> rewrite_slide(std::string_view input, std::string_view output,
                                            std::uint64_t slide_index, Rewrite&& rewrite) {
  return edit_slide(input, output, slide_index, kTextEdit,
                    [&](SlideEdit& slide) -> Result<std::uint64_t> {
                      RewriteOutput rewritten = PELVANE_TRY(rewrite(slide.xml()));
                      slide.xml() = std::move(rewritten.bytes);
                      return rewritten.count;
                    });
}

// `summary` (holding the address keys) with the count of the slide's rewrite,
// `rewrite(xml, args...)`, as its replacements and the keys every record shares.
template <class Summary, class Rewrite, class... Args>
Result<Summary> rewrite_slide_counted(std::string_view input, std::string_view output,
                                      std::uint64_t slide_index, Summary summary, Rewrite rewrite,
                                      const Args&... args) {
  auto edited = PELVANE_TRY(rewrite_slide(
      input, output, slide_index, [&](std::string_view xml) { return rewrite(xml, args...); }));
  summary.replacements = edited.value;
  return finish_record(std::move(summary), output, edited);
}

// Every slide part of the archive, listed by the presentation or not, through `rewrite` while
// the package is written; the value is the sum of the counts.
template <class Rewrite>
Result<Edited<std::uint64_t>> rewrite_every_slide(std::string_view input, std::string_view output,
                                                  Rewrite&& rewrite) {
  std::uint64_t total = 0;
  auto edited =
      PELVANE_TRY(edit_package(input, output, kTextEdit, [&](PackageEdit& edit) -> Result<bool> {
        PackageArchive& archive = edit.archive();
        for (std::uint64_t index = 0; index < archive.entry_count(); ++index) {
          const std::string_view name = archive.entry_name(index);
          if (!is_slide_part(name)) continue;
          edit.transform_part(std::string(name),
                              [&](std::string_view, std::string xml) -> Result<std::string> {
                                RewriteOutput rewritten = PELVANE_TRY(rewrite(xml));
                                total += rewritten.count;
                                return std::move(rewritten.bytes);
                              });
        }
        return true;
      }));
  return Edited<std::uint64_t>{.value = total, .facts = edited.facts};
}

}  // namespace

Result<TextReplacementSummary> replace_slide_text_inner(std::string_view input,
                                                        std::string_view output,
                                                        std::optional<std::uint64_t> slide_index,
                                                        std::string_view search,
                                                        std::string_view replacement) {
  // Refused whether or not anything matches, before anything is written.
  PELVANE_TRY(CheckedText::check(replacement));
  const auto replace = [&](std::string_view xml) -> Result<RewriteOutput> {
    if (search.empty()) return RewriteOutput{std::string(xml), 0};  // nothing to find
    return replace_text_nodes(xml, search, replacement);
  };
  auto edited = PELVANE_TRY(slide_index ? rewrite_slide(input, output, *slide_index, replace)
                                        : rewrite_every_slide(input, output, replace));
  TextReplacementSummary summary;
  summary.replacements = edited.value;
  return finish_record(std::move(summary), output, edited);
}

Result<TextRunReplacementSummary> replace_slide_text_run_at_index(std::string_view input,
                                                                  std::string_view output,
                                                                  std::uint64_t slide_index,
                                                                  std::uint64_t run_index,
                                                                  std::string_view replacement) {
  TextRunReplacementSummary summary;
  summary.run_index = run_index;
  return rewrite_slide_counted(input, output, slide_index, std::move(summary),
                               &replace_text_run_at_index_in_slide, run_index, replacement);
}

Result<ShapeTextSetSummary> set_slide_shape_text_at_index(std::string_view input,
                                                          std::string_view output,
                                                          std::uint64_t slide_index,
                                                          std::uint64_t shape_index,
                                                          std::string_view replacement) {
  ShapeTextSetSummary summary;
  summary.shape_index = shape_index;
  return rewrite_slide_counted(input, output, slide_index, std::move(summary),
                               &set_shape_text_at_index_in_slide, shape_index, replacement);
}

Result<ParagraphTextSetSummary> set_slide_shape_paragraph_text_at_index(
    std::string_view input, std::string_view output, std::uint64_t slide_index,
    std::uint64_t shape_index, std::uint64_t paragraph_index, std::string_view replacement) {
  ParagraphTextSetSummary summary;
  summary.shape_index = shape_index;
  summary.paragraph_index = paragraph_index;
  return rewrite_slide_counted(input, output, slide_index, std::move(summary),
                               &set_shape_paragraph_text_at_index_in_slide, shape_index,
                               paragraph_index, replacement);
}

}  // namespace pelvane
