#pragma once
// Private to sync/: records the app may not delete, as DeleteChecks for the entity table.
#include "sync/entities.hpp"

namespace tovik::sync::rules {

// Recorded documents and payments stay: they are corrected by new records, never removed.
void recorded(const Stored& live);

}  // namespace tovik::sync::rules
