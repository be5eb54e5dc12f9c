#include "core/json/json_error.hpp"

namespace pelvane {

std::string JsonInputError::text() const {
  if (!has_position) return message;
  return message + " at line " + std::to_string(line) + " column " + std::to_string(column);
}

}  // namespace pelvane
