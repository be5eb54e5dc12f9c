// The formatting edits of one slide: character properties of runs, properties and default
// character properties of paragraphs, and text-frame properties. Each is a
// streaming rewrite `(xml, args...) -> Result<RewriteOutput>` (pml/slide_rewrite.hpp) whose
// count is the number of changes requested and made; an index that addresses nothing is no
// error: the slide comes back re-serialised with a count of 0. Values are written as given,
// not judged (a size of 0, a negative spacing, any alignment or colour text), except that
// every caller text written into an attribute is checked before the pass: InvalidInput "text
// contains a character that XML cannot hold: U+XXXX". Malformed XML fails with the reader's
// error (Xml).
//
// Elements are recognised by local name, whatever their prefix; the elements created carry the
// prefix `a:`. A new child of an element that the schema orders goes to its schema place
// (xml/xml_child_order.hpp).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <utility>

#include "core/base/error.hpp"
#include "core/model/input_models.hpp"
#include "core/pml/slide_rewrite.hpp"
#include "core/text/character_properties.hpp"

namespace pelvane {

// ---- Runs ----
//
// Runs are the start tags named `r` over the whole slide in document order (shapes, groups,
// table cells); a self-closing run is not counted, nor a run inside the addressed one. The
// run's first child element decides: an `rPr` is changed in place, anything else gets a new
// `a:rPr` before it, and a run without children gets one before its end tag.

// Sets (`value`) or removes (none) the attribute `attribute` ("b", "i", "u" or "sz") of one
// run's properties. A self-closing `rPr` stays self-closing. Count 1, or 0 without such a run.
Result<RewriteOutput> set_text_run_optional_attribute_at_index_in_slide(
    std::string_view xml, std::uint64_t run_index, std::string_view attribute,
    std::optional<std::string_view> value);

// `u`: "sng" for true, "none" for false, removed for none.
Result<RewriteOutput> set_text_run_underline_at_index_in_slide(std::string_view xml,
                                                               std::uint64_t run_index,
                                                               std::optional<bool> underline);

// The run's Latin font: every old `latin` of its properties goes, and a name writes
// `<a:latin typeface="name"/>` at its schema place. Count 1, or 0.
Result<RewriteOutput> set_text_run_font_name_at_index_in_slide(
    std::string_view xml, std::uint64_t run_index, std::optional<std::string_view> name);

// Character formatting of one run, each property left alone, removed or set. Texts are
// borrowed from the edit operation.
struct TextRunFormattingPatch {
  PropertyChange<bool> bold;               // b: "1" / "0"
  PropertyChange<bool> italic;             // i: "1" / "0"
  PropertyChange<bool> underline;          // u: "sng" / "none"
  PropertyChange<std::int64_t> size;       // sz, from EMU (font_size_value)
  PropertyChange<std::string_view> name;   // <a:latin typeface="name"/>
  PropertyChange<std::string_view> color;  // <a:solidFill><a:srgbClr val="color"/>...

  static TextRunFormattingPatch from(const edit::SetTextRunFormatting& operation);
  // The properties set (removed or given a value), 0 to 6.
  std::uint64_t change_count() const;
  // Every property that `later` sets replaces this one's.
  void merge(const TextRunFormattingPatch& later);

