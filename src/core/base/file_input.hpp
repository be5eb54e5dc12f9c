// Reading a whole input file that an operation takes by path (an image, a movie, an object).
#pragma once

#include <string>
#include <string_view>

#include "core/base/error.hpp"

namespace pelvane {

// The file's bytes, read whole. A path holding a NUL byte, a file that cannot be opened or read,
// and a directory are `Io` with the operating system's message.
Result<std::string> read_file_bytes(std::string_view path);

}  // namespace pelvane
