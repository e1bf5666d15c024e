#pragma once
#include <functional>
#include <string>
#include <vector>

#include "http/message.hpp"

namespace tovik::http {

using Handler = std::function<Response(Request&)>;

// Matches method and path against patterns whose segments may be "{name}" placeholders;
// a placeholder takes one whole segment. Unknown paths give 404, a known path with another
// method 405, both as JSON with a message; OPTIONS on a known path is a cross-origin
// preflight. Every reply allows cross-origin callers.
class Router {
 public:
  void add(std::string method, std::string pattern, Handler handler);
  [[nodiscard]] Response dispatch(Request& request) const;

 private:
  [[nodiscard]] Response route(Request& request) const;

  struct Route {
    std::string method;
    std::vector<std::string> segments;
    Handler handler;
  };
  std::vector<Route> routes_;
};

[[nodiscard]] std::vector<std::string> split_path(std::string_view path);

}  // namespace tovik::http
