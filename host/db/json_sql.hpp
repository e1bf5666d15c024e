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

// Writes result rows as JSON object text straight from the statement, with no
// value tree in between. The row shape is worked out once per statement: keys
// in byte-wise order, and for a repeated name only the last column.
class RowWriter {
public:
    explicit RowWriter(sqlite3_stmt* statement);

    // Appends the current row (after sqlite3_step gave SQLITE_ROW) as an object.
    void append_row(sqlite3_stmt* statement, std::string& out) const;

private:
    struct Key {
        std::string name;
        int column;
        std::string prefix;  // the quoted key and its colon, with the comma before it
    };
    std::vector<Key> keys_;
};

}  // namespace tovik
