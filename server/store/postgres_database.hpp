#pragma once
#include <memory>
#include <string>

#include "store/database.hpp"

namespace tovik::store {

// Opens a PostgreSQL store from a libpq connection URI, creating the schema when needed.
[[nodiscard]] std::unique_ptr<Database> open_postgres_database(const std::string& address);

}  // namespace tovik::store
