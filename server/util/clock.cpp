#include "util/clock.hpp"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace tovik::util {

std::int64_t unix_now() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

static std::string format_utc(std::time_t t, int millis) {
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
  return buf;
}

std::string iso_now() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count();
  return format_utc(static_cast<std::time_t>(ms / 1000), static_cast<int>(ms % 1000));
}

std::string iso_from_unix(std::int64_t seconds) {
  return format_utc(static_cast<std::time_t>(seconds), 0);
}

std::string utc_date() { return iso_now().substr(0, 10); }

}  // namespace tovik::util
