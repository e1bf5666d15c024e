#pragma once
#include "bridge/dispatcher.hpp"
#include "db/database.hpp"

namespace tovik {

// Registers db_open, db_execute and db_select over the database, which must
// outlive the table.
void add_db_commands(CommandTable& table, Db& db);

}  // namespace tovik
