// One input is what a page could send: a command's JSON text. It goes through
// the same decoding as a real call, its parameters through the SQL binding and
// back through the row conversion, and every reply through the reply text.
// The target fails on a crash, a sanitizer report, or an escaped exception.
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "bridge/command_args.hpp"
#include "bridge/json_input.hpp"
#include "bridge/json_text.hpp"
#include "db/json_sql.hpp"

namespace {

using nlohmann::json;

struct CloseDb {
    void operator()(sqlite3* db) const { sqlite3_close(db); }
};
struct Finalize {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

// One statement for the whole run, prepared once: the target is the
// conversion, not SQLite's parser.
sqlite3_stmt* echo_statement() {
    static const std::unique_ptr<sqlite3, CloseDb> db = [] {
        sqlite3* raw = nullptr;
        sqlite3_open(":memory:", &raw);
        return std::unique_ptr<sqlite3, CloseDb>(raw);
    }();
    static const std::unique_ptr<sqlite3_stmt, Finalize> statement = [] {
        sqlite3_stmt* raw = nullptr;
        sqlite3_prepare_v2(db.get(), "SELECT ?1 AS v, typeof(?1) AS t, ?1 || '' AS s, ?1 AS v", -1, &raw, nullptr);
        return std::unique_ptr<sqlite3_stmt, Finalize>(raw);
    }();
    return statement.get();
}

// Binds the value to a placeholder and reads it back as a row object.
void round_trip(const json& value) {
    sqlite3_stmt* statement = echo_statement();
    if (tovik::bind_json(statement, 1, value) == SQLITE_OK) {
        const tovik::RowWriter writer(statement);
        std::string rows = "[";
        while (sqlite3_step(statement) == SQLITE_ROW) {
            if (rows.size() > 1) rows += ',';
            writer.append_row(statement, rows);
        }
        rows += ']';
        // The page parses this text: anything the writer emits must be JSON.
        (void)json::parse(rows);
    }
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
}

void decode(std::string_view text) {
    json args;
    try {
        args = tovik::parse_page_json(text);
    } catch (const tovik::CommandError& e) {
        (void)tovik::to_json_text(e.what());
        return;
    }
    (void)tovik::to_json_text(args);
    try {
        const tovik::CommandArgs decoded("db_select", args);
        (void)decoded.optional_u16("port", 9100);
        (void)decoded.required_string("sql");
        for (const auto& param : decoded.required_array("params")) round_trip(param);
    } catch (const tovik::CommandError& e) {
        (void)tovik::to_json_text(e.what());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    decode(text);
    // The raw bytes as a text cell: invalid UTF-8 must come back repaired.
    round_trip(json(std::string(text)));
    return 0;
}
