// The argument readers as tables: the fields of the 30 edit kinds and of the records they
// nest, the freeform steps, the placeholder specifications and the tuple forms. Each table is
// read by the record readers (json_records.hpp) over the scanner (json_scanner.hpp).
#include "core/json/json_in.hpp"

#include <iterator>
#include <type_traits>
#include <variant>

#include "core/json/json_records.hpp"

namespace pelvane {

using namespace json_detail;

namespace {

using namespace edit;

constexpr FieldSpec kReorderSlides[] = {PELVANE_FIELD(ReorderSlides, slide_indices, Required)};
constexpr FieldSpec kDeleteShape[] = {PELVANE_FIELD(DeleteShape, slide_index, Required),
                                      PELVANE_FIELD(DeleteShape, shape_index, Required)};
constexpr FieldSpec kDeleteGroupShapeChild[] = {
    PELVANE_FIELD(DeleteGroupShapeChild, slide_index, Required),
    PELVANE_FIELD(DeleteGroupShapeChild, group_shape_id, Required),
    PELVANE_FIELD(DeleteGroupShapeChild, child_shape_id, Required)};
constexpr FieldSpec kSetShapeText[] = {PELVANE_FIELD(SetShapeText, slide_index, Required),
                                       PELVANE_FIELD(SetShapeText, shape_index, Required),
                                       PELVANE_FIELD(SetShapeText, replacement, Required)};
constexpr FieldSpec kSetGroupShapeChildText[] = {
    PELVANE_FIELD(SetGroupShapeChildText, slide_index, Required),
    PELVANE_FIELD(SetGroupShapeChildText, group_index, Required),
    PELVANE_FIELD(SetGroupShapeChildText, child_index, Required),
    PELVANE_FIELD(SetGroupShapeChildText, replacement, Required)};
constexpr FieldSpec kSetGroupShapeChildParagraphText[] = {
    PELVANE_FIELD(SetGroupShapeChildParagraphText, slide_index, Required),
    PELVANE_FIELD(SetGroupShapeChildParagraphText, group_index, Required),
    PELVANE_FIELD(SetGroupShapeChildParagraphText, child_index, Required),
    PELVANE_FIELD(SetGroupShapeChildParagraphText, paragraph_index, Required),
    PELVANE_FIELD(SetGroupShapeChildParagraphText, replacement, Required)};
constexpr FieldSpec kSetGroupShapeChildRunText[] = {
    PELVANE_FIELD(SetGroupShapeChildRunText, slide_index, Required),
    PELVANE_FIELD(SetGroupShapeChildRunText, group_index, Required),
    PELVANE_FIELD(SetGroupShapeChildRunText, child_index, Required),
    PELVANE_FIELD(SetGroupShapeChildRunText, paragraph_index, Required),
    PELVANE_FIELD(SetGroupShapeChildRunText, run_index, Required),
    PELVANE_FIELD(SetGroupShapeChildRunText, replacement, Required)};
constexpr FieldSpec kSetParagraphText[] = {
    PELVANE_FIELD(SetParagraphText, slide_index, Required),
    PELVANE_FIELD(SetParagraphText, shape_index, Required),
    PELVANE_FIELD(SetParagraphText, paragraph_index, Required),
    PELVANE_FIELD(SetParagraphText, replacement, Required)};
constexpr FieldSpec kReplaceTextRun[] = {PELVANE_FIELD(ReplaceTextRun, slide_index, Required),
                                         PELVANE_FIELD(ReplaceTextRun, run_index, Required),
                                         PELVANE_FIELD(ReplaceTextRun, replacement, Required)};
constexpr FieldSpec kSetTextRunBold[] = {PELVANE_FIELD(SetTextRunBold, slide_index, Required),
                                         PELVANE_FIELD(SetTextRunBold, run_index, Required),
                                         PELVANE_FIELD(SetTextRunBold, bold, Optional)};
constexpr FieldSpec kSetTextRunItalic[] = {PELVANE_FIELD(SetTextRunItalic, slide_index, Required),
                                           PELVANE_FIELD(SetTextRunItalic, run_index, Required),
                                           PELVANE_FIELD(SetTextRunItalic, italic, Optional)};
constexpr FieldSpec kSetTextRunUnderline[] = {
    PELVANE_FIELD(SetTextRunUnderline, slide_index, Required),
    PELVANE_FIELD(SetTextRunUnderline, run_index, Required),
    PELVANE_FIELD(SetTextRunUnderline, underline, Optional)};
constexpr FieldSpec kSetTextRunFontSize[] = {
    PELVANE_FIELD(SetTextRunFontSize, slide_index, Required),
    PELVANE_FIELD(SetTextRunFontSize, run_index, Required),
    PELVANE_FIELD(SetTextRunFontSize, size, Optional)};
constexpr FieldSpec kSetTextRunFontName[] = {
    PELVANE_FIELD(SetTextRunFontName, slide_index, Required),
    PELVANE_FIELD(SetTextRunFontName, run_index, Required),
    PELVANE_FIELD(SetTextRunFontName, name, Optional)};
constexpr FieldSpec kSetTextRunFormatting[] = {
    PELVANE_FIELD(SetTextRunFormatting, slide_index, Required),
    PELVANE_FIELD(SetTextRunFormatting, run_index, Required),
    PELVANE_FIELD(SetTextRunFormatting, set_bold, Required),
    PELVANE_FIELD(SetTextRunFormatting, bold, Optional),
    PELVANE_FIELD(SetTextRunFormatting, set_italic, Required),
    PELVANE_FIELD(SetTextRunFormatting, italic, Optional),
    PELVANE_FIELD(SetTextRunFormatting, set_underline, Required),
    PELVANE_FIELD(SetTextRunFormatting, underline, Optional),
    PELVANE_FIELD(SetTextRunFormatting, set_size, Required),
    PELVANE_FIELD(SetTextRunFormatting, size, Optional),
    PELVANE_FIELD(SetTextRunFormatting, set_name, Required),
    PELVANE_FIELD(SetTextRunFormatting, name, Optional),
    PELVANE_FIELD(SetTextRunFormatting, set_color, Defaulted),
    PELVANE_FIELD(SetTextRunFormatting, color, Defaulted)};
constexpr FieldSpec kAppendParagraphText[] = {
    PELVANE_FIELD(AppendParagraphText, slide_index, Required),
    PELVANE_FIELD(AppendParagraphText, shape_index, Required),
    PELVANE_FIELD(AppendParagraphText, text, Required)};
constexpr FieldSpec kAppendTextRun[] = {PELVANE_FIELD(AppendTextRun, slide_index, Required),
                                        PELVANE_FIELD(AppendTextRun, shape_index, Required),
                                        PELVANE_FIELD(AppendTextRun, paragraph_index, Required),
                                        PELVANE_FIELD(AppendTextRun, text, Required)};
constexpr FieldSpec kInsertParagraphLineBreak[] = {
    PELVANE_FIELD(InsertParagraphLineBreak, slide_index, Required),
    PELVANE_FIELD(InsertParagraphLineBreak, shape_index, Required),
    PELVANE_FIELD(InsertParagraphLineBreak, paragraph_index, Required),
    PELVANE_FIELD(InsertParagraphLineBreak, run_slot, Required)};
constexpr FieldSpec kSetParagraphProperties[] = {
    PELVANE_FIELD(SetParagraphProperties, slide_index, Required),
    PELVANE_FIELD(SetParagraphProperties, shape_index, Required),
    PELVANE_FIELD(SetParagraphProperties, paragraph_index, Required),
    PELVANE_FIELD(SetParagraphProperties, set_alignment, Required),
    PELVANE_FIELD(SetParagraphProperties, alignment, Optional),
    PELVANE_FIELD(SetParagraphProperties, set_level, Required),
    PELVANE_FIELD(SetParagraphProperties, level, Required),
    PELVANE_FIELD(SetParagraphProperties, spacing, Defaulted)};
constexpr FieldSpec kSetParagraphFontProperties[] = {
    PELVANE_FIELD(SetParagraphFontProperties, slide_index, Required),
    PELVANE_FIELD(SetParagraphFontProperties, shape_index, Required),
    PELVANE_FIELD(SetParagraphFontProperties, paragraph_index, Required),
    PELVANE_FIELD(SetParagraphFontProperties, set_bold, Required),
    PELVANE_FIELD(SetParagraphFontProperties, bold, Optional),
    PELVANE_FIELD(SetParagraphFontProperties, set_italic, Required),
    PELVANE_FIELD(SetParagraphFontProperties, italic, Optional),
    PELVANE_FIELD(SetParagraphFontProperties, set_underline, Required),
    PELVANE_FIELD(SetParagraphFontProperties, underline, Optional),
    PELVANE_FIELD(SetParagraphFontProperties, set_size, Required),
    PELVANE_FIELD(SetParagraphFontProperties, size, Optional),
    PELVANE_FIELD(SetParagraphFontProperties, set_name, Required),
    PELVANE_FIELD(SetParagraphFontProperties, name, Optional),
    PELVANE_FIELD(SetParagraphFontProperties, set_color, Defaulted),
    PELVANE_FIELD(SetParagraphFontProperties, color, Defaulted),
    PELVANE_FIELD(SetParagraphFontProperties, set_fill_type, Defaulted),
    PELVANE_FIELD(SetParagraphFontProperties, fill_type, Defaulted),
    PELVANE_FIELD(SetParagraphFontProperties, set_language, Defaulted),
    PELVANE_FIELD(SetParagraphFontProperties, language_id, Defaulted)};
constexpr FieldSpec kSetShapeGeometry[] = {PELVANE_FIELD(SetShapeGeometry, slide_index, Required),
                                           PELVANE_FIELD(SetShapeGeometry, shape_index, Required),
                                           PELVANE_FIELD(SetShapeGeometry, x_emu, Required),
                                           PELVANE_FIELD(SetShapeGeometry, y_emu, Required),
                                           PELVANE_FIELD(SetShapeGeometry, cx_emu, Required),
                                           PELVANE_FIELD(SetShapeGeometry, cy_emu, Required)};
constexpr FieldSpec kSetGroupShapeChildGeometry[] = {
    PELVANE_FIELD(SetGroupShapeChildGeometry, slide_index, Required),
    PELVANE_FIELD(SetGroupShapeChildGeometry, group_index, Required),
    PELVANE_FIELD(SetGroupShapeChildGeometry, child_index, Required),
    PELVANE_FIELD(SetGroupShapeChildGeometry, x_emu, Required),
    PELVANE_FIELD(SetGroupShapeChildGeometry, y_emu, Required),
    PELVANE_FIELD(SetGroupShapeChildGeometry, cx_emu, Required),
    PELVANE_FIELD(SetGroupShapeChildGeometry, cy_emu, Required)};
constexpr FieldSpec kSetTextFrameProperties[] = {
    PELVANE_FIELD(SetTextFrameProperties, slide_index, Required),
    PELVANE_FIELD(SetTextFrameProperties, shape_index, Required),
    PELVANE_FIELD(SetTextFrameProperties, properties, Defaulted)};
constexpr FieldSpec kReplaceTableCellText[] = {
    PELVANE_FIELD(ReplaceTableCellText, slide_index, Required),
    PELVANE_FIELD(ReplaceTableCellText, table_index, Required),
    PELVANE_FIELD(ReplaceTableCellText, row_index, Required),
    PELVANE_FIELD(ReplaceTableCellText, col_index, Required),
    PELVANE_FIELD(ReplaceTableCellText, replacement, Required)};
constexpr FieldSpec kSetTableCellMerge[] = {
    PELVANE_FIELD(SetTableCellMerge, slide_index, Required),
    PELVANE_FIELD(SetTableCellMerge, table_index, Required),
    PELVANE_FIELD(SetTableCellMerge, row_min, Required),
    PELVANE_FIELD(SetTableCellMerge, row_max, Required),
    PELVANE_FIELD(SetTableCellMerge, col_min, Required),
    PELVANE_FIELD(SetTableCellMerge, col_max, Required),
    PELVANE_FIELD(SetTableCellMerge, kind, Required),
    PELVANE_FIELD(SetTableCellMerge, paragraphs, Defaulted)};
constexpr FieldSpec kSetTableStyleFlags[] = {
    PELVANE_FIELD(SetTableStyleFlags, slide_index, Required),
    PELVANE_FIELD(SetTableStyleFlags, table_index, Required),
    PELVANE_FIELD(SetTableStyleFlags, flags, Required)};
constexpr FieldSpec kInsertTableRow[] = {PELVANE_FIELD(InsertTableRow, slide_index, Required),
                                         PELVANE_FIELD(InsertTableRow, table_index, Required),
                                         PELVANE_FIELD(InsertTableRow, row_index, Required)};
constexpr FieldSpec kDeleteTableRow[] = {PELVANE_FIELD(DeleteTableRow, slide_index, Required),
                                         PELVANE_FIELD(DeleteTableRow, table_index, Required),
                                         PELVANE_FIELD(DeleteTableRow, row_index, Required)};
constexpr FieldSpec kInsertTableColumn[] = {PELVANE_FIELD(InsertTableColumn, slide_index, Required),
                                            PELVANE_FIELD(InsertTableColumn, table_index, Required),
                                            PELVANE_FIELD(InsertTableColumn, col_index, Required)};
constexpr FieldSpec kDeleteTableColumn[] = {PELVANE_FIELD(DeleteTableColumn, slide_index, Required),
                                            PELVANE_FIELD(DeleteTableColumn, table_index, Required),
                                            PELVANE_FIELD(DeleteTableColumn, col_index, Required)};

template <std::size_t Index, class Kind>
void* start_edit(void* out) {
  static_assert(std::is_same_v<std::variant_alternative_t<Index, EditOperationVariant>, Kind>,
                "the table of edit kinds follows the order of the variant");
  return &static_cast<EditOperation*>(out)->template emplace<Index>();
}

#define PELVANE_EDIT_KIND(index, Kind)                                      \
  VariantSpec {                                                             \
    Kind::tag, RecordSpec{"struct variant EditOperation::" #Kind, k##Kind}, \
        &start_edit<index, Kind>                                            \
  }

constexpr VariantSpec kEditKinds[] = {
    PELVANE_EDIT_KIND(0, ReorderSlides),
    PELVANE_EDIT_KIND(1, DeleteShape),
    PELVANE_EDIT_KIND(2, DeleteGroupShapeChild),
    PELVANE_EDIT_KIND(3, SetShapeText),
    PELVANE_EDIT_KIND(4, SetGroupShapeChildText),
    PELVANE_EDIT_KIND(5, SetGroupShapeChildParagraphText),
    PELVANE_EDIT_KIND(6, SetGroupShapeChildRunText),
    PELVANE_EDIT_KIND(7, SetParagraphText),
    PELVANE_EDIT_KIND(8, ReplaceTextRun),
    PELVANE_EDIT_KIND(9, SetTextRunBold),
    PELVANE_EDIT_KIND(10, SetTextRunItalic),
    PELVANE_EDIT_KIND(11, SetTextRunUnderline),
    PELVANE_EDIT_KIND(12, SetTextRunFontSize),
    PELVANE_EDIT_KIND(13, SetTextRunFontName),
    PELVANE_EDIT_KIND(14, SetTextRunFormatting),
    PELVANE_EDIT_KIND(15, AppendParagraphText),
    PELVANE_EDIT_KIND(16, AppendTextRun),
    PELVANE_EDIT_KIND(17, InsertParagraphLineBreak),
    PELVANE_EDIT_KIND(18, SetParagraphProperties),
    PELVANE_EDIT_KIND(19, SetParagraphFontProperties),
    PELVANE_EDIT_KIND(20, SetShapeGeometry),
    PELVANE_EDIT_KIND(21, SetGroupShapeChildGeometry),
    PELVANE_EDIT_KIND(22, SetTextFrameProperties),
    PELVANE_EDIT_KIND(23, ReplaceTableCellText),
    PELVANE_EDIT_KIND(24, SetTableCellMerge),
    PELVANE_EDIT_KIND(25, SetTableStyleFlags),
    PELVANE_EDIT_KIND(26, InsertTableRow),
    PELVANE_EDIT_KIND(27, DeleteTableRow),
    PELVANE_EDIT_KIND(28, InsertTableColumn),
    PELVANE_EDIT_KIND(29, DeleteTableColumn),
};
static_assert(std::size(kEditKinds) == std::variant_size_v<EditOperationVariant>);

constexpr TaggedSpec kEditOperation{"type", "internally tagged enum EditOperation", kEditKinds};

// Spacing values: the JSON key of both payloads is "value".
template <ParagraphSpacingValue::Kind Kind>
void* start_spacing(void* out) {
  static_cast<ParagraphSpacingValue*>(out)->kind = Kind;
  return out;
}
constexpr FieldSpec kSpacingEmu[] = {
    {"value", Presence::Required, &read_member<&ParagraphSpacingValue::emu>}};
constexpr FieldSpec kSpacingMultiple[] = {
    {"value", Presence::Required, &read_member<&ParagraphSpacingValue::multiple>}};
constexpr VariantSpec kSpacingKinds[] = {
    {"clear",
     {"struct variant ParagraphSpacingValue::Clear", {}},
     &start_spacing<ParagraphSpacingValue::Kind::Clear>},
    {"emu",
     {"struct variant ParagraphSpacingValue::Emu", kSpacingEmu},
     &start_spacing<ParagraphSpacingValue::Kind::Emu>},
    {"multiple",
     {"struct variant ParagraphSpacingValue::Multiple", kSpacingMultiple},
     &start_spacing<ParagraphSpacingValue::Kind::Multiple>},
};
constexpr TaggedSpec kSpacingValue{"kind", "internally tagged enum ParagraphSpacingValue",
                                   kSpacingKinds, /*tag_by_index=*/true};

constexpr FieldSpec kSpacingPatchFields[] = {
    PELVANE_FIELD(ParagraphSpacingPatch, line_spacing, Defaulted),
    PELVANE_FIELD(ParagraphSpacingPatch, space_before, Defaulted),
    PELVANE_FIELD(ParagraphSpacingPatch, space_after, Defaulted)};
constexpr RecordSpec kSpacingPatch{"struct ParagraphSpacingPatch", kSpacingPatchFields};

constexpr FieldSpec kTextFrameFields[] = {
    PELVANE_FIELD(TextFramePropertiesPatch, margins, Defaulted),
    PELVANE_FIELD(TextFramePropertiesPatch, set_word_wrap, Defaulted),
    PELVANE_FIELD(TextFramePropertiesPatch, word_wrap, Defaulted),
    PELVANE_FIELD(TextFramePropertiesPatch, set_vertical_anchor, Defaulted),
    PELVANE_FIELD(TextFramePropertiesPatch, vertical_anchor, Defaulted),
    PELVANE_FIELD(TextFramePropertiesPatch, set_auto_size, Defaulted),
    PELVANE_FIELD(TextFramePropertiesPatch, auto_size, Defaulted)};
constexpr RecordSpec kTextFramePatch{"struct TextFramePropertiesPatch", kTextFrameFields};

template <FreeformPathOperation::Kind Kind>
void* start_path_step(void* out) {
  static_cast<FreeformPathOperation*>(out)->kind = Kind;
  return out;
}
constexpr FieldSpec kPoint[] = {PELVANE_FIELD(FreeformPathOperation, x, Required),
                                PELVANE_FIELD(FreeformPathOperation, y, Required)};
constexpr VariantSpec kPathKinds[] = {
    {"move_to",
     {"struct variant FreeformPathOperation::MoveTo", kPoint},
     &start_path_step<FreeformPathOperation::Kind::MoveTo>},
    {"line_to",
     {"struct variant FreeformPathOperation::LineTo", kPoint},
     &start_path_step<FreeformPathOperation::Kind::LineTo>},
    {"close",
     {"struct variant FreeformPathOperation::Close", {}},
     &start_path_step<FreeformPathOperation::Kind::Close>},
};
constexpr TaggedSpec kFreeformPathOperation{"type", "internally tagged enum FreeformPathOperation",
                                            kPathKinds};

constexpr FieldSpec kPlaceholderFields[] = {
    PELVANE_FIELD(PlaceholderShapeSpec, placeholder_type, Optional),
    PELVANE_FIELD(PlaceholderShapeSpec, placeholder_orient, Optional),
    PELVANE_FIELD(PlaceholderShapeSpec, placeholder_size, Optional),
    PELVANE_FIELD(PlaceholderShapeSpec, placeholder_idx, Optional)};
constexpr RecordSpec kPlaceholder{"struct PlaceholderShapeSpec", kPlaceholderFields};

constexpr FieldSpec kGuideFields[] = {PELVANE_FIELD(AdjustmentGuide, name, Required),
                                      PELVANE_FIELD(AdjustmentGuide, value, Required)};
constexpr RecordSpec kGuide{"a tuple of size 2", kGuideFields, /*tuple=*/true};

constexpr FieldSpec kCellTextFields[] = {PELVANE_FIELD(TableCellText, row, Required),
                                         PELVANE_FIELD(TableCellText, col, Required),
                                         PELVANE_FIELD(TableCellText, text, Required)};
constexpr RecordSpec kCellText{"a tuple of size 3", kCellTextFields, /*tuple=*/true};

struct CellTriple {
  std::string reference;
  std::string kind;
  std::string value;
};
constexpr FieldSpec kCellTripleFields[] = {PELVANE_FIELD(CellTriple, reference, Required),
                                           PELVANE_FIELD(CellTriple, kind, Required),
                                           PELVANE_FIELD(CellTriple, value, Required)};
constexpr RecordSpec kCellTriple{"a tuple of size 3", kCellTripleFields, /*tuple=*/true};

}  // namespace

namespace json_detail {

Read<void> read_value(Cursor& c, ParagraphSpacingValue& out) {
  return read_tagged(c, kSpacingValue, &out);
}
Read<void> read_value(Cursor& c, ParagraphSpacingPatch& out) {
  return read_record(c, kSpacingPatch, &out);
}
Read<void> read_value(Cursor& c, TextFramePropertiesPatch& out) {
  return read_record(c, kTextFramePatch, &out);
}

}  // namespace json_detail

JsonInputResult<std::vector<EditOperation>> parse_edit_list(std::string_view json) {
  return read_list<EditOperation>(
      json, [](Cursor& c, EditOperation& edit) { return read_tagged(c, kEditOperation, &edit); });
}

JsonInputResult<std::vector<FreeformPathOperation>> parse_freeform_operations(
    std::string_view json) {
  return read_list<FreeformPathOperation>(json, [](Cursor& c, FreeformPathOperation& step) {
    return read_tagged(c, kFreeformPathOperation, &step);
  });
}

JsonInputResult<std::vector<PlaceholderShapeSpec>> parse_placeholder_specs(std::string_view json) {
  return read_list<PlaceholderShapeSpec>(json, [](Cursor& c, PlaceholderShapeSpec& spec) {
    return read_record(c, kPlaceholder, &spec);
  });
}

JsonInputResult<std::vector<AdjustmentGuide>> parse_adjustment_guides(std::string_view json) {
  return read_list<AdjustmentGuide>(
      json, [](Cursor& c, AdjustmentGuide& guide) { return read_record(c, kGuide, &guide); });
}

JsonInputResult<std::vector<TableCellText>> parse_cell_texts(std::string_view json) {
  return read_list<TableCellText>(
      json, [](Cursor& c, TableCellText& cell) { return read_record(c, kCellText, &cell); });
}

JsonInputResult<std::vector<WorkbookCellUpdate>> parse_workbook_cells(std::string_view json) {
  auto triples = read_list<CellTriple>(
      json, [](Cursor& c, CellTriple& triple) { return read_record(c, kCellTriple, &triple); });
  if (!triples) return std::unexpected(std::move(triples).error());
  std::vector<WorkbookCellUpdate> updates;
  updates.reserve(triples->size());
  for (auto& triple : *triples) {
    WorkbookCellValue value;
    if (triple.kind == "n")
      value = WorkbookCellValue::number(std::move(triple.value));
    else if (triple.kind == "s")
      value = WorkbookCellValue::string(std::move(triple.value));
    else if (triple.kind == "e")
      value = WorkbookCellValue::clear();
    else
      return std::unexpected(JsonInputError{"unsupported workbook cell kind: " + triple.kind});
    updates.push_back({std::move(triple.reference), std::move(value)});
  }
  return updates;
}

}  // namespace pelvane
