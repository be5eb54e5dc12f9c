// Records the engine accepts from the JSON arguments of the module: the edit operations of a
// batch with their nested patches, freeform path steps, placeholder specifications and the
// tuple forms (adjustment guides, table cell texts, workbook cell updates).
//
// Indexes and counts are `std::uint64_t`, EMU lengths and coordinates `std::int64_t`. Fields
// keep their JSON names; default member values are the values a defaulted or optional field
// takes when the JSON leaves it out. JSON reading lives in json_in.hpp.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace pelvane {

// ---- Paragraph spacing ----

// One spacing of a paragraph: removed, an exact length, or a proportion of the line.
struct ParagraphSpacingValue {
  enum class Kind { Clear, Emu, Multiple };
  Kind kind = Kind::Clear;
  std::int64_t emu = 0;   // Kind::Emu: the length in EMU (JSON key "value")
  double multiple = 0.0;  // Kind::Multiple: the factor, 1.0 standing for 100 % (JSON key "value")

  static ParagraphSpacingValue clear() { return {}; }
  static ParagraphSpacingValue exact(std::int64_t emu_length) {
    return {Kind::Emu, emu_length, 0.0};
  }
  static ParagraphSpacingValue proportional(double factor) { return {Kind::Multiple, 0, factor}; }

  friend bool operator==(const ParagraphSpacingValue&, const ParagraphSpacingValue&) = default;
};

// Which spacings of a paragraph change; none leaves that spacing as it is.
struct ParagraphSpacingPatch {
  std::optional<ParagraphSpacingValue> line_spacing;
  std::optional<ParagraphSpacingValue> space_before;
  std::optional<ParagraphSpacingValue> space_after;

  friend bool operator==(const ParagraphSpacingPatch&, const ParagraphSpacingPatch&) = default;
};

// ---- Text frame ----

// Which properties of a shape's text frame change. Each flag says whether its value applies.
struct TextFramePropertiesPatch {
  std::map<std::string, std::int64_t> margins;  // inset name -> EMU, ascending byte order
  bool set_word_wrap = false;
  std::optional<std::string> word_wrap;
  bool set_vertical_anchor = false;
  std::optional<std::string> vertical_anchor;
  bool set_auto_size = false;
  std::optional<std::string> auto_size;

  friend bool operator==(const TextFramePropertiesPatch&,
                         const TextFramePropertiesPatch&) = default;
};

// ---- Edit operations ----

