#pragma once
#include <string_view>
#include <vector>

namespace tovik::store {

// The SQLite schema, statement by statement; every statement is safe to run again.
[[nodiscard]] const std::vector<std::string_view>& sqlite_schema();

}  // namespace tovik::store
