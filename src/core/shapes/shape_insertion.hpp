// Adding one shape fragment to one slide: the common frame of every shape-adding operation
// (auto shapes, text boxes, freeforms, connectors, groups) and the record it reports.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/models.hpp"
#include "core/package/slide_edit.hpp"
#include "core/pml/shape_tree.hpp"

namespace pelvane {

// Builds the family's fragment for the (first) shape id it is given.
using ShapeFragmentBuilder = std::function<Result<std::string>(std::uint64_t shape_id)>;

// The frame of every operation that adds one fragment to one slide. In order: create the
// output's parent directories, open the input, find the slide at `slide_index` in presentation
// order, read it, insert the fragment at the target with new ids (`insert_new_shape`: the
// fragment takes `fragment_ids` of them), and write the whole package with only that slide
// replaced. The edit's value is the fragment's last id: the shape asked for, not the new group
// around it. Checks that need no package are the caller's, before this is called; a failure
// before the write leaves no output file.
Result<Edited<std::uint64_t>> insert_shape_into_slide(std::string_view input,
                                                      std::string_view output,
                                                      std::uint64_t slide_index,
                                                      const InsertionTarget& target,
                                                      const ShapeFragmentBuilder& build_fragment,
                                                      std::uint64_t fragment_ids = 1);

// The record of a shape-adding operation: `record` (holding the family's own keys) with the
// shape id the insertion reports and the keys every record shares (`finish_record`).
template <class Record>
Record shape_record(std::string_view output, const Edited<std::uint64_t>& edited,
                    Record record = {}) {
  record.shape_id = edited.value;
  return finish_record(std::move(record), output, edited);
}

}  // namespace pelvane
