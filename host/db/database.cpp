#include "db/database.hpp"

#include <array>
#include <cstddef>
#include <limits>
#include <string_view>
#include <system_error>
#include <utility>

#include "db/json_sql.hpp"
#include "platform/folder_lock.hpp"
#include "platform/secure_random.hpp"

namespace tovik {

namespace {

namespace fs = std::filesystem;

constexpr const char* kDatabaseFile = "quillarex.db";
constexpr std::size_t kKeyBytes = 32;
constexpr const char* kReturnedResults = "Execute returned results - did you mean to call query?";

std::string new_key() { return secure_random_hex(kKeyBytes); }

// The key text goes into a PRAGMA statement; anything but hex digits there
// would change the statement, and the page can write "db-key" too.
bool is_key_text(const std::string& key) {
    if (key.size() != 2 * kKeyBytes) return false;
    for (const char c : key)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'))) return false;
    return true;
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// True when the text after the first statement holds only whitespace and
// comments (SQLite lets a comment run to the end of the text unclosed).
// Where the first thing that is neither whitespace nor a comment starts.
std::size_t skip_whitespace_and_comments(std::string_view rest) {
    std::size_t i = 0;
    while (i < rest.size()) {
        if (is_space(rest[i])) {
            ++i;
        } else if (rest.substr(i, 2) == "--") {
            const auto end = rest.find('\n', i);
            if (end == std::string_view::npos) return rest.size();
            i = end + 1;
        } else if (rest.substr(i, 2) == "/*") {
            const auto end = rest.find("*/", i + 2);
            if (end == std::string_view::npos) return rest.size();
            i = end + 2;
        } else {
            break;
        }
    }
    return i;
}

bool only_whitespace_and_comments(std::string_view rest) { return skip_whitespace_and_comments(rest) == rest.size(); }

// BEGIN, COMMIT, END, ROLLBACK, SAVEPOINT or RELEASE: a statement list is one
// unit and may neither end nor split the transaction it runs in.
bool controls_transaction(std::string_view sql) {
    std::size_t i = skip_whitespace_and_comments(sql);
    std::string word;
    for (; i < sql.size() && std::isalpha(static_cast<unsigned char>(sql[i])); ++i)
        word += static_cast<char>(std::toupper(static_cast<unsigned char>(sql[i])));
    for (const char* keyword : {"BEGIN", "COMMIT", "END", "ROLLBACK", "SAVEPOINT", "RELEASE"})
        if (word == keyword) return true;
    return false;
}

// A result grows in few large steps. Each step is a fresh allocation whose
// pages the kernel faults in, and that costs more than the copying: doubling
// took a 3.7 MB result 36 ms, four-fold steps 15 ms.
void make_room(std::string& rows) {
    constexpr std::size_t kRowRoom = 4096;
    if (rows.capacity() - rows.size() >= kRowRoom) return;
    const std::size_t factor = rows.capacity() < (16u << 20) ? 4 : 2;
    rows.reserve(std::max<std::size_t>(rows.capacity() * factor, 64u << 10));
}

}  // namespace

Db::Db(std::filesystem::path data_dir, SecretStore& secrets, std::size_t result_limit_bytes)
    : data_dir_(std::move(data_dir)), secrets_(secrets), result_limit_bytes_(result_limit_bytes) {}

void Db::open() {
    std::lock_guard lock(mutex_);
    if (connection_) {
        // A page opens the database once per load. A transaction still open
        // here was begun by a page that was reloaded before its COMMIT, and
        // would hold every transaction of the new page; its work is lost
        // with that page either way.
        if (!sqlite3_get_autocommit(connection_.get()))
            sqlite3_exec(connection_.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        return;
    }

    std::error_code error;
    fs::create_directories(data_dir_, error);
    if (error) throw DbError(error.message());

    // Held until the connection is keyed and in WAL mode: a second process
    // would otherwise make a key of its own, or race the switch to WAL.
    const FolderLock folder_lock(data_dir_);

    sqlite3* raw = nullptr;
    // Every use of the connection holds mutex_, so SQLite's own lock around each
    // call (six per cell of a result) would only be paid twice.
    const int rc = sqlite3_open_v2((data_dir_ / kDatabaseFile).c_str(), &raw,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX, nullptr);
    // Held from here on, so every failure below closes the connection.
    Connection connection(raw);
    if (rc != SQLITE_OK) throw DbError(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc));

    const std::string key_statement = "PRAGMA key = \"x'" + database_key() + "'\";";
    if (sqlite3_exec(connection.get(), key_statement.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK ||
        // Pins the SQLCipher 4 file format whatever a later library's defaults are.
        sqlite3_exec(connection.get(), "PRAGMA cipher_compatibility = 4;", nullptr, nullptr, nullptr) != SQLITE_OK)
        throw DbError(sqlite3_errmsg(connection.get()));
    // The first statements that read the file: a wrong key shows up here. The
    // busy timeout comes first so that the WAL switch waits for other users.
    // Pages stay decrypted in a 4 MiB cache (twice the default): a screen's
    // list of a few megabytes is then read without decrypting it again, which
    // halves the time of such a select, for at most 2 MiB more memory.
    if (sqlite3_exec(connection.get(),
                     "PRAGMA busy_timeout = 5000; PRAGMA journal_mode = WAL; PRAGMA foreign_keys = ON; "
                     "PRAGMA cache_size = -4096;",
                     nullptr,
                     nullptr, nullptr) != SQLITE_OK)
        throw DbError(std::string("cannot open the encrypted database: ") + sqlite3_errmsg(connection.get()));

    authorizer_.install(connection.get());
    damage_.clear();
    connection_ = std::move(connection);
}

// Reads "db-key", or makes and stores a new one. The new key is stored before
// the file has been checked with it: a file whose key was lost then fails the
// same way on every start instead of getting a fresh key each time.
std::string Db::database_key() {
    if (auto stored = secrets_.get(kDatabaseKeySecret)) {
        if (!is_key_text(*stored)) throw DbError("the stored db-key is not 64 hexadecimal characters");
        return std::move(*stored);
    }
    std::string key = new_key();
    secrets_.set(kDatabaseKeySecret, key);
    return key;
}

void Db::execute(const std::string& sql, const nlohmann::json::array_t& params) {
    std::lock_guard lock(mutex_);
    execute_locked(sql, params);
}

void Db::execute_all(const std::vector<ListedStatement>& statements) {
    std::lock_guard lock(mutex_);
    if (!connection_) throw DbError("database is not open");
    for (const auto& statement : statements)
        if (controls_transaction(statement.first)) throw DbError("a statement list cannot control its transaction");
    sqlite3* db = connection_.get();
    // Outside a transaction the list takes the write lock at once, as the
    // client's own transactions do; inside one it may undo only itself.
    const bool own = sqlite3_get_autocommit(db) != 0;
    if (sqlite3_exec(db, own ? "BEGIN IMMEDIATE" : "SAVEPOINT tovik_batch", nullptr, nullptr, nullptr) != SQLITE_OK)
        fail_with_sqlite_message();
    try {
        for (const auto& [sql, params] : statements) execute_locked(sql, params);
    } catch (...) {
        sqlite3_exec(db, own ? "ROLLBACK" : "ROLLBACK TO tovik_batch; RELEASE tovik_batch", nullptr, nullptr, nullptr);
        throw;
    }
    if (sqlite3_exec(db, own ? "COMMIT" : "RELEASE tovik_batch", nullptr, nullptr, nullptr) != SQLITE_OK) {
        const std::string message = sqlite3_errmsg(db);
        if (own && !sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw DbError(message);
    }
}

void Db::execute_locked(const std::string& sql, const nlohmann::json::array_t& params) {
    const Statement statement = prepare(sql, params);
    if (!statement) return;  // only whitespace and comments: nothing to run
    if (sqlite3_column_count(statement.get()) > 0 && !sqlite3_stmt_readonly(statement.get())) {
        execute_guarded(statement.get());
        return;
    }
    const int rc = sqlite3_step(statement.get());
    if (rc == SQLITE_ROW) throw DbError(kReturnedResults);
    if (rc != SQLITE_DONE) fail_with_sqlite_message();
}

// A writing statement that yields rows (RETURNING, some PRAGMAs) has made its
// changes by the time its first row appears. Run it inside a savepoint so that
// refusing it also undoes them: a refused call must not have written anything.
void Db::execute_guarded(sqlite3_stmt* statement) {
    sqlite3* db = connection_.get();
    if (sqlite3_exec(db, "SAVEPOINT tovik_execute", nullptr, nullptr, nullptr) != SQLITE_OK)
        fail_with_sqlite_message();
    const int rc = sqlite3_step(statement);
    const std::string message = rc == SQLITE_ROW ? kReturnedResults : sqlite3_errmsg(db);
    sqlite3_reset(statement);
    if (rc == SQLITE_DONE) {
        if (sqlite3_exec(db, "RELEASE tovik_execute", nullptr, nullptr, nullptr) != SQLITE_OK)
            fail_with_sqlite_message();
        return;
    }
    sqlite3_exec(db, "ROLLBACK TO tovik_execute; RELEASE tovik_execute", nullptr, nullptr, nullptr);
    throw DbError(message);
}

std::string Db::select(const std::string& sql, const nlohmann::json::array_t& params,
                       const std::function<void(std::string rows)>& part) {
    std::lock_guard lock(mutex_);
    const Statement statement = prepare(sql, params);
    std::string rows = "[";
    std::size_t parted = 0;  // bytes already handed over in parts
    if (statement) {
        const RowWriter writer(statement.get());
        int rc;
        while ((rc = sqlite3_step(statement.get())) == SQLITE_ROW) {
            if (rows.size() > 1) rows += ',';
            make_room(rows);
            writer.append_row(statement.get(), rows);
            if (parted + rows.size() > result_limit_bytes_)
                throw DbError("the result is too large for one reply (over " +
                              std::to_string(result_limit_bytes_ >> 20) + " MB); read it in pages");
            if (part && rows.size() >= kSelectPartBytes) {
                rows += ']';
                parted += rows.size();
                part(std::exchange(rows, "["));
                rows.reserve(kSelectPartBytes + (64u << 10));
            }
        }
        if (rc != SQLITE_DONE) fail_with_sqlite_message();
    }
    rows += ']';
    return rows;
}

// Prepares exactly one statement and binds the parameters to it. Returns an
// empty handle when the text holds no statement at all.
Statement Db::prepare(const std::string& sql, const nlohmann::json::array_t& params) {
    if (!connection_) throw DbError("database is not open");
    if (sql.size() >= static_cast<std::size_t>(std::numeric_limits<int>::max())) throw DbError("statement too long");
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    const int rc = sqlite3_prepare_v2(connection_.get(), sql.c_str(), static_cast<int>(sql.size()) + 1, &raw, &tail);
    Statement statement(raw);
    if (rc != SQLITE_OK) fail_with_sqlite_message();
    // SQLite stops at an embedded NUL, which then counts as more text here.
    const std::size_t used = tail ? static_cast<std::size_t>(tail - sql.c_str()) : sql.size();
    if (!only_whitespace_and_comments(std::string_view(sql).substr(used)))
        throw DbError("Multiple statements provided");

    const int needed = statement ? sqlite3_bind_parameter_count(statement.get()) : 0;
    if (params.size() != static_cast<std::size_t>(needed))
        throw DbError("Wrong number of parameters passed to query. Got " + std::to_string(params.size()) +
                      ", needed " + std::to_string(needed));
    for (int i = 0; i < needed; ++i)
        if (bind_json(statement.get(), i + 1, params[static_cast<std::size_t>(i)]) != SQLITE_OK)
            fail_with_sqlite_message();
    return statement;
}

void Db::fail_with_sqlite_message() {
    sqlite3* db = connection_.get();
    switch (sqlite3_errcode(db)) {
        case SQLITE_AUTH:
            throw DbError(authorizer_.refusal());
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
            damage_ = sqlite3_errmsg(db);
            break;
        case SQLITE_NOMEM:
            if (!damage_.empty()) throw DbError(damage_);
            break;
        default:
            break;
    }
    throw DbError(sqlite3_errmsg(db));
}

}  // namespace tovik
