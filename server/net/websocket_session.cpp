#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <deque>

#include "net/session_shared.hpp"
#include "util/log.hpp"

namespace tovik::net {

namespace beast = boost::beast;
namespace websocket = boost::beast::websocket;
namespace bhttp = boost::beast::http;

namespace {

class WebSocketSession : public realtime::Subscriber, public std::enable_shared_from_this<WebSocketSession> {
 public:
  WebSocketSession(beast::tcp_stream stream, Slot slot, std::shared_ptr<Shared> shared)
      : ws_(std::move(stream)), slot_(std::move(slot)), shared_(std::move(shared)) {}

  ~WebSocketSession() override { shared_->hub.disconnected(this); }

  void run(bhttp::request<bhttp::string_body> upgrade) {
    const std::string target(upgrade.target());
    const auto q = target.find('?');
    key_ = target.substr(5, q == std::string::npos ? std::string::npos : q - 5);
    if (q != std::string::npos) {
      const auto query = http::parse_query(std::string_view(target).substr(q + 1));
      if (const auto it = query.find("protocol"); it != query.end()) protocol_ = it->second;
    }
    beast::get_lowest_layer(ws_).expires_never();
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.read_message_max(64 * 1024);
    ws_.async_accept(upgrade, [self = shared_from_this()](beast::error_code ec) { self->on_accept(ec); });
  }

  void send(std::string text) override {
    boost::asio::post(ws_.get_executor(), [self = shared_from_this(), text = std::move(text)]() mutable {
      self->queue_.push_back(std::move(text));
      if (self->queue_.size() == 1) self->do_write();
    });
  }

  void close() override {
    boost::asio::post(ws_.get_executor(), [self = shared_from_this()] {
      self->closing_ = true;
      if (self->queue_.empty()) self->do_close();
    });
  }

 private:
  void on_accept(beast::error_code ec) {
    if (ec) return;
    shared_->hub.connected(shared_from_this());
    if (key_ != shared_->keys.key) {
      send(realtime::error_frame(4001, "Application does not exist."));
      return close();
    }
    int version = 0;
    try {
      version = std::stoi(protocol_);
    } catch (const std::exception&) {
    }
    if (version < 5 || version > 7) {
      send(realtime::error_frame(4007, "Unsupported protocol version."));
      return close();
    }
    connection_ = std::make_unique<realtime::PusherConnection>(shared_->hub, shared_->keys,
                                                               realtime::new_socket_id(), weak_from_this());
    send(connection_->welcome());
    do_read();
  }

  void do_read() {
    ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_read(ec); });
  }

  void on_read(beast::error_code ec) {
    if (ec) return;
    const auto text = beast::buffers_to_string(buffer_.data());
    buffer_.consume(buffer_.size());
    for (auto& reply : connection_->on_frame(text)) send(std::move(reply));
    do_read();
  }

  void do_write() {
    ws_.text(true);
    ws_.async_write(boost::asio::buffer(queue_.front()),
                    [self = shared_from_this()](beast::error_code ec, std::size_t) { self->on_write(ec); });
  }

  void on_write(beast::error_code ec) {
    if (ec) return;
    queue_.pop_front();
    if (!queue_.empty()) return do_write();
    if (closing_) do_close();
  }

  void do_close() {
    if (close_sent_) return;
    close_sent_ = true;
    ws_.async_close(websocket::close_code::normal, [self = shared_from_this()](beast::error_code) {});
  }

  websocket::stream<beast::tcp_stream> ws_;
  Slot slot_;
  std::shared_ptr<Shared> shared_;
  beast::flat_buffer buffer_;
  std::deque<std::string> queue_;
  std::unique_ptr<realtime::PusherConnection> connection_;
  std::string key_;
  std::string protocol_;
  bool closing_ = false;
  bool close_sent_ = false;
};

}  // namespace

void start_websocket_session(beast::tcp_stream stream, bhttp::request<bhttp::string_body> upgrade, Slot slot,
                             std::shared_ptr<Shared> shared) {
  std::make_shared<WebSocketSession>(std::move(stream), std::move(slot), std::move(shared))->run(std::move(upgrade));
}

}  // namespace tovik::net
