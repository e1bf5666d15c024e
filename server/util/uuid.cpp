#include "util/uuid.hpp"

#include <chrono>

#include "util/crypto.hpp"

namespace tovik::util {

std::string new_uuid() {
  auto b = random_bytes(16);
  const auto ms = static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                 std::chrono::system_clock::now().time_since_epoch())
                                                 .count());
  for (int i = 0; i < 6; ++i) b[static_cast<std::size_t>(i)] = static_cast<char>((ms >> (40 - 8 * i)) & 0xff);
  b[6] = static_cast<char>((b[6] & 0x0f) | 0x70);
  b[8] = static_cast<char>((b[8] & 0x3f) | 0x80);
  const auto hex = hex_encode(b);
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" + hex.substr(16, 4) + "-" +
         hex.substr(20);
}

}  // namespace tovik::util
