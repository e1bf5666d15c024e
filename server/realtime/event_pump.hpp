#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "realtime/hub.hpp"
#include "store/database.hpp"

namespace tovik::realtime {

// Moves events from the store to the hub. The store is the queue because the admin command,
// a separate process, raises events too; the server's own writes wake the pump at once.
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
  store::Database& db_;
  Hub& hub_;
  std::int64_t last_id_ = 0;
  std::mutex m_;
  std::condition_variable cv_;
  bool woken_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace tovik::realtime
