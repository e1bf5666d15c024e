#include "http/router.hpp"

#include <stdexcept>

namespace tovik::http {

std::vector<std::string> split_path(std::string_view path) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < path.size()) {
    auto end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) out.push_back(url_decode(path.substr(start, end - start), false));
    start = end + 1;
  }
  return out;
}

void Router::add(std::string method, std::string pattern, Handler handler, Cost cost) {
  auto segments = split_path(pattern);
  for (const auto& r : routes_)
    if (r.method == method && r.segments == segments)
      throw std::logic_error("route registered twice: " + method + " " + pattern);
  routes_.push_back({std::move(method), std::move(segments), std::move(handler), cost});
}

namespace {

// The client runs in a web view whose origin is its own (a private scheme, or
// a loopback port in serve mode), so every reply allows any origin. That is
// safe here: requests are authorised by bearer tokens, never by cookies.
void allow_cross_origin(Response& reply) {
  reply.set_header("Access-Control-Allow-Origin", "*");
  reply.set_header("Access-Control-Expose-Headers", "X-Permissions-Hash, X-Data-Epoch, Content-Disposition");
}

Response preflight() {
  Response reply;
  reply.status = 204;
  reply.content_type.clear();
  reply.set_header("Access-Control-Allow-Methods", "GET, POST, PUT, PATCH, DELETE");
  reply.set_header("Access-Control-Allow-Headers",
                   "Authorization, Content-Type, Accept, X-App-Version, X-App-Platform, X-Company-Id, "
                   "X-Data-Epoch");
  reply.set_header("Access-Control-Max-Age", "600");
  return reply;
}

}  // namespace

Response Router::dispatch(Request& request) const {
  Response reply = route(request);
  allow_cross_origin(reply);
  return reply;
}

bool Router::matches(const Route& route, const std::vector<std::string>& segments,
                     std::map<std::string, std::string>* params) {
  if (route.segments.size() != segments.size()) return false;
  for (std::size_t i = 0; i < segments.size(); ++i) {
    const auto& p = route.segments[i];
    if (p.size() > 2 && p.front() == '{' && p.back() == '}') {
      if (params) (*params)[p.substr(1, p.size() - 2)] = segments[i];
    } else if (p != segments[i]) {
      return false;
    }
  }
  return true;
}

Cost Router::cost(const Request& request) const {
  const auto segments = split_path(request.path);
  for (const auto& route : routes_)
    if (route.method == request.method && matches(route, segments, nullptr)) return route.cost;
  return Cost::light;
}

Response Router::route(Request& request) const {
  const auto segments = split_path(request.path);
  bool path_known = false;
  for (const auto& route : routes_) {
    std::map<std::string, std::string> params;
    if (!matches(route, segments, &params)) continue;
    path_known = true;
    if (route.method != request.method) continue;
    request.params = std::move(params);
    return route.handler(request);
  }
  if (path_known && request.method == "OPTIONS") return preflight();
  if (path_known) return error_reply(405, "This address does not accept " + request.method + ".");
  return error_reply(404, "Not found.");
}

}  // namespace tovik::http