// One struct per kind of edit, in the order of the kinds; `tag` is the kind's JSON tag.
namespace edit {

struct ReorderSlides {
  static constexpr std::string_view tag = "reorder_slides";
  std::vector<std::uint64_t> slide_indices;
  friend bool operator==(const ReorderSlides&, const ReorderSlides&) = default;
};

struct DeleteShape {
  static constexpr std::string_view tag = "delete_shape";
  std::uint64_t slide_index = 0;
  std::uint64_t shape_index = 0;
  friend bool operator==(const DeleteShape&, const DeleteShape&) = default;
};

struct DeleteGroupShapeChild {
  static constexpr std::string_view tag = "delete_group_shape_child";
  std::uint64_t slide_index = 0;
  std::uint64_t group_shape_id = 0;  // the group's shape id, not an index
  std::uint64_t child_shape_id = 0;
  friend bool operator==(const DeleteGroupShapeChild&, const DeleteGroupShapeChild&) = default;
};

struct SetShapeText {
  static constexpr std::string_view tag = "set_shape_text";
  std::uint64_t slide_index = 0;
  std::uint64_t shape_index = 0;
  std::string replacement;
  friend bool operator==(const SetShapeText&, const SetShapeText&) = default;
};

struct SetGroupShapeChildText {
  static constexpr std::string_view tag = "set_group_shape_child_text";
  std::uint64_t slide_index = 0;
  std::uint64_t group_index = 0;
  std::uint64_t child_index = 0;
  std::string replacement;
  friend bool operator==(const SetGroupShapeChildText&, const SetGroupShapeChildText&) = default;
};

struct SetGroupShapeChildParagraphText {
  static constexpr std::string_view tag = "set_group_shape_child_paragraph_text";
  std::uint64_t slide_index = 0;
  std::uint64_t group_index = 0;
  std::uint64_t child_index = 0;
  std::uint64_t paragraph_index = 0;
  std::string replacement;
  friend bool operator==(const SetGroupShapeChildParagraphText&,
                         const SetGroupShapeChildParagraphText&) = default;
};

struct SetGroupShapeChildRunText {
  static constexpr std::string_view tag = "set_group_shape_child_run_text";
  std::uint64_t slide_index = 0;
  std::uint64_t group_index = 0;
  std::uint64_t child_index = 0;
  std::uint64_t paragraph_index = 0;
  std::uint64_t run_index = 0;  // counted within the paragraph
  std::string replacement;
  friend bool operator==(const SetGroupShapeChildRunText&,
                         const SetGroupShapeChildRunText&) = default;
};

struct SetParagraphText {
  static constexpr std::string_view tag = "set_paragraph_text";
  std::uint64_t slide_index = 0;
  std::uint64_t shape_index = 0;
  std::uint64_t paragraph_index = 0;
  std::string replacement;
  friend bool operator==(const SetParagraphText&, const SetParagraphText&) = default;
};

// Run edits count runs over the `a:r` elements of the whole slide.
struct ReplaceTextRun {
  static constexpr std::string_view tag = "replace_text_run";
  std::uint64_t slide_index = 0;
  std::uint64_t run_index = 0;
  std::string replacement;
  friend bool operator==(const ReplaceTextRun&, const ReplaceTextRun&) = default;
};

struct SetTextRunBold {
  static constexpr std::string_view tag = "set_text_run_bold";
  std::uint64_t slide_index = 0;
  std::uint64_t run_index = 0;
  std::optional<bool> bold;
  friend bool operator==(const SetTextRunBold&, const SetTextRunBold&) = default;
};

struct SetTextRunItalic {
  static constexpr std::string_view tag = "set_text_run_italic";
  std::uint64_t slide_index = 0;
  std::uint64_t run_index = 0;
  std::optional<bool> italic;
  friend bool operator==(const SetTextRunItalic&, const SetTextRunItalic&) = default;
};

struct SetTextRunUnderline {
  static constexpr std::string_view tag = "set_text_run_underline";
  std::uint64_t slide_index = 0;
  std::uint64_t run_index = 0;
  std::optional<bool> underline;
  friend bool operator==(const SetTextRunUnderline&, const SetTextRunUnderline&) = default;
};

struct SetTextRunFontSize {
  static constexpr std::string_view tag = "set_text_run_font_size";
  std::uint64_t slide_index = 0;
  std::uint64_t run_index = 0;
  std::optional<std::int64_t> size;  // EMU
  friend bool operator==(const SetTextRunFontSize&, const SetTextRunFontSize&) = default;
};

struct SetTextRunFontName {
  static constexpr std::string_view tag = "set_text_run_font_name";
  std::uint64_t slide_index = 0;
  std::uint64_t run_index = 0;
  std::optional<std::string> name;
  friend bool operator==(const SetTextRunFontName&, const SetTextRunFontName&) = default;
};

struct SetTextRunFormatting {
  static constexpr std::string_view tag = "set_text_run_formatting";
  std::uint64_t slide_index = 0;
  std::uint64_t run_index = 0;
  bool set_bold = false;
  std::optional<bool> bold;
  bool set_italic = false;
  std::optional<bool> italic;
  bool set_underline = false;
  std::optional<bool> underline;
  bool set_size = false;
  std::optional<std::int64_t> size;  // EMU
  bool set_name = false;
  std::optional<std::string> name;
  bool set_color = false;
  std::optional<std::string> color;
  friend bool operator==(const SetTextRunFormatting&, const SetTextRunFormatting&) = default;
};

struct AppendParagraphText {
  static constexpr std::string_view tag = "append_paragraph_text";
  std::uint64_t slide_index = 0;
  std::uint64_t shape_index = 0;
  std::string text;
  friend bool operator==(const AppendParagraphText&, const AppendParagraphText&) = default;
};

struct AppendTextRun {
  static constexpr std::string_view tag = "append_text_run";
  std::uint64_t slide_index = 0;
  std::uint64_t shape_index = 0;
  std::uint64_t paragraph_index = 0;
  std::string text;
  friend bool operator==(const AppendTextRun&, const AppendTextRun&) = default;
};

struct InsertParagraphLineBreak {
  static constexpr std::string_view tag = "insert_paragraph_line_break";
  std::uint64_t slide_index = 0;
  std::uint64_t shape_index = 0;
  std::uint64_t paragraph_index = 0;
  std::uint64_t run_slot = 0;  // position among the paragraph's runs
  friend bool operator==(const InsertParagraphLineBreak&,
                         const InsertParagraphLineBreak&) = default;
};

struct SetParagraphProperties {
  static constexpr std::string_view tag = "set_paragraph_properties";
  std::uint64_t slide_index = 0;
  std::uint64_t shape_index = 0;
  std::uint64_t paragraph_index = 0;
  bool set_alignment = false;
  std::optional<std::string> alignment;
  bool set_level = false;
  std::uint64_t level = 0;  // always given, whatever `set_level` says
  ParagraphSpacingPatch spacing;
  friend bool operator==(const SetParagraphProperties&, const SetParagraphProperties&) = default;
};

struct SetParagraphFontProperties {
  static constexpr std::string_view tag = "set_paragraph_font_properties";
  std::uint64_t slide_index = 0;
  std::uint64_t shape_index = 0;
  std::uint64_t paragraph_index = 0;
  bool set_bold = false;
  std::optional<bool> bold;
  bool set_italic = false;
  std::optional<bool> italic;
  bool set_underline = false;
  std::optional<bool> underline;
  bool set_size = false;
  std::optional<std::int64_t> size;  // EMU
  bool set_name = false;
  std::optional<std::string> name;
  bool set_color = false;
  std::optional<std::string> color;
  bool set_fill_type = false;
  std::optional<std::string> fill_type;
  bool set_language = false;
  std::optional<std::string> language_id;
  friend bool operator==(const SetParagraphFontProperties&,
                         const SetParagraphFontProperties&) = default;
};

struct SetShapeGeometry {
  static constexpr std::string_view tag = "set_shape_geometry";
  std::uint64_t slide_index = 0;
  std::uint64_t shape_index = 0;
  std::int64_t x_emu = 0;
  std::int64_t y_emu = 0;
  std::int64_t cx_emu = 0;
  std::int64_t cy_emu = 0;
  friend bool operator==(const SetShapeGeometry&, const SetShapeGeometry&) = default;
};

struct SetGroupShapeChildGeometry {
  static constexpr std::string_view tag = "set_group_shape_child_geometry";
  std::uint64_t slide_index = 0;
  std::uint64_t group_index = 0;
  std::uint64_t child_index = 0;
  std::int64_t x_emu = 0;
  std::int64_t y_emu = 0;
  std::int64_t cx_emu = 0;
  std::int64_t cy_emu = 0;
  friend bool operator==(const SetGroupShapeChildGeometry&,
                         const SetGroupShapeChildGeometry&) = default;
};

struct SetTextFrameProperties {
  static constexpr std::string_view tag = "set_text_frame_properties";
  std::uint64_t slide_index = 0;
  std::uint64_t shape_index = 0;
  TextFramePropertiesPatch properties;
  friend bool operator==(const SetTextFrameProperties&, const SetTextFrameProperties&) = default;
};

struct ReplaceTableCellText {
  static constexpr std::string_view tag = "replace_table_cell_text";
  std::uint64_t slide_index = 0;
  std::uint64_t table_index = 0;
  std::uint64_t row_index = 0;
  std::uint64_t col_index = 0;
  std::string replacement;
  friend bool operator==(const ReplaceTableCellText&, const ReplaceTableCellText&) = default;
};

struct SetTableCellMerge {
  static constexpr std::string_view tag = "set_table_cell_merge";
  std::uint64_t slide_index = 0;
  std::uint64_t table_index = 0;
  std::uint64_t row_min = 0;
  std::uint64_t row_max = 0;
  std::uint64_t col_min = 0;
  std::uint64_t col_max = 0;
  std::string kind;                     // "merge" or "split"; checked by the batch
  std::vector<std::string> paragraphs;  // cell text, joined with line feeds by the batch
  friend bool operator==(const SetTableCellMerge&, const SetTableCellMerge&) = default;
};

struct SetTableStyleFlags {
  static constexpr std::string_view tag = "set_table_style_flags";
  std::uint64_t slide_index = 0;
  std::uint64_t table_index = 0;
  std::map<std::string, bool> flags;  // `a:tblPr` attribute name -> value, ascending byte order
  friend bool operator==(const SetTableStyleFlags&, const SetTableStyleFlags&) = default;
};

struct InsertTableRow {
  static constexpr std::string_view tag = "insert_table_row";
  std::uint64_t slide_index = 0;
  std::uint64_t table_index = 0;
  std::uint64_t row_index = 0;
  friend bool operator==(const InsertTableRow&, const InsertTableRow&) = default;
};

struct DeleteTableRow {
  static constexpr std::string_view tag = "delete_table_row";
  std::uint64_t slide_index = 0;
  std::uint64_t table_index = 0;
  std::uint64_t row_index = 0;
  friend bool operator==(const DeleteTableRow&, const DeleteTableRow&) = default;
};

struct InsertTableColumn {
  static constexpr std::string_view tag = "insert_table_column";
  std::uint64_t slide_index = 0;
  std::uint64_t table_index = 0;
  std::uint64_t col_index = 0;
  friend bool operator==(const InsertTableColumn&, const InsertTableColumn&) = default;
};

struct DeleteTableColumn {
  static constexpr std::string_view tag = "delete_table_column";
  std::uint64_t slide_index = 0;
  std::uint64_t table_index = 0;
  std::uint64_t col_index = 0;
  friend bool operator==(const DeleteTableColumn&, const DeleteTableColumn&) = default;
};

}  // namespace edit

