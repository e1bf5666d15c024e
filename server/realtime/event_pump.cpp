#include "realtime/event_pump.hpp"

#include <chrono>

#include "util/clock.hpp"
#include "util/log.hpp"

namespace tovik::realtime {

namespace {
// How often the store is read for events written by other processes.
constexpr auto kPollInterval = std::chrono::milliseconds(100);
}  // namespace

EventPump::EventPump(store::Database& db, Hub& hub) : db_(db), hub_(hub) {
  // Events written before this start are history: nobody was listening for them.
  db_.read([&](store::Tx& tx) {
    last_id_ = tx.one("SELECT COALESCE(MAX(id), 0) AS id FROM events")->integer("id");
  });
  thread_ = std::thread([this] { run(); });
}

EventPump::~EventPump() {
  {
    std::lock_guard lock(m_);
    stopping_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

void EventPump::wake() {
  {
    std::lock_guard lock(m_);
    woken_ = true;
  }
  cv_.notify_all();
}

void EventPump::run() {
  auto last_prune = util::unix_now();
  for (;;) {
    {
      std::unique_lock lock(m_);
      cv_.wait_for(lock, kPollInterval, [this] { return woken_ || stopping_; });
      if (stopping_) return;
      woken_ = false;
    }
    try {
      while (drain() > 0) {
      }
      if (util::unix_now() - last_prune > 600) {
        last_prune = util::unix_now();
        db_.write([&](store::Tx& tx) {
          tx.exec("DELETE FROM events WHERE id <= $1 AND created_at < $2",
                  {last_id_, util::iso_from_unix(util::unix_now() - 3600)});
        });
      }
    } catch (const std::exception& e) {
      util::log_line({{"event", "realtime_pump_error"}, {"error", e.what()}});
    }
  }
}

std::size_t EventPump::drain() {
  store::Rows rows;
  db_.read([&](store::Tx& tx) {
    rows = tx.query("SELECT id, channel, event, payload_json FROM events WHERE id > $1 ORDER BY id LIMIT 500",
                    {last_id_});
  });
  for (const auto& r : rows) {
    last_id_ = r.integer("id");
    hub_.publish("private-" + r.text("channel"), r.text("event"), r.text("payload_json"));
  }
  return rows.size();
}

}  // namespace tovik::realtime
