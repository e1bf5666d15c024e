#include "printing/print_data.hpp"

#include <string>

#include "bridge/command_error.hpp"

namespace tovik {

namespace {

int sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_space(text.front())) text.remove_prefix(1);
    while (!text.empty() && is_space(text.back())) text.remove_suffix(1);
    return text;
}

[[noreturn]] void bad(const std::string& reason) { throw CommandError("bad print data: " + reason); }

}  // namespace

std::vector<std::uint8_t> decode_print_data(std::string_view text) {
    text = trim(text);
    if (text.size() % 4 != 0) bad("the length " + std::to_string(text.size()) + " is not a multiple of 4");
    const std::size_t padding = text.ends_with("==") ? 2 : text.ends_with('=') ? 1 : 0;
    const std::size_t decoded_size = text.size() / 4 * 3 - padding;
    if (decoded_size == 0 || decoded_size > kMaxPrintJobBytes) throw CommandError("print job is empty or too large");

    std::vector<std::uint8_t> out;
    out.reserve(decoded_size);
    const std::size_t body = text.size() - padding;
    std::uint32_t bits = 0;
    int bit_count = 0;
    for (std::size_t i = 0; i < body; ++i) {
        const int value = sextet(text[i]);
        if (value < 0) bad("invalid character at offset " + std::to_string(i));
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        bit_count += 6;
        if (bit_count >= 8) {
            bit_count -= 8;
            out.push_back(static_cast<std::uint8_t>(bits >> bit_count));
            bits &= (1u << bit_count) - 1;
        }
    }
    // Canonical form: the bits that padding leaves over must be zero.
    if (bits != 0) bad("non-canonical padding");
    return out;
}

}  // namespace tovik
