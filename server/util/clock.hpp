#pragma once
#include <cstdint>
#include <string>

namespace tovik::util {

// Seconds since the Unix epoch.
[[nodiscard]] std::int64_t unix_now();

// ISO-8601 UTC text with milliseconds, e.g. 2025-03-01T09:30:00.123Z.
[[nodiscard]] std::string iso_now();
[[nodiscard]] std::string iso_from_unix(std::int64_t seconds);

// The first 10 characters of iso_now(): the UTC calendar date.
[[nodiscard]] std::string utc_date();

}  // namespace tovik::util
