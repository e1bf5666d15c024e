#pragma once
#include "store/database.hpp"

namespace tovik::admin {

// Loads the demo company, its users and a second company of the owner. Does nothing and
// returns false when the store already has a company.
bool seed_demo(store::Database& db, bool fast_hash);

}  // namespace tovik::admin
