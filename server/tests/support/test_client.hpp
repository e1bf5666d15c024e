#pragma once
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace tovik::testing {

using nlohmann::json;

struct Reply {
  int status = 0;
  std::map<std::string, std::string> headers;  // lower-case names
  std::string body;
  [[nodiscard]] json json_body() const;
  [[nodiscard]] std::string header(const std::string& lower_name) const;
};

// A small HTTP client for 127.0.0.1 (one connection per request).
class HttpClient {
 public:
  explicit HttpClient(unsigned short port) : port_(port) {}
  Reply request(const std::string& method, const std::string& target, const std::string& body = {},
                const std::map<std::string, std::string>& headers = {}) const;
  // JSON calls under /mobile/v2 with the token (when set) and the client's identity headers.
  Reply api(const std::string& method, const std::string& path, const json& body = nullptr,
            std::map<std::string, std::string> headers = {}) const;

  std::string token;
  std::string app_version = "1.43.0";

 private:
  unsigned short port_;
};

// A WebSocket client for the realtime endpoint.
class WsClient {
 public:
  WsClient(unsigned short port, const std::string& target);
  ~WsClient();
  void send(const json& frame);
  // The next frame, or nothing when none arrives in time.
  std::optional<json> next(std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));
  // The next frame whose event is `event`, skipping others.
  std::optional<json> next_event(const std::string& event,
                                 std::chrono::milliseconds timeout = std::chrono::milliseconds(3000));

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tovik::testing
