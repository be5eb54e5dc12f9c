// Core functions: build information, inspection, summaries, the round trip, slides, text,
// tables and embedded workbooks.
//
// Adding a function is one row in kCoreFunctions, in registration order, plus its parameter
// list when no existing one fits. Parameters are {name, Kind} with Presence::NoneOk for
// "X or None" and Presence::Omittable for a trailing parameter that may be left out; a JSON
// parameter is json_param<reader>("name") and its parsed value is a.json<T>(i). Examples:
//
//   constexpr Param kDeleteSlidesParams[] = {{"input", Kind::Str}, {"output", Kind::Str},
//       {"target_slide_parts", Kind::StrList},
//       {"ordered_survivor_parts", Kind::StrList, Presence::Omittable}};
//   {"delete_slides_json", kDeleteSlidesParams, [](Args& a) {
//        return json_result(delete_slides(a.str(0), a.str(1), a.str_list(2),
//                                         a.optional_str_list(3))); }},
//
//   constexpr Param kTableWithCellTextsParams[] = {..., {"cy_emu", Kind::U64},
//       json_param<parse_cell_texts>("cell_texts_json")};      // reader from core/json_in.hpp
//   ... a.json<std::vector<TableCellText>>(9) ...
//
// Only functions whose engine operation exists are listed; the typed stubs in
// python/pelvane/pelvane_native.pyi list the same names.
#include <array>
#include <optional>
#include <string_view>

#include "core/inspect/manifest.hpp"
#include "core/inspect/summary_package_extract.hpp"
#include "core/json/json_in.hpp"
#include "core/slides/package_mutation_slide_delete.hpp"
#include "core/slides/package_mutation_slide_duplicate.hpp"
#include "core/slides/package_mutation_slides.hpp"
#include "core/workbook/workbook_cell_update.hpp"
#include "core/text/package_mutation_text.hpp"
#include "core/zip/package_archive.hpp"
#include "native/binder.hpp"
#include "native/groups.hpp"
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
    v.field("version", std::string_view("0.1.4"));
  }
};

// The documentation of update_workbook_cells, after its text signature (FunctionDecl::doc).
constexpr const char* kUpdateWorkbookCellsDoc =
    "Write `[reference, kind, value]` cells into the named sheet of an XLSX\n"
    "package in place. `kind` is `\"n\"` for a number, `\"s\"` for a string, or\n"
    "`\"e\"` to clear an existing cell (its value is ignored).";

constexpr Param kPathParams[] = {{"path", Kind::Str}};
constexpr Param kInputOutputParams[] = {{"input", Kind::Str}, {"output", Kind::Str}};
constexpr Param kPathIndexParams[] = {{"path", Kind::Str}, {"slide_index", Kind::Index}};
constexpr Param kInputOutputLayoutParams[] = {
    {"input", Kind::Str}, {"output", Kind::Str}, {"layout_index", Kind::Index}};
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
// Pieces of the text functions' parameter lists, joined in signature order.
constexpr Param kSlideIndex[] = {{"slide_index", Kind::Index}};
constexpr Param kSearch[] = {{"search", Kind::Str}};
constexpr Param kRunIndex[] = {{"run_index", Kind::Index}};
constexpr Param kShapeIndex[] = {{"shape_index", Kind::Index}};
constexpr Param kParagraphIndex[] = {{"paragraph_index", Kind::Index}};
constexpr Param kReplacement[] = {{"replacement", Kind::Str}};
constexpr auto kReplaceTextParams = join_params(kInputOutputParams, kSearch, kReplacement);
constexpr auto kReplaceTextAtIndexParams =
    join_params(kInputOutputParams, kSlideIndex, kSearch, kReplacement);
constexpr auto kRunTextParams =
    join_params(kInputOutputParams, kSlideIndex, kRunIndex, kReplacement);
constexpr auto kShapeTextParams =
    join_params(kInputOutputParams, kSlideIndex, kShapeIndex, kReplacement);
constexpr auto kParagraphTextParams =
    join_params(kInputOutputParams, kSlideIndex, kShapeIndex, kParagraphIndex, kReplacement);

constexpr auto kCoreFunctions = std::to_array<FunctionDecl>({
    {"build_info_json", {}, [](Args&) { return json_result(BuildInfo{}); }},
    {"inspect_package_json", kPathParams,
     [](Args& a) { return json_result(inspect_package(a.str(0))); }},
    {"summarize_presentation_json", kPathParams,
     [](Args& a) {
       // Printed slide by slide; a path the writer refuses takes the generic road to its message.
       if (!is_valid_utf8(a.str(0))) return json_result(summarize_presentation(a.str(0)));
       auto text = summarize_presentation_json_text(a.str(0));
       if (!text) return error_outcome(text.error());
       return text_outcome(std::move(*text));
     }},
    {"summarize_slide_at_index_json", kPathIndexParams,
     [](Args& a) { return json_result(summarize_slide_at_index(a.str(0), a.index(1))); }},
    {"roundtrip_package_json", kInputOutputParams,
     [](Args& a) { return json_result(roundtrip_package(a.str(0), a.str(1))); }},
    {"add_blank_slide_json", kInputOutputParams,
     [](Args& a) { return json_result(add_blank_slide(a.str(0), a.str(1), std::nullopt)); }},
    {"add_blank_slide_with_layout_json", kInputOutputLayoutParams,
     [](Args& a) { return json_result(add_blank_slide(a.str(0), a.str(1), a.index(2))); }},
    {"duplicate_slide_json", kDuplicateSlideParams,
     [](Args& a) { return json_result(duplicate_slide(a.str(0), a.str(1), a.str(2))); }},
    {"delete_slide_json", kDeleteSlideParams,
     [](Args& a) {
       const std::string target(a.str(2));
       return json_result(
           delete_slides(a.str(0), a.str(1), std::span(&target, 1), std::nullopt));
     }},
    {"delete_slides_json", kDeleteSlidesParams,
     [](Args& a) {
       return json_result(
           delete_slides(a.str(0), a.str(1), a.str_list(2), a.optional_str_list(3)));
     }},
    {"replace_slide_text_json", kReplaceTextParams,
     [](Args& a) {
       return json_result(
           replace_slide_text_inner(a.str(0), a.str(1), std::nullopt, a.str(2), a.str(3)));
     }},
    {"replace_slide_text_at_index_json", kReplaceTextAtIndexParams,
     [](Args& a) {
       return json_result(
           replace_slide_text_inner(a.str(0), a.str(1), a.index(2), a.str(3), a.str(4)));
     }},
    engine_row<&replace_slide_text_run_at_index, kRunTextParams>(
        "replace_slide_text_run_at_index_json"),
    engine_row<&set_slide_shape_text_at_index, kShapeTextParams>(
        "set_slide_shape_text_at_index_json"),
    engine_row<&set_slide_shape_paragraph_text_at_index, kParagraphTextParams>(
        "set_slide_shape_paragraph_text_at_index_json"),
    {"update_workbook_cells", kUpdateWorkbookCellsParams,
     [](Args& a) {
       return bytes_result(
           update_workbook_cells(a.bytes(0), a.str(1), a.json<std::vector<WorkbookCellUpdate>>(2)));
     },
     kUpdateWorkbookCellsDoc},
});

}  // namespace

int register_native_core(PyObject* module) { return register_functions<kCoreFunctions>(module); }

}  // namespace pelvane::native
