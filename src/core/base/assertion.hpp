// Assertions of facts that a fast road takes on trust from other files: checked in debug and
// sanitizer builds (`PELVANE_CHECKED`), where one that breaks stops the process, and so fails
// the test that meets it instead of letting a silent fault be written; left out of release
// builds, which do not evaluate the condition.
#pragma once

#ifdef PELVANE_CHECKED
#include <cstdio>
#include <cstdlib>

#define PELVANE_ASSERT(condition)                                                       \
  do {                                                                                  \
    if (!(condition)) {                                                                 \
      std::fprintf(stderr, "%s:%d: assumption does not hold: %s\n", __FILE__, __LINE__, \
                   #condition);                                                         \
      std::abort();                                                                     \
    }                                                                                   \
  } while (false)
#else
#define PELVANE_ASSERT(condition) static_cast<void>(0)
#endif
