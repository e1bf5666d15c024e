#include "sync/rules/fields.hpp"

#include <cmath>

#include "util/untrusted_json.hpp"

namespace tovik::sync::rules {

namespace {
// Fields that describe the local row or that only the server sets.
const std::vector<std::string> kBookkeeping = {"uuid", "id", "server_id", "version", "dirty",
                                               "deleted", "local_updated_at", "items_json",
                                               "taxes_json", "summary_json", "counted_json",
                                               "payments_json"};
}  // namespace

std::string text(const json& d, const char* key) {
  const auto it = d.find(key);
  return it != d.end() && it->is_string() ? it->get<std::string>() : std::string();
}

bool has_text(const json& d, const char* key) {
  const auto s = text(d, key);
  return s.find_first_not_of(" \t\r\n") != std::string::npos;
}

std::optional<double> number(const json& d, const char* key) {
  const auto it = d.find(key);
  if (it == d.end() || !it->is_number()) return std::nullopt;
  const double v = it->get<double>();
  if (!std::isfinite(v)) return std::nullopt;
  return v;
}

double number_or(const json& d, const char* key, double fallback) { return number(d, key).value_or(fallback); }

json clean(const json& data) {
  json out = data.is_object() ? data : json::object();
  for (const char* key : {"items", "taxes"}) {
    const std::string column = std::string(key) + "_json";
    if (!out.contains(key) && out.contains(column) && out[column].is_string()) {
      try {
        out[key] = util::parse_untrusted_json(out[column].get<std::string>());
      } catch (const std::exception&) {
        // Lines that cannot be read are missing lines; validation says so.
      }
    }
  }
  for (const auto& key : kBookkeeping) out.erase(key);
  return out;
}

json overlay(json base, const json& changes) {
  for (const auto& [k, v] : changes.items()) base[k] = v;
  return base;
}

Stored require_live(Records& records, const char* kind, const json& d, const char* field,
                    const std::string& message) {
  auto found = records.live(kind, text(d, field));
  if (!found) throw Refusal("invalid", message, {{field, {message}}});
  return *found;
}

void Errors::throw_if_any() const {
  if (errors_.empty()) return;
  throw Refusal("invalid", errors_.begin().value()[0].get<std::string>(), errors_);
}

}  // namespace tovik::sync::rules
