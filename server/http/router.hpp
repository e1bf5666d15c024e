#pragma once
#include <functional>
#include <string>
#include <vector>

#include "http/message.hpp"

namespace tovik::http {

using Handler = std::function<Response(Request&)>;

// Heavy handlers (password hashing) run on a small pool of their own, so that a flood of them
// queues there instead of taking the threads every other request needs.
enum class Cost { light, heavy };

// Matches method and path against patterns whose segments may be "{name}" placeholders;
// a placeholder takes one whole segment. Unknown paths give 404, a known path with another
// method 405, both as JSON with a message; OPTIONS on a known path is a cross-origin
// preflight. Every reply allows cross-origin callers.
class Router {
 public:
  void add(std::string method, std::string pattern, Handler handler, Cost cost = Cost::light);
  [[nodiscard]] Response dispatch(Request& request) const;
  [[nodiscard]] Cost cost(const Request& request) const;

 private:
  [[nodiscard]] Response route(Request& request) const;

  struct Route {
    std::string method;
    std::vector<std::string> segments;
    Handler handler;
    Cost cost;
  };
  // Whether the route's pattern matches the path's segments; fills params when given.
  [[nodiscard]] static bool matches(const Route& route, const std::vector<std::string>& segments,
                                    std::map<std::string, std::string>* params);
  std::vector<Route> routes_;
};

[[nodiscard]] std::vector<std::string> split_path(std::string_view path);

}  // namespace tovik::http
