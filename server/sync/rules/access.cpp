#include "sync/rules/access.hpp"

#include "sync/rules/fields.hpp"

namespace tovik::sync::rules {

bool at_till(const Actor&, const json&, const Stored*) { return true; }

bool owner(const Actor& actor, const json&, const Stored*) { return !actor.cashier; }

bool restocking(const Actor& actor, const json&, const Stored*) { return !actor.cashier || actor.restock; }

bool treasury_manager(const Actor& actor, const json&, const Stored*) { return !actor.cashier && actor.treasury; }

bool payables_manager(const Actor& actor, const json&, const Stored*) { return !actor.cashier && actor.payables; }

bool expense_writer(const Actor& actor, const json& sent, const Stored* live) {
  const bool funded = has_text(sent, "funding_source") || (live && has_text(live->data, "funding_source"));
  return !actor.cashier && (!funded || actor.treasury);
}

}  // namespace tovik::sync::rules
