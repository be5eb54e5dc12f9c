#include <gtest/gtest.h>

#include "core/base/error.hpp"

namespace pelvane {
namespace {

TEST(PelvaneError, RendersItsPrefixFollowedByTheMessageOnly) {
  struct Case {
    PelvaneError error;
    const char* text;
  };
  const Case cases[] = {
      {PelvaneError::io("No such file or directory"), "io error: No such file or directory"},
      {PelvaneError::zip("Not a zip archive"), "zip error: Not a zip archive"},
      {PelvaneError::xml("ill-formed document"), "xml error: ill-formed document"},
      {PelvaneError::xml_text_decode("expected closing marker </p:spTree>"),
       "xml text decode error: expected closing marker </p:spTree>"},
      {PelvaneError::invalid_input("slide index 7 was not found"),
       "invalid input: slide index 7 was not found"},
      {PelvaneError::invalid_input(""), "invalid input: "},
      {PelvaneError::xml_text_decode(""), "xml text decode error: "},
      {PelvaneError::invalid_input("a \"quoted\" <tag>\nline"),
       "invalid input: a \"quoted\" <tag>\nline"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.error.to_string(), c.text);
}

TEST(PelvaneError, TryMacrosPassTheFirstFailureUp) {
  int reached = 0;
  auto step = [&](bool ok) -> Result<int> {
    ++reached;
    if (!ok) return fail(PelvaneError::zip("step failed"));
    return reached;
  };
  auto run = [&](bool first, bool second) -> Result<int> {
    const int a = PELVANE_TRY(step(first));
    const int b = PELVANE_TRY(step(second));
    return a + b;
  };
  EXPECT_EQ(run(true, true), 3);
  reached = 0;
  const auto failed = run(false, true);
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error(), PelvaneError::zip("step failed"));
  EXPECT_EQ(reached, 1);
}

}  // namespace
}  // namespace pelvane
