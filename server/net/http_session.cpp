#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket/rfc6455.hpp>
#include <array>
#include <chrono>
#include <cmath>
#include <optional>

#include "net/session_shared.hpp"
#include "util/log.hpp"

namespace tovik::net {

namespace beast = boost::beast;
namespace bhttp = boost::beast::http;
using tcp = boost::asio::ip::tcp;

namespace {

// How long a connection may wait for a request: a connection that has not shown a session
// yet gets little, since holding idle sockets is all an anonymous flood needs. A request's
// body, once its header is in, gets the long limit.
constexpr auto kSignedInIdle = std::chrono::seconds(60);
constexpr auto kAnonymousIdle = std::chrono::seconds(10);
constexpr auto kReadTimeout = std::chrono::seconds(60);

class HttpSession : public std::enable_shared_from_this<HttpSession> {
 public:
  HttpSession(tcp::socket socket, Slot slot, std::shared_ptr<Shared> shared)
      : stream_(std::move(socket)), slot_(std::move(slot)), shared_(std::move(shared)) {
    boost::system::error_code ec;
    const auto endpoint = stream_.socket().remote_endpoint(ec);
    if (!ec) remote_ip_ = endpoint.address().to_string();
  }

  void run() {
    boost::asio::dispatch(stream_.get_executor(), [self = shared_from_this()] { self->do_read(); });
  }

 private:
  void do_read() {
    parser_.emplace();
    parser_->body_limit(shared_->max_body_bytes);
    parser_->header_limit(64 * 1024);
    stream_.expires_after(signed_in_ ? kSignedInIdle : kAnonymousIdle);
    bhttp::async_read_header(stream_, buffer_, *parser_,
                             [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_header(ec); });
  }

  // A client that asked to be told before sending a large body (curl does above 1 KiB) gets
  // "100 Continue" at once instead of waiting out its own timer.
  void on_header(beast::error_code ec) {
    if (ec) return on_read(ec);
    stream_.expires_after(kReadTimeout);
    const auto& head = parser_->get();
    if (beast::iequals(head[bhttp::field::expect], "100-continue") && !parser_->is_done()) {
      static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
      return boost::asio::async_write(stream_, boost::asio::buffer(kContinue),
                                      [self = shared_from_this()](beast::error_code ec2, std::size_t) {
                                        if (ec2) return;
                                        self->read_body();
                                      });
    }
    read_body();
  }

  void read_body() {
    bhttp::async_read(stream_, buffer_, *parser_,
                      [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_read(ec); });
  }

  void on_read(beast::error_code ec) {
    if (ec == bhttp::error::end_of_stream) return shut();
    if (ec == bhttp::error::body_limit) {
      auto reply = http::error_reply(413, "The request is too large.");
      draining_ = true;
      const auto& head = parser_->get();
      return write(to_beast(reply, head.version(), false), std::string(head.method_string()),
                   std::string(head.target()), std::chrono::steady_clock::now());
    }
    if (ec) return;
    auto req = parser_->release();
    if (beast::websocket::is_upgrade(req)) {
      if (std::string(req.target()).rfind("/app/", 0) == 0) {
        start_websocket_session(std::move(stream_), std::move(req), std::move(slot_), shared_);
        return;
      }
    }
    const auto started = std::chrono::steady_clock::now();
    ++shared_->active_requests;
    http::Request request;
    request.method = std::string(req.method_string());
    const std::string target(req.target());
    const auto q = target.find('?');
    request.path = target.substr(0, q);
    if (q != std::string::npos) request.query = http::parse_query(std::string_view(target).substr(q + 1));
    for (const auto& field : req) request.headers[std::string(field.name_string())] = std::string(field.value());
    request.body = std::move(req.body());
    request.remote_ip = remote_ip_;
    const unsigned version = req.version();
    const bool keep_alive = req.keep_alive();
    if (shared_->router.cost(request) == http::Cost::light) return answer(dispatch(request), request, version, keep_alive, started);
    if (++shared_->heavy_queued > Shared::kMaxHeavyQueued) {
      --shared_->heavy_queued;
      auto busy = http::error_reply(503, "The server is busy. Try again in a moment.");
      busy.set_header("Retry-After", "1");
      return answer(busy, request, version, keep_alive, started);
    }
    boost::asio::post(shared_->heavy_pool, [self = shared_from_this(), request = std::move(request), version,
                                            keep_alive, started]() mutable {
      --self->shared_->heavy_queued;
      auto reply = self->dispatch(request);
      boost::asio::post(self->stream_.get_executor(), [self, reply = std::move(reply), request = std::move(request),
                                                       version, keep_alive, started] {
        self->answer(reply, request, version, keep_alive, started);
      });
    });
  }

