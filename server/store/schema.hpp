#pragma once
#include <string_view>
#include <vector>

namespace tovik::store {

// The SQLite schema, statement by statement; every statement is safe to run again.
[[nodiscard]] const std::vector<std::string_view>& sqlite_schema();
// The same tables for PostgreSQL, plus the trigger that announces committed events.
[[nodiscard]] const std::vector<std::string_view>& postgres_schema();

}  // namespace tovik::store
