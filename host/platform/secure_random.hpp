#pragma once
#include <cstddef>
#include <span>
#include <string>

namespace tovik {

// Fills `out` from the operating system's cryptographically secure source.
// Throws std::runtime_error with the system's message when it cannot.
void fill_secure_random(std::span<unsigned char> out);

// `bytes` secure random bytes as lowercase hexadecimal, two digits a byte.
[[nodiscard]] std::string secure_random_hex(std::size_t bytes);

}  // namespace tovik
