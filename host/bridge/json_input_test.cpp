#include <string>

#include <gtest/gtest.h>

#include "bridge/command_error.hpp"
#include "bridge/json_input.hpp"

namespace tovik {
namespace {

std::string nested(std::size_t depth, char open, char close) {
    return std::string(depth, open) + std::string(depth, close);
}

TEST(PageJson, DepthIsLimitedWhileParsing) {
    EXPECT_EQ(parse_page_json(nested(kMaxJsonDepth, '[', ']')).dump(), nested(kMaxJsonDepth, '[', ']'));
    const std::string too_deep[] = {
        nested(kMaxJsonDepth + 1, '[', ']'),
        nested(300000, '[', ']'),
        std::string(300000, '['),  // never closed: refused at the limit, not at the end
        R"({"params":)" + nested(100000, '[', ']') + "}",
    };
    for (const auto& text : too_deep) {
        try {
            (void)parse_page_json(text);
            ADD_FAILURE() << "accepted " << text.size() << " bytes";
        } catch (const CommandError& e) {
            EXPECT_STREQ(e.what(), "JSON nested deeper than 64 levels");
        }
    }
    std::string objects;
    for (std::size_t i = 0; i < kMaxJsonDepth + 1; ++i) objects += R"({"a":)";
    objects += "1" + std::string(kMaxJsonDepth + 1, '}');
    EXPECT_THROW((void)parse_page_json(objects), CommandError);
}

TEST(PageJson, EveryDecodingFailureIsACommandError) {
    const std::pair<std::string, std::string> cases[] = {
        {R"({"params":[1e400]})", "number overflow"},
        {"-1e999", "number overflow"},
        {"{not json", "parse error"},
        {"", "parse error"},
        {"[1,]", "parse error"},
        {"\"\xff\"", "parse error"},
        {"[1] [2]", "parse error"},
    };
    for (const auto& [text, reason] : cases) {
        try {
            (void)parse_page_json(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const CommandError& e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << text << ": " << e.what();
        }
    }
    EXPECT_EQ(parse_page_json(R"({"sql":"SELECT ?","params":[18446744073709551616, 1.5, "x"]})")["params"].size(), 3u);
}

}  // namespace
}  // namespace tovik
