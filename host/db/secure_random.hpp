#pragma once
#include <cstddef>
#include <span>

namespace tovik {

// Fills the buffer from the operating system's secure random source; throws
// std::system_error when it is unavailable. Never falls back to anything weaker.
void fill_secure_random(std::span<std::byte> buffer);

}  // namespace tovik
