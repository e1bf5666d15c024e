#pragma once
// realtime/: the Pusher-protocol endpoint's channels and frames, and the events that feed it
// (rows of the store, written by api/, sync/ and admin/, fanned out by the pump).
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace tovik::realtime {

// A connected socket as the hub sees it.
class Subscriber {
 public:
  virtual ~Subscriber() = default;
  // Queues one text frame; safe from any thread.
  virtual void send(std::string text) = 0;
  // Closes the connection (server shutdown).
  virtual void close() = 0;
};

// Channels and their subscribers. Publishing copies the subscriber list under the lock and
// sends after releasing it, so a slow socket never holds up the others.
class Hub {
 public:
  void subscribe(const std::string& channel, const std::shared_ptr<Subscriber>& s);
  void unsubscribe(const std::string& channel, const Subscriber* s);
  void connected(const std::shared_ptr<Subscriber>& s);
  void disconnected(const Subscriber* s);
  // Sends the event to every subscriber of the channel; returns how many got it.
  std::size_t publish(const std::string& channel, const std::string& event, const std::string& data);
  void close_all();
  [[nodiscard]] std::size_t connections();

 private:
  std::mutex m_;
  std::map<std::string, std::map<const Subscriber*, std::weak_ptr<Subscriber>>> channels_;
  std::map<const Subscriber*, std::weak_ptr<Subscriber>> all_;
};

}  // namespace tovik::realtime
