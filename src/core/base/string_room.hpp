// Room in a string for bytes about to be written over, without clearing it first.
#pragma once

#include <cstddef>
#include <string>

namespace pelvane {

// Sets `text` to `size` bytes, those past its old size left as they are; the caller overwrites
// them before they are read, or cuts them off. The room is reserved first: when a string has to
// grow inside `resize_and_overwrite`, GCC 12's library sets it to the grown capacity instead of
// the size asked for.
inline void grow_unwritten(std::string& text, std::size_t size) {
  text.reserve(size);
  text.resize_and_overwrite(size, [](char*, std::size_t length) { return length; });
}

}  // namespace pelvane
