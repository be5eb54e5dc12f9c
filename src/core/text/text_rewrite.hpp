// The text edits of one slide: streaming rewrites of the slide's XML, each
// `(xml, args...) -> Result<RewriteOutput>` (pml/slide_rewrite.hpp), the count being the number
// of changes. An index that addresses nothing is no error: the slide comes back re-serialised
// with a count of 0. Every caller text is checked for characters XML cannot hold before
// anything is written (InvalidInput). Malformed XML fails with the reader's error (Xml).
//
// Elements are recognised by local name, whatever their prefix. Shapes (`sp` start tags) count
// over the whole slide in document order, shapes inside groups included; paragraphs (`p`) count
// inside the addressed shape; runs (`r`, start and self-closing tags) count at any depth.
// Elements a rewrite creates carry the prefix `a:`, except a text element created inside an
// existing run, which takes the run's prefix.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/base/error.hpp"
#include "core/pml/shape_cursor.hpp"
#include "core/pml/slide_rewrite.hpp"

namespace pelvane {

// ---- Search and replace, run text ----

// Every occurrence of `search` inside the text pieces of `t` elements, counted left to right
// without overlap and replaced; a piece with a match is written escaped whole, a piece without
// one as it was read. A match never spans a reference ("&amp;" and the like are events of their
// own). The count is the number of occurrences; an empty search matches nothing. A piece that
// is not UTF-8: XmlTextDecode "cannot decode input using UTF-8: {description}".
Result<RewriteOutput> replace_text_nodes(std::string_view xml, std::string_view search,
                                         std::string_view replacement);

// The whole text of the `run_index`-th run, its properties kept (`write_replaced_run_body`; a
// self-closing run becomes a run holding the text). Count 1, or 0 when there is no such run.
Result<RewriteOutput> replace_text_run_at_index_in_slide(std::string_view xml,
                                                         std::uint64_t run_index,
                                                         std::string_view replacement);

// ---- Shape and paragraph text ----

// Every paragraph of the text body of the shape `shape` addresses (pml/shape_cursor.hpp)
// replaced by unformatted paragraphs, one per line feed (`rewrite_text_body_content`). The count is
// the number of paragraphs removed (at least 1), or 0 when the shape has no text body given as
// a start tag. The shape and group-child forms below address the shape for it.
Result<RewriteOutput> set_addressed_shape_text_in_slide(std::string_view xml, ShapeCursor shape,
                                                        std::string_view text);

// How the paragraph text rule below differs for a group's child: a shape inside the addressed
// one counts its paragraphs afresh, an empty text element (start and end tag) receives the text
// too (counting 1), and the index one past the last paragraph appends an unformatted paragraph at
// the end of the text body (counting 1).
struct ParagraphTextRules {
  bool recount_in_inner_shape = false;
  bool fill_empty_text = false;
  bool append_past_end = false;
};

// One paragraph (start tags only count) of the shape `shape` addresses keeps its properties,
// runs, breaks and fields; its first piece of character content inside a text element becomes
// the whole text and every later piece is removed. The count is the number of pieces replaced
// or removed, with what `rules` add. The shape and group-child forms below address the shape
// and choose the rules for it.
Result<RewriteOutput> set_addressed_paragraph_text_in_slide(std::string_view xml, ShapeCursor shape,
                                                            std::uint64_t paragraph_index,
                                                            std::string_view text,
                                                            ParagraphTextRules rules);

// Every paragraph of the shape's text body replaced by unformatted paragraphs, one per line feed
// (`rewrite_text_body_content`). The count is the number of paragraphs removed (at least 1), or
// 0 when the shape has no text body given as a start tag.
Result<RewriteOutput> set_shape_text_at_index_in_slide(std::string_view xml,
                                                       std::uint64_t shape_index,
                                                       std::string_view text);

// One paragraph (start tags only count) keeps its properties, runs, breaks and fields; its
// first piece of character content inside a text element becomes the whole text and every
// later piece is removed. The count is the number of pieces replaced or removed.
Result<RewriteOutput> set_shape_paragraph_text_at_index_in_slide(std::string_view xml,
                                                                 std::uint64_t shape_index,
                                                                 std::uint64_t paragraph_index,
                                                                 std::string_view text);

// ---- Text of a group's child ----
//
// Groups (`grpSp` start tags) count over the whole slide in document order, a group before the
// groups inside it; children are the `sp` start tags directly inside the addressed group.

// The child's whole text, as `set_shape_text_at_index_in_slide`.
Result<RewriteOutput> set_group_shape_child_text_in_slide(std::string_view xml,
                                                          std::uint64_t group_index,
                                                          std::uint64_t child_index,
                                                          std::string_view text);

// One paragraph's text as `set_shape_paragraph_text_at_index_in_slide`, except that an empty
// text element (start and end tag) receives the text too (counting 1), and that a
// `paragraph_index` equal to the number of paragraphs appends an unformatted paragraph at the end
// of the text body (counting 1).
Result<RewriteOutput> set_group_shape_child_paragraph_text_in_slide(std::string_view xml,
                                                                    std::uint64_t group_index,
                                                                    std::uint64_t child_index,
                                                                    std::uint64_t paragraph_index,
                                                                    std::string_view text);

// One run's text, as `replace_text_run_at_index_in_slide` with runs counted inside the
// paragraph; a `run_index` equal to the number of runs appends an unformatted run where the
// paragraph's runs end (before its end-of-paragraph properties). Count 1, or 0.
Result<RewriteOutput> set_group_shape_child_run_text_in_slide(
    std::string_view xml, std::uint64_t group_index, std::uint64_t child_index,
    std::uint64_t paragraph_index, std::uint64_t run_index, std::string_view text);

// ---- Appending ----

// An unformatted paragraph holding the whole text (line feeds included) after the last child of the
// shape's text body. Count 1, or 0 without a text body given as a start tag.
Result<RewriteOutput> append_shape_paragraph_text_in_slide(std::string_view xml,
                                                           std::uint64_t shape_index,
                                                           std::string_view text);

// An unformatted run holding the whole text where the paragraph's runs end: before its
// end-of-paragraph properties, else before its end tag. Paragraphs: start tags only count.
// Count 1, or 0.
Result<RewriteOutput> append_shape_text_run_in_slide(std::string_view xml,
                                                     std::uint64_t shape_index,
                                                     std::uint64_t paragraph_index,
                                                     std::string_view text);

// `<a:br/>` just before the run whose index is `run_slot`; `run_slot` equal to the number of
// runs puts it where the runs end (before the end-of-paragraph properties, else before the end
// tag). Paragraphs: start and self-closing tags count; a self-closing paragraph takes the break
// at slot 0 only. A larger slot in an existing paragraph: InvalidInput "run slot out of range".
// Count 1, or 0.
Result<RewriteOutput> insert_shape_paragraph_line_break_in_slide(std::string_view xml,
                                                                 std::uint64_t shape_index,
                                                                 std::uint64_t paragraph_index,
                                                                 std::uint64_t run_slot);

}  // namespace pelvane