  friend bool operator==(const TextRunFormattingPatch&, const TextRunFormattingPatch&) = default;
};

// Many runs in one pass: the patches of one run index are merged in list order, and each run
// with a patch has its properties rewritten (`b`, `i`, `u`, `sz` in place or appended in this
// order; the run's own fills go when the colour is set and every `latin` when the name is;
// the new fill and font at their schema places). A run counts its patch's `change_count`.
Result<RewriteOutput> set_text_run_formatting_batch_in_slide(
    std::string_view xml, std::span<const std::pair<std::uint64_t, TextRunFormattingPatch>> runs);

// ---- Paragraphs ----
//
// Shapes are the start tags named `sp` over the whole slide in document order (shapes inside
// groups included); paragraphs are the start tags named `p` inside the addressed shape. The
// paragraph's properties are its direct child `pPr`; one inside a field is the field's own and
// is copied unchanged. A paragraph without one gets a new `a:pPr` before its first child
// element, or before its end tag when it has none.

// Alignment (`algn`: set, removed or left alone), level (`lvl`, with `set_level`: 0 removes it)
// and the three spacings (`a:lnSpc`, `a:spcBef`, `a:spcAft`: EMU as hundredths of a point in
// `a:spcPts`, a multiple as thousandths of a percent in `a:spcPct`, both rounded half away from
// zero and held to the signed 64-bit range; a cleared or replaced spacing's old element goes).
// The count is the number of changes requested (alignment, level, each spacing given) for the
// paragraph, or 0 when it is not found.
Result<RewriteOutput> set_shape_paragraph_properties_in_slide(
    std::string_view xml, std::uint64_t shape_index, std::uint64_t paragraph_index,
    const PropertyChange<std::string_view>& alignment, bool set_level, std::uint64_t level,
    const ParagraphSpacingPatch& spacing);

// The default character formatting of one paragraph (`a:defRPr` in its `a:pPr`). Texts are
// borrowed from the edit operation.
struct ParagraphFontPatch {
  PropertyChange<bool> bold;                   // b
  PropertyChange<bool> italic;                 // i
  PropertyChange<bool> underline;              // u: "sng" / "none"
  PropertyChange<std::int64_t> size;           // sz, from EMU
  PropertyChange<std::string_view> name;       // <a:latin typeface="name"/>
  PropertyChange<std::string_view> color;      // <a:solidFill><a:srgbClr val="color"/>...
  PropertyChange<std::string_view> fill_type;  // "solid": <a:solidFill/>, "background": <a:noFill/>
  PropertyChange<std::string_view> language;   // lang

  static ParagraphFontPatch from(const edit::SetParagraphFontProperties& operation);
  // The fields set, 0 to 8.
  std::uint64_t change_count() const;
  // `b`, `i`, `u`, `sz`, `lang`, for the fields set.
  AttributeChanges attribute_replacements() const;

  friend bool operator==(const ParagraphFontPatch&, const ParagraphFontPatch&) = default;
};

// Attributes changed in place or appended; the paragraph's own fills go when the colour or the
// fill kind is set (the colour wins over the kind) and every `latin` when the name is. A
// paragraph without properties gets `<a:pPr>` holding the new `a:defRPr`; properties without
// one get it at its schema place. The count is `change_count` for the paragraph, or 0.
Result<RewriteOutput> set_shape_paragraph_font_properties_in_slide(std::string_view xml,
                                                                   std::uint64_t shape_index,
                                                                   std::uint64_t paragraph_index,
                                                                   const ParagraphFontPatch& patch);

// ---- Text frame ----

// The insets, wrapping, anchoring and auto-fit of one shape's text body (`sp` start tags count
// as for paragraphs). The patch is checked first, margin keys in key order:
// InvalidInput "unsupported text frame margin attribute: {0}", "unsupported text frame word
// wrap value: {0}", "unsupported text frame vertical anchor value: {0}", "unsupported text
// frame auto-size value: {0}". A patch that changes nothing returns the input bytes unread.
// The body's first child `bodyPr` is changed in place (margins, `wrap`, `anchor`; an auto-fit
// change drops every old auto-fit element and writes the new one at its schema place), or a new
// `a:bodyPr` goes before the first child (before the end tag of an empty body). The count is
// the number of changes requested, or 0 when the shape has no text body given as a start tag.
Result<RewriteOutput> set_text_frame_properties_in_slide(std::string_view xml,
                                                         std::uint64_t shape_index,
                                                         const TextFramePropertiesPatch& patch);

}  // namespace pelvane
