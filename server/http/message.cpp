#include "http/message.hpp"

#include <algorithm>
#include <cctype>

#include "util/untrusted_json.hpp"

namespace tovik::http {

bool CaseLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
  });
}

std::string Request::header(std::string_view name) const {
  const auto it = headers.find(name);
  return it == headers.end() ? std::string() : it->second;
}

std::string Request::query_value(const std::string& name) const {
  const auto it = query.find(name);
  return it == query.end() ? std::string() : it->second;
}

nlohmann::json Request::json() const {
  if (body.find_first_not_of(" \t\r\n") == std::string::npos) return nlohmann::json::object();
  return util::parse_untrusted_json(body);
}

void Response::set_header(std::string name, std::string value) {
  for (auto& [n, v] : headers) {
    if (!CaseLess{}(n, name) && !CaseLess{}(name, n)) {
      v = std::move(value);
      return;
    }
  }
  headers.emplace_back(std::move(name), std::move(value));
}

std::string Response::header(std::string_view name) const {
  for (const auto& [n, v] : headers)
    if (!CaseLess{}(n, name) && !CaseLess{}(name, n)) return v;
  return {};
}

Response json_reply(int status, const nlohmann::json& body) {
  Response r;
  r.status = status;
  r.body = body.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  return r;
}

Response error_reply(int status, std::string message, std::string error_code) {
  nlohmann::json body = {{"message", std::move(message)}};
  if (!error_code.empty()) body["error_code"] = std::move(error_code);
  return json_reply(status, body);
}

static int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string url_decode(std::string_view text, bool plus_is_space) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size()) {
      const int hi = hex_value(text[i + 1]), lo = hex_value(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out.push_back(static_cast<char>(hi * 16 + lo));
        i += 2;
        continue;
      }
    }
    out.push_back(plus_is_space && c == '+' ? ' ' : c);
  }
  return out;
}

std::string url_encode(std::string_view text) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(digits[c >> 4]);
      out.push_back(digits[c & 15]);
    }
  }
  return out;
}

std::map<std::string, std::string> parse_query(std::string_view query) {
  std::map<std::string, std::string> out;
  std::size_t start = 0;
  while (start <= query.size()) {
    auto end = query.find('&', start);
    if (end == std::string_view::npos) end = query.size();
    const auto part = query.substr(start, end - start);
    if (!part.empty()) {
      const auto eq = part.find('=');
      auto key = url_decode(part.substr(0, eq), true);
      auto value = eq == std::string_view::npos ? std::string() : url_decode(part.substr(eq + 1), true);
      out.emplace(std::move(key), std::move(value));
    }
    start = end + 1;
  }
  return out;
}

}  // namespace tovik::http