  http::Response dispatch(http::Request& request) {
    try {
      return shared_->router.dispatch(request);
    } catch (const std::exception& e) {
      util::log_line({{"event", "handler_error"}, {"path", request.path}, {"error", e.what()}});
      return http::error_reply(500, "The server hit an internal error.");
    }
  }

  void answer(const http::Response& reply, const http::Request& request, unsigned version, bool keep_alive,
              std::chrono::steady_clock::time_point started) {
    if (reply.signed_in) signed_in_ = true;
    const bool keep = keep_alive && !shared_->stopping;
    write(to_beast(reply, version, keep), request.method, request.path, started, true);
  }

  static std::shared_ptr<bhttp::response<bhttp::string_body>> to_beast(const http::Response& reply,
                                                                      unsigned version, bool keep) {
    auto res = std::make_shared<bhttp::response<bhttp::string_body>>(
        static_cast<bhttp::status>(reply.status), version);
    if (!reply.content_type.empty()) res->set(bhttp::field::content_type, reply.content_type);
    for (const auto& [name, value] : reply.headers) res->set(name, value);
    res->body() = reply.body;
    res->keep_alive(keep);
    res->prepare_payload();
    return res;
  }

  void write(std::shared_ptr<bhttp::response<bhttp::string_body>> res, std::string method,
             std::string path, std::chrono::steady_clock::time_point started, bool counted = false) {
    const bool keep = res->keep_alive();
    const int status = static_cast<int>(res->result_int());
    const auto bytes = res->body().size();
    bhttp::async_write(stream_, *res,
                       [self = shared_from_this(), res, keep, method = std::move(method),
                        path = std::move(path), started, status, bytes, counted](beast::error_code ec, std::size_t) {
                         const auto ms = std::chrono::duration<double, std::milli>(
                                             std::chrono::steady_clock::now() - started).count();
                         util::log_line({{"method", method}, {"path", path}, {"status", status},
                                         {"ms", std::round(ms * 100) / 100}, {"bytes", bytes},
                                         {"ip", self->remote_ip_}});
                         if (counted) --self->shared_->active_requests;
                         if (!ec && self->draining_) return self->drain(0);
                         if (ec || !keep) return self->shut();
                         self->do_read();
                       });
  }

  // After refusing an oversized request the rest of its body is read and dropped (for a
  // while), so that the client, still sending, can read the 413 instead of a reset.
  void drain(std::size_t total) {
    constexpr std::size_t kDrainBytes = 64 * 1024 * 1024;
    if (total == 0) {
      shut();
      stream_.expires_after(std::chrono::seconds(5));
    }
    if (total > kDrainBytes) return;
    stream_.async_read_some(boost::asio::buffer(sink_), [self = shared_from_this(), total](beast::error_code ec, std::size_t n) {
      if (!ec) self->drain(total + n + 1);
    });
  }

  void shut() {
    beast::error_code ec;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ec);
  }

  beast::tcp_stream stream_;
  Slot slot_;
  beast::flat_buffer buffer_;
  std::optional<bhttp::request_parser<bhttp::string_body>> parser_;
  std::shared_ptr<Shared> shared_;
  std::string remote_ip_;
  bool draining_ = false;
  bool signed_in_ = false;
  std::array<char, 65536> sink_{};
};

}  // namespace

void start_http_session(tcp::socket socket, Slot slot, std::shared_ptr<Shared> shared) {
  std::make_shared<HttpSession>(std::move(socket), std::move(slot), std::move(shared))->run();
}

}  // namespace tovik::net
