// Cost of turning query results into JSON for the page: Db::select (JSON text
// written from the statement) against plain sqlite3_step over the same rows
// and against a bare reference writer with no conversion rules. Prints
// figures; never fails on them.
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "db/database.hpp"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using tovik::Connection;
using tovik::Statement;

constexpr int kRows = 100000;
constexpr int kRepeats = 3;

// Best of kRepeats runs, in seconds.
double best_seconds(const std::function<void()>& run) {
    double best = 1e300;
    for (int i = 0; i < kRepeats; ++i) {
        const auto start = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

void fill(tovik::Db& db) {
    db.execute(
        "CREATE TABLE items (id INTEGER PRIMARY KEY, qty INTEGER, price REAL, ratio REAL, code TEXT, "
        "name TEXT, note TEXT, extra)",
        {});
    // Integers, reals, short and long texts (some Arabic), and NULLs.
    db.execute(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < ?) "
        "INSERT INTO items SELECT i, i % 97, i * 1.25, i / 7.0, 'P-' || i, "
        "CASE WHEN i % 2 THEN 'Product ' || i ELSE 'منتج رقم ' || i END, "
        "CASE WHEN i % 5 = 0 THEN NULL ELSE substr(replace(hex(zeroblob(160)), '00', 'lorem ip '), 1, 80 + i % 240) END, "
        "CASE WHEN i % 3 = 0 THEN NULL ELSE i * 1000003 END FROM n",
        {kRows});
}

Connection open_plain(const fs::path& file, const std::string& key) {
    sqlite3* raw = nullptr;
    sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    Connection db(raw);
    const std::string pragma = "PRAGMA key = \"x'" + key + "'\"; PRAGMA cipher_compatibility = 4;";
    sqlite3_exec(db.get(), pragma.c_str(), nullptr, nullptr, nullptr);
    return db;
}

Statement prepare(sqlite3* db, const char* sql) {
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    return Statement(raw);
}

// Steps every row and reads every cell by its type: the floor for any conversion.
std::size_t plain_step(sqlite3* db) {
    const Statement statement = prepare(db, "SELECT * FROM items");
    const int columns = sqlite3_column_count(statement.get());
    std::size_t sink = 0;
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        for (int c = 0; c < columns; ++c) {
            switch (sqlite3_column_type(statement.get(), c)) {
                case SQLITE_INTEGER: sink += static_cast<std::size_t>(sqlite3_column_int64(statement.get(), c)); break;
                case SQLITE_FLOAT: sink += static_cast<std::size_t>(sqlite3_column_double(statement.get(), c)); break;
                case SQLITE_TEXT:
                    sink += static_cast<std::size_t>(sqlite3_column_bytes(statement.get(), c));
                    sink += *sqlite3_column_text(statement.get(), c);
                    break;
                default: break;
            }
        }
    }
    return sink;
}

void append_json_string(std::string& out, const unsigned char* text, int size) {
    out += '"';
    for (int i = 0; i < size; ++i) {
        const unsigned char c = text[i];
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    out += '"';
}

// The same rows written straight to JSON text (keys pre-sorted, no tree). A
// reference figure only: it skips UTF-8 repair and duplicate-name handling.
std::string direct_text(sqlite3* db) {
    const Statement statement = prepare(db, "SELECT * FROM items");
    const int columns = sqlite3_column_count(statement.get());
    std::vector<std::pair<std::string, int>> keys;
    for (int c = 0; c < columns; ++c) keys.emplace_back(sqlite3_column_name(statement.get(), c), c);
    std::sort(keys.begin(), keys.end());
    std::string out = "[";
    char number[32];
    while (sqlite3_step(statement.get()) == SQLITE_ROW) {
        if (out.size() > 1) out += ',';
        out += '{';
        for (std::size_t k = 0; k < keys.size(); ++k) {
            if (k) out += ',';
            out += '"';
            out += keys[k].first;
            out += "\":";
            const int c = keys[k].second;
            switch (sqlite3_column_type(statement.get(), c)) {
                case SQLITE_INTEGER:
                    out.append(number, std::to_chars(number, number + sizeof number,
                                                     sqlite3_column_int64(statement.get(), c)).ptr);
                    break;
                case SQLITE_FLOAT:
                    out.append(number, std::to_chars(number, number + sizeof number,
                                                     sqlite3_column_double(statement.get(), c)).ptr);
                    break;
                case SQLITE_TEXT:
                    append_json_string(out, sqlite3_column_text(statement.get(), c),
                                       sqlite3_column_bytes(statement.get(), c));
                    break;
                default: out += "null"; break;
            }
        }
        out += '}';
    }
    out += ']';
    return out;
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / ("tovik-bench-conversion-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    auto secrets = tovik::make_file_secret_store(dir / "secrets.json");
    {
        tovik::Db db(dir / "data", *secrets);
        db.open();
        fill(db);
        const Connection plain = open_plain(dir / "data" / "quillarex.db", *secrets->get("db-key"));

        std::size_t sink = 0;
        const double step_s = best_seconds([&] { sink += plain_step(plain.get()); });

        std::string text;
        const double select_s = best_seconds([&] { text = db.select("SELECT * FROM items", {}); });
        const double json_mb = static_cast<double>(text.size()) / 1e6;
        std::string direct;
        const double direct_s = best_seconds([&] { direct = direct_text(plain.get()); });

        std::printf("rows: %d x 8 columns, JSON %.1f MB (best of %d runs)\n", kRows, json_mb, kRepeats);
        std::printf("sqlite3_step, cells read   %8.1f ms  %10.0f rows/s\n", step_s * 1e3, kRows / step_s);
        std::printf("Db::select (JSON text)     %8.1f ms  %10.0f rows/s  %6.1f MB/s\n", select_s * 1e3,
                    kRows / select_s, json_mb / select_s);
        std::printf("bare JSON text (ref.)      %8.1f ms  %10.0f rows/s  %6.1f MB/s\n", direct_s * 1e3,
                    kRows / direct_s, static_cast<double>(direct.size()) / 1e6 / direct_s);
        std::printf("ratio select / step       %8.2f\n", select_s / step_s);
        std::printf("ratio select / bare       %8.2f\n", select_s / direct_s);

        // One result of about 3 MB, as a screen's large list would be.
        const auto limit = static_cast<long>(3e6 / (static_cast<double>(text.size()) / kRows));
        std::size_t size_3mb = 0;
        const double three_s =
            best_seconds([&] { size_3mb = db.select("SELECT * FROM items LIMIT ?", {limit}).size(); });
        std::printf("3 MB select: %ld rows, %.2f MB, %.1f ms\n", limit, static_cast<double>(size_3mb) / 1e6,
                    three_s * 1e3);
        if (sink == 42) std::puts("");  // keeps the plain loop from being optimised away
    }
    fs::remove_all(dir);
}
