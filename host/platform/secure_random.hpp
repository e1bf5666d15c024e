#pragma once
#include <span>

namespace tovik {

// Fills `out` from the operating system's cryptographically secure source.
// Throws std::runtime_error with the system's message when it cannot.
void fill_secure_random(std::span<unsigned char> out);

}  // namespace tovik
