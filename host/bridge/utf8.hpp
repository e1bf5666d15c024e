#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tovik {

// U+FFFD REPLACEMENT CHARACTER in UTF-8.
inline constexpr std::string_view kUtf8Replacement = "\xEF\xBF\xBD";

// One step of a UTF-8 scan. A valid unit is one whole well-formed sequence; an
// invalid unit is the maximal ill-formed subpart at that position (at least one
// byte), which is what gets one U+FFFD when the text is repaired.
struct Utf8Unit {
    std::size_t length;
    bool valid;
};

[[nodiscard]] Utf8Unit next_utf8_unit(std::string_view text, std::size_t pos);

// The length in UTF-16 code units, or nullopt when the text is not valid UTF-8.
[[nodiscard]] std::optional<std::size_t> utf16_length(std::string_view text);

// Appends the text with every ill-formed subpart replaced by U+FFFD.
void append_repaired_utf8(std::string& out, std::string_view text);

}  // namespace tovik
