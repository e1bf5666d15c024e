#pragma once
// Private to net/: how many connections each remote address holds.
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace tovik::net {

class ConnectionSlots : public std::enable_shared_from_this<ConnectionSlots> {
 public:
  explicit ConnectionSlots(std::size_t per_address) : per_address_(per_address) {}

  // Held by a connection for its whole life, HTTP and WebSocket alike.
  class Slot {
   public:
    Slot(std::shared_ptr<ConnectionSlots> owner, std::string address)
        : owner_(std::move(owner)), address_(std::move(address)) {}
    ~Slot() { owner_->release(address_); }
    Slot(const Slot&) = delete;
    Slot& operator=(const Slot&) = delete;

   private:
    std::shared_ptr<ConnectionSlots> owner_;
    std::string address_;
  };

  // A slot for one more connection from the address, or null when it holds its share.
  [[nodiscard]] std::shared_ptr<Slot> take(const std::string& address) {
    std::lock_guard lock(m_);
    auto& n = held_[address];
    if (n >= per_address_) return nullptr;
    ++n;
    return std::make_shared<Slot>(shared_from_this(), address);
  }

 private:
  void release(const std::string& address) {
    std::lock_guard lock(m_);
    const auto it = held_.find(address);
    if (it != held_.end() && --it->second == 0) held_.erase(it);
  }

  std::size_t per_address_;
  std::mutex m_;
  std::map<std::string, std::size_t> held_;
};

}  // namespace tovik::net
