#include "bridge/json_text.hpp"

#include <charconv>

#include "bridge/utf8.hpp"

namespace tovik {

namespace {

void append_escape(std::string& out, unsigned char byte) {
    switch (byte) {
        case '"': out += "\\\""; return;
        case '\\': out += "\\\\"; return;
        case '\b': out += "\\b"; return;
        case '\f': out += "\\f"; return;
        case '\n': out += "\\n"; return;
        case '\r': out += "\\r"; return;
        case '\t': out += "\\t"; return;
        default: {
            static constexpr char hex[] = "0123456789abcdef";
            const char escaped[] = {'\\', 'u', '0', '0', hex[byte >> 4], hex[byte & 0xF]};
            out.append(escaped, sizeof escaped);
        }
    }
}

}  // namespace

void append_json_string(std::string& out, std::string_view text) {
    out += '"';
    // Plain runs are copied in one piece; most text is one run.
    std::size_t run_start = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const auto byte = static_cast<unsigned char>(text[pos]);
        if (byte >= 0x20 && byte < 0x80 && byte != '"' && byte != '\\') {
            ++pos;
            continue;
        }
        if (byte >= 0x80) {
            const Utf8Unit unit = next_utf8_unit(text, pos);
            if (unit.valid) {
                pos += unit.length;
                continue;
            }
            out.append(text.substr(run_start, pos - run_start));
            out.append(kUtf8Replacement);
            pos += unit.length;
        } else {
            out.append(text.substr(run_start, pos - run_start));
            append_escape(out, byte);
            ++pos;
        }
        run_start = pos;
    }
    out.append(text.substr(run_start));
    out += '"';
}

void append_json_double(std::string& out, double value) {
    char buffer[32];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
    const std::string_view written(buffer, static_cast<std::size_t>(end - buffer));
    out.append(written);
    if (written.find_first_of(".e") == std::string_view::npos) out += ".0";
}

}  // namespace tovik
