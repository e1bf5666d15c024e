#pragma once
// Private to sync/: who may write which records, as Access predicates for the entity table.
#include "sync/entities.hpp"

namespace tovik::sync::rules {

// Owners and cashiers: the till's own work.
bool at_till(const Actor& actor, const json& sent, const Stored* live);
// Owners only: the back office.
bool owner(const Actor& actor, const json& sent, const Stored* live);
// Owners, and cashiers who may receive deliveries.
bool restocking(const Actor& actor, const json& sent, const Stored* live);
// Owners who manage the treasury.
bool treasury_manager(const Actor& actor, const json& sent, const Stored* live);
// Owners who manage payables.
bool payables_manager(const Actor& actor, const json& sent, const Stored* live);
// Owners; an expense paid from the treasury (as sent, or as stored) also needs the treasury
// permission, since changing or removing it moves the treasury's balance.
bool expense_writer(const Actor& actor, const json& sent, const Stored* live);

}  // namespace tovik::sync::rules
