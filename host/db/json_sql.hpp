#pragma once
#include <sqlite3.h>

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace tovik {

// JSON parameters to SQL values and result rows to JSON objects, by the two
// conversion tables of the database commands.

// Binds one parameter to the 1-based placeholder; returns SQLite's result code.
// Strings are bound without a copy: the value must outlive the statement.
[[nodiscard]] int bind_json(sqlite3_stmt* statement, int index, const nlohmann::json& value);

// How a result row becomes an object, worked out once per statement: keys in
// byte-wise order, and for a repeated name only the last column.
class RowShape {
public:
    explicit RowShape(sqlite3_stmt* statement);

    // The current row of the statement (after sqlite3_step gave SQLITE_ROW).
    [[nodiscard]] nlohmann::json read_row(sqlite3_stmt* statement) const;

private:
    struct Key {
        std::string name;
        int column;
    };
    std::vector<Key> keys_;
};

}  // namespace tovik
