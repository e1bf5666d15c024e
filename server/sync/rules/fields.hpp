#pragma once
// Private to sync/: reading the fields of pushed records, and collecting validation errors.
#include <optional>
#include <string>

#include "sync/entities.hpp"

namespace tovik::sync::rules {

// Money differences below this are rounding.
inline constexpr double kTolerance = 0.005;

// The text at `key`, or empty when absent or not text.
[[nodiscard]] std::string text(const json& d, const char* key);
[[nodiscard]] bool has_text(const json& d, const char* key);
// A finite number at `key`.
[[nodiscard]] std::optional<double> number(const json& d, const char* key);
[[nodiscard]] double number_or(const json& d, const char* key, double fallback);

// The payload as sent, turned into stored fields: bookkeeping dropped, JSON-text columns parsed.
[[nodiscard]] json clean(const json& data);
// The stored fields with the sent ones laid over them (fields not sent keep their value).
[[nodiscard]] json overlay(json base, const json& changes);
// The live record that `d[field]` names, or Refusal("invalid", message).
[[nodiscard]] Stored require_live(Records& records, const char* kind, const json& d, const char* field,
                                  const std::string& message);

// Collects field errors and throws them as one "invalid" refusal.
class Errors {
 public:
  void add(const std::string& field, const std::string& message) { errors_[field].push_back(message); }
  void require_text(const json& d, const char* key, const std::string& message) {
    if (!has_text(d, key)) add(key, message);
  }
  void throw_if_any() const;

 private:
  json errors_ = json::object();
};

}  // namespace tovik::sync::rules
