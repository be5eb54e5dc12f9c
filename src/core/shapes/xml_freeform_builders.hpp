// Freeform shapes: a shape with a custom geometry of one path drawn by move, line and close
// steps, styled like an auto shape.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/base/error.hpp"
#include "core/model/input_models.hpp"
#include "core/pml/xml_builders.hpp"

namespace pelvane {

// Every number of a freeform is signed and written with its sign: offsets, sizes (a negative
// size is written as given), the path frame and the path's points.
struct FreeformArgs {
  SignedEmuBox box;
  std::int64_t path_w = 0;
  std::int64_t path_h = 0;
  // In list order; need not begin with a move, and a close may stand anywhere.
  std::span<const FreeformPathOperation> operations;
  // Absent: one centred empty paragraph. Present (even empty): one paragraph per line.
  std::optional<std::string_view> text;
};

// The `p:sp` fragment named "Freeform {id - 1}". Fails with "freeform shape requires at least
// one path operation" for an empty list, or when the text holds a character XML cannot carry.
Result<std::string> freeform_shape_xml(std::uint64_t shape_id, const FreeformArgs& args);

}  // namespace pelvane
