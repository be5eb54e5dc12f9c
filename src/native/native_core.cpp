// Core functions: build information, inspection, summaries, the round trip, slides, text,
// tables and embedded workbooks. A call that needs more than a row (a fixed one-element list)
// is a small adapter function here, and the row is an engine_row of the adapter.
//
// Adding a function: the README, "Adding a function, an edit kind, a ZIP feature".
#include <array>
#include <optional>
#include <string_view>

#include "core/inspect/manifest.hpp"
#include "core/inspect/summary_package_extract.hpp"
#include "core/slides/new_slide_operations.hpp"
#include "core/slides/slide_delete_operations.hpp"
#include "core/slides/slide_duplicate_operations.hpp"
#include "core/tables/table_operations.hpp"
#include "core/text/text_operations.hpp"
#include "core/workbook/workbook_cell_update.hpp"
#include "native/binder.hpp"
#include "native/function_tables.hpp"
#include "native/params.hpp"
#include "native/results.hpp"

namespace pelvane::native {
namespace {

// The build information: four fixed members, keys in alphabetical order.
struct BuildInfo {
  template <class V>
  void visit(V& v) const {
    v.field("build_profile", std::string_view("release"));
    v.field("debug_assertions", false);
    v.field("package", std::string_view("pelvane-py"));
    v.field("version", std::string_view(PELVANE_VERSION));
  }
};

// The documentation of update_workbook_cells, after its text signature (FunctionDecl::doc).
constexpr const char* kUpdateWorkbookCellsDoc =
    "Write `[reference, kind, value]` cells into the named sheet of an XLSX\n"
    "package in place. `kind` is `\"n\"` for a number, `\"s\"` for a string, or\n"
    "`\"e\"` to clear an existing cell (its value is ignored).";

// The build information has no engine operation: the record is the module's own.
BuildInfo build_info() { return {}; }

// One slide deleted: the one-element target list, no survivor order.
Result<SlideDeleteSummary> delete_one_slide(std::string_view input, std::string_view output,
                                            std::string_view target_slide_part) {
  const std::string targets[] = {std::string(target_slide_part)};
  return delete_slides(input, output, targets, std::nullopt);
}

constexpr std::array<Param, 0> kNoParams{};
constexpr Param kPathParams[] = {{"path", Kind::Str}};
constexpr Param kPathIndexParams[] = {{"path", Kind::Str}, {"slide_index", Kind::Index}};
constexpr auto kInputOutputLayoutParams = join_params(kInputOutput, kLayout);
constexpr Param kDuplicateSlideParams[] = {
    {"input", Kind::Str}, {"output", Kind::Str}, {"source_slide_part", Kind::Str}};
constexpr Param kDeleteSlideParams[] = {
    {"input", Kind::Str}, {"output", Kind::Str}, {"target_slide_part", Kind::Str}};
constexpr Param kDeleteSlidesParams[] = {
    {"input", Kind::Str},
    {"output", Kind::Str},
    {"target_slide_parts", Kind::StrList},
    {"ordered_survivor_parts", Kind::StrList, Presence::Omittable}};
constexpr Param kUpdateWorkbookCellsParams[] = {{"xlsx", Kind::Bytes},
                                                {"sheet_name", Kind::Str},
                                                json_param<parse_workbook_cells>("cells_json")};
constexpr auto kReplaceTextParams = join_params(kInputOutput, kSearch, kReplacement);
constexpr auto kReplaceTextAtIndexParams = join_params(kInputOutputSlide, kSearch, kReplacement);
constexpr auto kRunTextParams = join_params(kInputOutputSlide, kRunIndex, kReplacement);
constexpr auto kShapeTextParams = join_params(kInputOutputSlide, kShapeIndex, kReplacement);
constexpr auto kParagraphTextParams =
    join_params(kInputOutputSlide, kShapeIndex, kParagraphIndex, kReplacement);
constexpr auto kCellTextParams = join_params(kInputOutputSlide, kCellAddress, kReplacement);
constexpr auto kTableParams = join_params(kInputOutputSlide, kTableSize, kBox);
constexpr auto kTableWithCellTextsParams =
    join_params(kInputOutputSlide, kTableSize, kBox, kCellTexts);

constexpr auto kCoreFunctions = std::to_array<FunctionDecl>({
    engine_row<&build_info, kNoParams>("build_info_json"),
    engine_row<&inspect_package, kPathParams>("inspect_package_json"),
    engine_row<&summarize_presentation, kPathParams>("summarize_presentation_json"),
    engine_row<&summarize_slide_at_index, kPathIndexParams>("summarize_slide_at_index_json"),
    engine_row<&roundtrip_package, kInputOutput>("roundtrip_package_json"),
    engine_row<&add_blank_slide, kInputOutput, Absent<2>>("add_blank_slide_json"),
    engine_row<&add_blank_slide, kInputOutputLayoutParams>("add_blank_slide_with_layout_json"),
    engine_row<&duplicate_slide, kDuplicateSlideParams>("duplicate_slide_json"),
    engine_row<&delete_one_slide, kDeleteSlideParams>("delete_slide_json"),
    engine_row<&delete_slides, kDeleteSlidesParams>("delete_slides_json"),
    engine_row<&replace_slide_text_inner, kReplaceTextParams, Absent<2>>("replace_slide_text_json"),
    engine_row<&replace_slide_text_inner, kReplaceTextAtIndexParams>(
        "replace_slide_text_at_index_json"),
    engine_row<&replace_slide_text_run_at_index, kRunTextParams>(
        "replace_slide_text_run_at_index_json"),
    engine_row<&set_slide_shape_text_at_index, kShapeTextParams>(
        "set_slide_shape_text_at_index_json"),
    engine_row<&set_slide_shape_paragraph_text_at_index, kParagraphTextParams>(
        "set_slide_shape_paragraph_text_at_index_json"),
    engine_row<&replace_table_cell_text, kCellTextParams>("replace_table_cell_text_json"),
    engine_row<&add_slide_table_impl, kTableParams, Absent<9>>("add_slide_table_json"),
    engine_row<&add_slide_table_impl, kTableWithCellTextsParams>(
        "add_slide_table_with_cell_texts_json"),
    engine_row<&update_workbook_cells, kUpdateWorkbookCellsParams>("update_workbook_cells",
                                                                   kUpdateWorkbookCellsDoc),
});

}  // namespace

int register_native_core(PyObject* module) { return register_table<kCoreFunctions>(module); }

}  // namespace pelvane::native
