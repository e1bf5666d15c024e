#pragma once
// Returns of sales. Only the server knows how much of a sale already came back, so the till
// asks it what can still be returned and has it record the return, in one write.
#include <stdexcept>
#include <string>

#include "sync/actor.hpp"
#include "sync/records.hpp"

namespace tovik::sync {

// A return the server will not record; `status` is the reply's HTTP status, `needs_pin`
// asks for the manager's override PIN before the same return is sent again.
class ReturnRefusal : public std::runtime_error {
 public:
  ReturnRefusal(int status, const std::string& message, bool needs_pin = false)
      : std::runtime_error(message), status_(status), needs_pin_(needs_pin) {}
  [[nodiscard]] int status() const { return status_; }
  [[nodiscard]] bool needs_pin() const { return needs_pin_; }

 private:
  int status_;
  bool needs_pin_;
};

// What the sale can still give back: the invoice, its lines and a refusal text when it
// cannot be returned at all. Throws ReturnRefusal(404) for an unknown sale.
[[nodiscard]] json returnable_view(Records& records, const std::string& sale_uuid);

// Records a return as the till sent it and answers {"return": ...}. The return's uuid makes
// it idempotent: a resend after a lost reply gets the recorded return back.
[[nodiscard]] json record_return(Records& records, const Actor& actor, const json& request);

}  // namespace tovik::sync
