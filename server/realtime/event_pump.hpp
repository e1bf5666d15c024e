#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "realtime/hub.hpp"
#include "store/database.hpp"

namespace tovik::realtime {

// Moves events from the store to the hub. The store is the queue because the admin command and
// other server processes raise events too. Where the store announces committed events (a
// PostgreSQL feed) the pump follows the announcements; otherwise it polls the table, and the
// server's own writes wake it at once.
class EventPump {
 public:
  EventPump(store::Database& db, Hub& hub);
  ~EventPump();
  EventPump(const EventPump&) = delete;
  EventPump& operator=(const EventPump&) = delete;

  void wake();

 private:
  void run();
  std::size_t drain();
  void deliver(const std::vector<std::int64_t>& ids);
  void reopen_feed();
  bool stopping();
  store::Database& db_;
  Hub& hub_;
  std::unique_ptr<store::EventFeed> feed_;
  std::int64_t last_id_ = 0;
  std::mutex m_;
  std::condition_variable cv_;
  bool woken_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace tovik::realtime
