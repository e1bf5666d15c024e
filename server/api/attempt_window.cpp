#include "api/attempt_window.hpp"

#include "util/clock.hpp"

namespace tovik::api {

namespace {
constexpr std::size_t kSweepAbove = 10000;
}  // namespace

bool AttemptWindow::exhausted(const std::string& key) {
  std::lock_guard lock(m_);
  const auto it = attempts_.find(key);
  if (it == attempts_.end()) return false;
  return recent(key, util::unix_now()).size() >= limit_;
}

void AttemptWindow::add(const std::string& key) {
  std::lock_guard lock(m_);
  const auto now = util::unix_now();
  if (attempts_.size() >= kSweepAbove) sweep(now);
  auto& q = recent(key, now);
  q.push_back(now);
  // Only the newest `limit_` attempts decide anything.
  while (q.size() > limit_) q.pop_front();
}

void AttemptWindow::clear(const std::string& key) {
  std::lock_guard lock(m_);
  attempts_.erase(key);
}

std::deque<std::int64_t>& AttemptWindow::recent(const std::string& key, std::int64_t now) {
  auto& q = attempts_[key];
  while (!q.empty() && q.front() <= now - window_) q.pop_front();
  return q;
}

void AttemptWindow::sweep(std::int64_t now) {
  std::erase_if(attempts_, [&](const auto& entry) { return entry.second.empty() || entry.second.back() <= now - window_; });
}

}  // namespace tovik::api
