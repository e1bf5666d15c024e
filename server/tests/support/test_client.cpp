#include "tests/support/test_client.hpp"

#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

namespace tovik::testing {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace bhttp = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;

json Reply::json_body() const { return body.empty() ? json::object() : json::parse(body); }

std::string Reply::header(const std::string& lower_name) const {
  const auto it = headers.find(lower_name);
  return it == headers.end() ? std::string() : it->second;
}

Reply HttpClient::request(const std::string& method, const std::string& target, const std::string& body,
                          const std::map<std::string, std::string>& headers) const {
  asio::io_context ioc;
  beast::tcp_stream stream(ioc);
  stream.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port_));
  bhttp::request<bhttp::string_body> req(bhttp::string_to_verb(method), target, 11);
  req.set(bhttp::field::host, "127.0.0.1:" + std::to_string(port_));
  for (const auto& [k, v] : headers) req.set(k, v);
  req.body() = body;
  req.prepare_payload();
  bhttp::write(stream, req);
  beast::flat_buffer buffer;
  bhttp::response_parser<bhttp::string_body> parser;
  parser.body_limit(256 * 1024 * 1024);
  bhttp::read(stream, buffer, parser);
  auto res = parser.release();
  Reply reply;
  reply.status = static_cast<int>(res.result_int());
  for (const auto& f : res) {
    std::string name(f.name_string());
    for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    reply.headers[name] = std::string(f.value());
  }
  reply.body = std::move(res.body());
  beast::error_code ec;
  stream.socket().shutdown(tcp::socket::shutdown_both, ec);
  return reply;
}

Reply HttpClient::api(const std::string& method, const std::string& path, const json& body,
                      std::map<std::string, std::string> headers) const {
  headers.emplace("Accept", "application/json");
  headers.emplace("X-App-Platform", "windows");
  if (!app_version.empty()) headers.emplace("X-App-Version", app_version);
  if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
  std::string text;
  if (!body.is_null()) {
    text = body.dump();
    headers.emplace("Content-Type", "application/json");
  }
  return request(method, "/mobile/v2" + path, text, headers);
}

struct WsClient::Impl {
  asio::io_context ioc;
  websocket::stream<beast::tcp_stream> ws{ioc};
  beast::flat_buffer buffer;
};

WsClient::WsClient(unsigned short port, const std::string& target) : impl_(std::make_unique<Impl>()) {
  beast::get_lowest_layer(impl_->ws).connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
  impl_->ws.handshake("127.0.0.1:" + std::to_string(port), target);
}

WsClient::~WsClient() {
  beast::error_code ec;
  beast::get_lowest_layer(impl_->ws).socket().close(ec);
}

void WsClient::send(const json& frame) {
  impl_->ws.text(true);
  impl_->ws.write(asio::buffer(frame.dump()));
}

std::optional<json> WsClient::next(std::chrono::milliseconds timeout) {
  std::optional<json> result;
  bool done = false;
  impl_->ws.async_read(impl_->buffer, [&](beast::error_code ec, std::size_t) {
    done = true;
    if (ec) return;
    result = json::parse(beast::buffers_to_string(impl_->buffer.data()));
    impl_->buffer.consume(impl_->buffer.size());
  });
  impl_->ioc.restart();
  impl_->ioc.run_for(timeout);
  if (!done) {
    // Abandon the read: the socket is no use after a cancelled read in this client.
    beast::get_lowest_layer(impl_->ws).cancel();
    impl_->ioc.restart();
    impl_->ioc.run_for(std::chrono::milliseconds(200));
  }
  return result;
}

std::optional<json> WsClient::next_event(const std::string& event, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    auto frame = next(left);
    if (!frame) return std::nullopt;
    if (frame->value("event", "") == event) return frame;
  }
  return std::nullopt;
}

}  // namespace tovik::testing
