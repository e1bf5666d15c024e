#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tovik {

// The largest job either print command accepts: 4 MiB.
inline constexpr std::size_t kMaxPrintJobBytes = 4u * 1024u * 1024u;

// Decodes a job's bytes from standard Base64 with canonical padding, after
// trimming white space at both ends. Fails with CommandError: "bad print data: "
// and the reason, or "print job is empty or too large".
[[nodiscard]] std::vector<std::uint8_t> decode_print_data(std::string_view text);

}  // namespace tovik
