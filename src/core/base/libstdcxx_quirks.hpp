// Read ahead of every source in clang builds (CMakeLists.txt: `-include`), never included.
// libstdc++ 12's stable sorts call the library's own std::get_temporary_buffer, which it marks
// deprecated, and clang reports that call, inside the library header, against each of our
// sorts. Reading that one header first under this pragma turns the warning off there alone.
#pragma once

#if defined(__clang__) && __has_include(<bits/stl_tempbuf.h>)
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
#include <bits/stl_tempbuf.h>
#pragma clang diagnostic pop
#endif
