#include "util/log.hpp"

#include <cstdio>
#include <mutex>

#include "util/clock.hpp"

namespace tovik::util {

void log_line(nlohmann::json fields) {
  static std::mutex m;
  nlohmann::json line = {{"ts", iso_now()}};
  line.update(fields);
  const auto text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  std::lock_guard lock(m);
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
}

}  // namespace tovik::util
