// How the text passes that address one paragraph of a shape find it: a shape cursor
// (pml/shape_cursor.hpp) and the paragraphs counted inside the addressed shape, fed with the
// slide's tags in order.
#pragma once

#include <cstdint>

#include "core/pml/shape_cursor.hpp"

namespace pelvane {

// Where the passes differ: whether a shape inside the addressed one (markup the schema does
// not allow) counts its paragraphs afresh, and whether self-closing paragraphs count.
struct ParagraphCounting {
  bool recount_in_inner_shape = true;
  bool self_closing_paragraphs = false;
};

class ParagraphCursor {
 public:
  ParagraphCursor(ShapeCursor shape, std::uint64_t paragraph_index, ParagraphCounting counting)
      : shape_(shape), paragraph_index_(paragraph_index), counting_(counting) {}

  // Every start and self-closing tag, in document order, before the pass acts on it; `name` is
  // its local name. True for a counted paragraph's tag, the addressed one or not (`addressed`
  // says); a start tag of the addressed paragraph puts the pass inside it.
  bool start(const XmlEvent& event, std::string_view name) {
    const ShapeStart shape = shape_.start(event, name);
    if (shape == ShapeStart::Addressed ||
        (counting_.recount_in_inner_shape && shape == ShapeStart::Inner)) {
      paragraphs_ = 0;
      return false;
    }
    if (!shape_.in_shape() || name != "p") return false;
    if (!event.is_start() && !counting_.self_closing_paragraphs) return false;
    addressed_ = paragraphs_++ == paragraph_index_;
    if (event.is_start()) in_paragraph_ = addressed_;
    return true;
  }
  bool start(const XmlEvent& event) { return event.is_tag() && start(event, event.local_name()); }

  // Every end tag, after the pass has written it. True when it closes the addressed paragraph.
  bool end(const XmlEvent& event) {
    if (!event.is_end()) return false;
    if (in_paragraph_ && event.local_name() == "p") {
      in_paragraph_ = false;
      return true;
    }
    shape_.end(event);
    return false;
  }

  // Inside the addressed paragraph (its start tag read, its end tag not yet).
  bool in_paragraph() const { return in_paragraph_; }
  // The last counted paragraph tag was the addressed one.
  bool addressed() const { return addressed_; }
  bool in_shape() const { return shape_.in_shape(); }
  // The paragraphs counted so far in the addressed shape.
  std::uint64_t paragraphs() const { return paragraphs_; }

 private:
  ShapeCursor shape_;
  std::uint64_t paragraph_index_;
  ParagraphCounting counting_;
  std::uint64_t paragraphs_ = 0;
  bool addressed_ = false;
  bool in_paragraph_ = false;
};

}  // namespace pelvane
