#include "bridge/utf8.hpp"

namespace tovik {

namespace {

// The allowed range of the second byte after a lead byte (Unicode table 3-7);
// later continuation bytes are always 80..BF.
struct LeadRule {
    std::size_t length;
    unsigned char second_min;
    unsigned char second_max;
};

std::optional<LeadRule> lead_rule(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return LeadRule{2, 0x80, 0xBF};
    if (lead == 0xE0) return LeadRule{3, 0xA0, 0xBF};
    if (lead == 0xED) return LeadRule{3, 0x80, 0x9F};  // no surrogates
    if (lead >= 0xE1 && lead <= 0xEF) return LeadRule{3, 0x80, 0xBF};
    if (lead == 0xF0) return LeadRule{4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3) return LeadRule{4, 0x80, 0xBF};
    if (lead == 0xF4) return LeadRule{4, 0x80, 0x8F};  // nothing above U+10FFFF
    return std::nullopt;
}

}  // namespace

Utf8Unit next_utf8_unit(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) return {1, true};
    const auto rule = lead_rule(lead);
    if (!rule) return {1, false};
    std::size_t i = 1;
    for (; i < rule->length; ++i) {
        if (pos + i >= text.size()) return {i, false};
        const auto byte = static_cast<unsigned char>(text[pos + i]);
        const unsigned char min = i == 1 ? rule->second_min : 0x80;
        const unsigned char max = i == 1 ? rule->second_max : 0xBF;
        if (byte < min || byte > max) return {i, false};
    }
    return {i, true};
}

std::optional<std::size_t> utf16_length(std::string_view text) {
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const Utf8Unit unit = next_utf8_unit(text, pos);
        if (!unit.valid) return std::nullopt;
        units += unit.length == 4 ? 2 : 1;  // beyond the BMP: a surrogate pair
        pos += unit.length;
    }
    return units;
}

void append_repaired_utf8(std::string& out, std::string_view text) {
    // Runs of valid text are copied in one piece; almost all text is one run.
    std::size_t run_start = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (static_cast<unsigned char>(text[pos]) < 0x80) {
            ++pos;
            continue;
        }
        const Utf8Unit unit = next_utf8_unit(text, pos);
        if (unit.valid) {
            pos += unit.length;
            continue;
        }
        out.append(text.substr(run_start, pos - run_start));
        out.append(kUtf8Replacement);
        pos += unit.length;
        run_start = pos;
    }
    out.append(text.substr(run_start));
}

}  // namespace tovik
