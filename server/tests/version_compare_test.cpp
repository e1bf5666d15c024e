#include <gtest/gtest.h>

#include "util/version_compare.hpp"

TEST(VersionCompareTest, AgreesWithTheClientsRule) {
  struct Case {
    const char* a;
    const char* b;
    bool older;
  };
  const Case cases[] = {
      {"1.43.0", "1.43", false},     {"1.43", "1.43.0", false},     {"1.9.9", "1.10.0", true},
      {"2.0.0-beta", "2.0.0", false}, {"1.43.0", "1.44.0", true},   {"1.44.0", "1.43.9", false},
      {"1.43.0", "1.43.0", false},   {"1.x.0", "1.9.0", false},     {"", "1.0.0", false},
      {"1.43.0.9", "1.43.1", true},  {"0.9", "1", true},
  };
  for (const auto& c : cases) EXPECT_EQ(tovik::util::is_older_version(c.a, c.b), c.older) << c.a << " vs " << c.b;
}
