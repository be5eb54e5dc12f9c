// The failure of a JSON argument reader: the reader's message and where it stopped.
#pragma once

#include <cstdint>
#include <expected>
#include <string>

namespace pelvane {

struct JsonInputError {
  std::string message;     // the reader's message, without the position
  std::uint64_t line = 0;  // with `column`: where the reader stopped (when `has_position`)
  std::uint64_t column = 0;
  bool has_position = false;  // false only for "unsupported workbook cell kind: {0}"

  // The complete text the caller sees, for example
  // "missing field `shape_index` at line 1 column 41".
  std::string text() const;

  friend bool operator==(const JsonInputError&, const JsonInputError&) = default;
};

template <class T>
using JsonInputResult = std::expected<T, JsonInputError>;

}  // namespace pelvane
