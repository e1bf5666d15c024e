#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "bridge/utf8.hpp"

namespace tovik {
namespace {

TEST(Utf8, RepairReplacesEachMaximalSubpart) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},
        {"a\xFF" "b", "a\uFFFDb"},
        {"\xE2\x82", "\uFFFD"},                        // truncated sequence: one replacement
        {"\xE2\x82(", "\uFFFD("},
        {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},        // a surrogate is never valid
        {"\xC0\xAF", "\uFFFD\uFFFD"},                  // overlong
        {"\xF4\x90\x80\x80", "\uFFFD\uFFFD\uFFFD\uFFFD"},  // above U+10FFFF
        {"\xF0\x9F\x94\x91", "\xF0\x9F\x94\x91"},
    };
    for (const auto& [input, expected] : cases) {
        std::string out;
        append_repaired_utf8(out, input);
        EXPECT_EQ(out, expected) << ::testing::PrintToString(input);
        EXPECT_EQ(utf16_length(input).has_value(), input == expected);
    }
}

}  // namespace
}  // namespace tovik