// The alternatives stand in the order of the kinds, so `index()` is the kind's number.
using EditOperationVariant = std::variant<
    edit::ReorderSlides, edit::DeleteShape, edit::DeleteGroupShapeChild, edit::SetShapeText,
    edit::SetGroupShapeChildText, edit::SetGroupShapeChildParagraphText,
    edit::SetGroupShapeChildRunText, edit::SetParagraphText, edit::ReplaceTextRun,
    edit::SetTextRunBold, edit::SetTextRunItalic, edit::SetTextRunUnderline,
    edit::SetTextRunFontSize, edit::SetTextRunFontName, edit::SetTextRunFormatting,
    edit::AppendParagraphText, edit::AppendTextRun, edit::InsertParagraphLineBreak,
    edit::SetParagraphProperties, edit::SetParagraphFontProperties, edit::SetShapeGeometry,
    edit::SetGroupShapeChildGeometry, edit::SetTextFrameProperties, edit::ReplaceTableCellText,
    edit::SetTableCellMerge, edit::SetTableStyleFlags, edit::InsertTableRow, edit::DeleteTableRow,
    edit::InsertTableColumn, edit::DeleteTableColumn>;

// One edit of a batch. A variant (usable with std::visit, std::get_if, index()) that can be
// forward-declared.
struct EditOperation : EditOperationVariant {
  using EditOperationVariant::EditOperationVariant;
  using EditOperationVariant::operator=;

