// Table-driven checks of a slide rewrite: literal XML in, the whole output and the count out.
#pragma once

#include <cstdint>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <string_view>
#include <vector>

#include "core/pml/slide_rewrite.hpp"

namespace pelvane {

using Rewrite = std::function<Result<RewriteOutput>(std::string_view xml)>;

struct RewriteCase {
  const char* what;
  std::string xml;
  Rewrite rewrite;
  std::string expected;  // the whole output
  std::uint64_t count;
};

inline void expect_rewrite_cases(const std::vector<RewriteCase>& cases) {
  for (const RewriteCase& c : cases) {
    const auto out = c.rewrite(c.xml);
    ASSERT_TRUE(out) << c.what << ": " << out.error().to_string();
    EXPECT_EQ(out->bytes, c.expected) << c.what;
    EXPECT_EQ(out->count, c.count) << c.what;
  }
}

}  // namespace pelvane
