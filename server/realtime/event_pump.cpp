#include "realtime/event_pump.hpp"

#include <algorithm>
#include <chrono>
#include <unordered_map>

#include "util/clock.hpp"
#include "util/log.hpp"

namespace tovik::realtime {

namespace {
// How often the store is read for events written by other processes.
constexpr auto kPollInterval = std::chrono::milliseconds(100);
}  // namespace

EventPump::EventPump(store::Database& db, Hub& hub) : db_(db), hub_(hub), feed_(db.listen_events()) {
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

bool EventPump::stopping() {
  std::lock_guard lock(m_);
  return stopping_;
}

void EventPump::run() {
  auto last_prune = util::unix_now();
  for (;;) {
    if (feed_) {
      if (stopping()) return;
    } else {
      std::unique_lock lock(m_);
      cv_.wait_for(lock, kPollInterval, [this] { return woken_ || stopping_; });
      if (stopping_) return;
      woken_ = false;
    }
    try {
      if (feed_) {
        deliver(feed_->wait(kPollInterval));
      } else {
        while (drain() > 0) {
        }
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
      if (feed_) reopen_feed();
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

void EventPump::deliver(const std::vector<std::int64_t>& ids) {
  if (ids.empty()) return;
  // Plain values, not structured bindings: clang before 16 cannot capture those.
  const auto range = std::minmax_element(ids.begin(), ids.end());
  const std::int64_t low = *range.first, high = *range.second;
  store::Rows rows;
  db_.read([&](store::Tx& tx) {
    rows = tx.query("SELECT id, channel, event, payload_json FROM events WHERE id >= $1 AND id <= $2", {low, high});
  });
  // Commit order, as announced; the range may hold events announced in another batch.
  std::unordered_map<std::int64_t, const store::Row*> by_id;
  for (const auto& r : rows) by_id.emplace(r.integer("id"), &r);
  for (const auto id : ids) {
    const auto it = by_id.find(id);
    if (it == by_id.end()) continue;
    const auto& r = *it->second;
    last_id_ = std::max(last_id_, id);
    hub_.publish("private-" + r.text("channel"), r.text("event"), r.text("payload_json"));
  }
}

void EventPump::reopen_feed() {
  while (!stopping()) {
    try {
      feed_ = db_.listen_events();
      // Events committed while the feed was down are read from the table: writers commit one
      // after the other, so ids above the last one delivered are exactly the ones missed.
      while (drain() > 0) {
      }
      return;
    } catch (const std::exception& e) {
      util::log_line({{"event", "realtime_feed_reconnect_failed"}, {"error", e.what()}});
      std::unique_lock lock(m_);
      cv_.wait_for(lock, std::chrono::seconds(1), [this] { return stopping_; });
    }
  }
}

}  // namespace tovik::realtime