  const EditOperationVariant& variant() const { return *this; }
  // The kind's JSON tag, for example "delete_shape".
  std::string_view tag() const {
    return std::visit([](const auto& kind) { return std::remove_cvref_t<decltype(kind)>::tag; },
                      variant());
  }

  friend bool operator==(const EditOperation& a, const EditOperation& b) {
    return a.variant() == b.variant();
  }
};

// ---- Freeform paths ----

// One step of a freeform outline.
struct FreeformPathOperation {
  enum class Kind { MoveTo, LineTo, Close };
  Kind kind = Kind::Close;
  std::int64_t x = 0;  // MoveTo, LineTo
  std::int64_t y = 0;  // MoveTo, LineTo

  static FreeformPathOperation move_to(std::int64_t x, std::int64_t y) {
    return {Kind::MoveTo, x, y};
  }
  static FreeformPathOperation line_to(std::int64_t x, std::int64_t y) {
    return {Kind::LineTo, x, y};
  }
  static FreeformPathOperation close() { return {}; }

  friend bool operator==(const FreeformPathOperation&, const FreeformPathOperation&) = default;
};

// ---- Placeholders ----

// The four attributes of a placeholder's `p:ph` element; none means the attribute is absent.
struct PlaceholderShapeSpec {
  std::optional<std::string> placeholder_type;
  std::optional<std::string> placeholder_orient;
  std::optional<std::string> placeholder_size;
  std::optional<std::string> placeholder_idx;  // held as text

  friend bool operator==(const PlaceholderShapeSpec&, const PlaceholderShapeSpec&) = default;
};

// ---- Tuple forms ----

// [name, value] of `adjustment_guides_json`.
struct AdjustmentGuide {
  std::string name;
  std::int64_t value = 0;
  friend bool operator==(const AdjustmentGuide&, const AdjustmentGuide&) = default;
};

// [row, col, text] of `cell_texts_json`.
struct TableCellText {
  std::uint64_t row = 0;
  std::uint64_t col = 0;
  std::string text;
  friend bool operator==(const TableCellText&, const TableCellText&) = default;
};

// The value of a workbook cell update: a number kept as the caller's text, a string, or
// nothing (the cell is emptied).
struct WorkbookCellValue {
  enum class Kind { Number, String, Clear };
  Kind kind = Kind::Clear;
  std::string text;  // Number and String; empty for Clear

  static WorkbookCellValue number(std::string number_text) {
    return {Kind::Number, std::move(number_text)};
  }
  static WorkbookCellValue string(std::string value) { return {Kind::String, std::move(value)}; }
  static WorkbookCellValue clear() { return {}; }

  friend bool operator==(const WorkbookCellValue&, const WorkbookCellValue&) = default;
};

// One [reference, kind, value] triple of `cells_json`.
struct WorkbookCellUpdate {
  std::string reference;  // as the caller gave it
  WorkbookCellValue value;
  friend bool operator==(const WorkbookCellUpdate&, const WorkbookCellUpdate&) = default;
};

}  // namespace pelvane
