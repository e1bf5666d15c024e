#pragma once
#include <optional>
#include <stdexcept>
#include <string>

#include "sync/entities.hpp"
#include "sync/records.hpp"

namespace tovik::sync {

// Who pushes: what the user may do in the company, and the company's settings.
struct Actor {
  bool cashier = false;
  bool restock = false;
  bool treasury = false;
  bool payables = false;
  json tenant = json::object();
};

// Thrown by a rule to refuse an operation; the operation's writes are rolled back.
class Refusal : public std::runtime_error {
 public:
  Refusal(std::string reason, const std::string& message, json errors = json::object())
      : std::runtime_error(message), reason_(std::move(reason)), errors_(std::move(errors)) {}
  [[nodiscard]] const std::string& reason() const { return reason_; }
  [[nodiscard]] const json& errors() const { return errors_; }

 private:
  std::string reason_;
  json errors_;
};

// Throws Refusal("forbidden") when the actor may not write this entity.
void check_allowed(const Actor& actor, const Entity& entity, const json& data);

// Validates and writes one upsert; `existing` is the live record of the same kind in the
// company, if any. Returns the stored record. Throws Refusal.
Stored apply_upsert(Records& records, const Actor& actor, const Entity& entity,
                    const std::string& uuid, const json& data, std::optional<Stored> existing);

// Deletes a live record. Throws Refusal("locked") for records that may not be deleted.
void apply_delete(Records& records, const Entity& entity, Stored& existing);

}  // namespace tovik::sync
