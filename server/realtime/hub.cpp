#include "realtime/hub.hpp"

#include <nlohmann/json.hpp>

namespace tovik::realtime {

void Hub::subscribe(const std::string& channel, const std::shared_ptr<Subscriber>& s) {
  std::lock_guard lock(m_);
  channels_[channel][s.get()] = s;
}

void Hub::unsubscribe(const std::string& channel, const Subscriber* s) {
  std::lock_guard lock(m_);
  const auto it = channels_.find(channel);
  if (it == channels_.end()) return;
  it->second.erase(s);
  if (it->second.empty()) channels_.erase(it);
}

void Hub::connected(const std::shared_ptr<Subscriber>& s) {
  std::lock_guard lock(m_);
  all_[s.get()] = s;
}

void Hub::disconnected(const Subscriber* s) {
  std::lock_guard lock(m_);
  all_.erase(s);
  for (auto it = channels_.begin(); it != channels_.end();) {
    it->second.erase(s);
    it = it->second.empty() ? channels_.erase(it) : std::next(it);
  }
}

std::size_t Hub::publish(const std::string& channel, const std::string& event, const std::string& data) {
  std::vector<std::shared_ptr<Subscriber>> targets;
  {
    std::lock_guard lock(m_);
    const auto it = channels_.find(channel);
    if (it == channels_.end()) return 0;
    for (const auto& [raw, weak] : it->second)
      if (auto s = weak.lock()) targets.push_back(std::move(s));
  }
  // The protocol carries event data as a JSON-encoded string.
  const auto frame = nlohmann::json({{"event", event}, {"channel", channel}, {"data", data}}).dump();
  for (const auto& s : targets) s->send(frame);
  return targets.size();
}

void Hub::close_all() {
  std::vector<std::shared_ptr<Subscriber>> targets;
  {
    std::lock_guard lock(m_);
    for (const auto& [raw, weak] : all_)
      if (auto s = weak.lock()) targets.push_back(std::move(s));
  }
  for (const auto& s : targets) s->close();
}

std::size_t Hub::connections() {
  std::lock_guard lock(m_);
  return all_.size();
}

}  // namespace tovik::realtime
