#pragma once
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

namespace tovik::sync {

// Thrown by a rule to refuse an operation; the operation's writes are rolled back. `reason` is
// the verdict's reason: invalid, forbidden, locked or uuid_taken.
class Refusal : public std::runtime_error {
 public:
  Refusal(std::string reason, const std::string& message, nlohmann::json errors = nlohmann::json::object())
      : std::runtime_error(message), reason_(std::move(reason)), errors_(std::move(errors)) {}
  [[nodiscard]] const std::string& reason() const { return reason_; }
  [[nodiscard]] const nlohmann::json& errors() const { return errors_; }

 private:
  std::string reason_;
  nlohmann::json errors_;
};

}  // namespace tovik::sync
