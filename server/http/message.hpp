#pragma once
// http/: requests, replies and routing as the handlers see them, free of the network library.
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

// Request and reply as the handlers see them, free of the network library.
namespace tovik::http {

struct CaseLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

struct Request {
  std::string method;                  // "GET", "POST", ...
  std::string path;                    // raw path, without the query; the router decodes segments
  std::map<std::string, std::string> query;  // decoded query parameters
  std::map<std::string, std::string, CaseLess> headers;
  std::string body;
  std::string remote_ip;
  std::map<std::string, std::string> params;  // filled by the router from {name} segments

  [[nodiscard]] std::string header(std::string_view name) const;
  [[nodiscard]] std::string query_value(const std::string& name) const;
  // Parses the body as JSON; an empty body is an empty object. Throws on malformed JSON and
  // util::JsonTooDeep on nesting no message needs.
  [[nodiscard]] nlohmann::json json() const;
};

struct Response {
  int status = 200;
  std::string content_type = "application/json";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // Set by the signed-in pipeline: the connection belongs to a session and may idle longer.
  bool signed_in = false;

  void set_header(std::string name, std::string value);
  [[nodiscard]] std::string header(std::string_view name) const;
};

[[nodiscard]] Response json_reply(int status, const nlohmann::json& body);
// A failure reply: {"message": ...} plus error_code when given.
[[nodiscard]] Response error_reply(int status, std::string message, std::string error_code = {});

// Decodes %XX and '+' (as space, for query strings).
[[nodiscard]] std::string url_decode(std::string_view text, bool plus_is_space);
[[nodiscard]] std::string url_encode(std::string_view text);
[[nodiscard]] std::map<std::string, std::string> parse_query(std::string_view query);

}  // namespace tovik::http
