#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace tovik::api {

// Counts attempts per key (an account, an address) over a sliding window, in memory. Keys
// whose attempts have all aged are dropped once many keys are held, so a flood of distinct
// keys cannot grow it without bound.
class AttemptWindow {
 public:
  AttemptWindow(std::size_t limit, std::int64_t window_seconds) : limit_(limit), window_(window_seconds) {}

  // Whether the key has used up its attempts.
  [[nodiscard]] bool exhausted(const std::string& key);
  void add(const std::string& key);
  void clear(const std::string& key);

 private:
  std::deque<std::int64_t>& recent(const std::string& key, std::int64_t now);
  void sweep(std::int64_t now);

  std::size_t limit_;
  std::int64_t window_;
  std::mutex m_;
  std::map<std::string, std::deque<std::int64_t>> attempts_;
};

}  // namespace tovik::api
