#pragma once
#include <filesystem>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "db/page_authorizer.hpp"
#include "db/sqlite_handles.hpp"
#include "secrets/secret_store.hpp"

namespace tovik {

// A failure of a database call; its text is what the page receives.
class DbError : public std::runtime_error {
public:
    explicit DbError(const std::string& message) : std::runtime_error(message) {}
};

// The host's one encrypted database connection. The slot is empty until open()
// succeeds and then holds the connection for the life of the object. Every
// call holds one lock from parameter conversion to the last row, so statements
// never interleave; transactions are the caller's business.
class Db {
public:
    // The largest result one select hands back: a page's string cannot hold
    // much more (Chromium's limit is about 512 MB), and a reply that large is
    // a query that should read in pages.
    static constexpr std::size_t kResultLimitBytes = std::size_t{256} << 20;

    Db(std::filesystem::path data_dir, SecretStore& secrets, std::size_t result_limit_bytes = kResultLimitBytes);

    // Creates or opens "quillarex.db" in the data folder and unlocks it with
    // the key kept as "db-key" in the secret store (made on first use).
    // Other processes opening the same folder wait for this one (and it for
    // them), so one key is made and used. Does nothing when already open; a
    // failure leaves the slot empty.
    void open();
    // Runs one statement that returns no rows.
    void execute(const std::string& sql, const nlohmann::json::array_t& params);
    // Runs statements that return no rows, in order, as one unit: inside the
    // caller's transaction as a savepoint, else as a transaction of their own.
    // The first failure undoes them all and its message is the call's.
    // The parameters are the caller's, read in place: a page of records is
    // thousands of them.
    using ListedStatement = std::pair<std::string, std::reference_wrapper<const nlohmann::json::array_t>>;
    void execute_all(const std::vector<ListedStatement>& statements);
    // About this much of a result goes in each part.
    static constexpr std::size_t kSelectPartBytes = std::size_t{512} << 10;
    // Runs one statement and returns its rows as the JSON text of an array of
    // objects; refuses a result whose text passes the result limit. Given
    // `part`, hands it the leading rows in arrays of about kSelectPartBytes as
    // they are read, and returns the rest.
    [[nodiscard]] std::string select(const std::string& sql, const nlohmann::json::array_t& params,
                                     const std::function<void(std::string rows)>& part = {});

private:
    [[nodiscard]] std::string database_key();
    void execute_locked(const std::string& sql, const nlohmann::json::array_t& params);
    [[nodiscard]] Statement prepare(const std::string& sql, const nlohmann::json::array_t& params);
    void execute_guarded(sqlite3_stmt* statement);
    [[noreturn]] void fail_with_sqlite_message();

    std::filesystem::path data_dir_;
    SecretStore& secrets_;
    std::size_t result_limit_bytes_;
    std::mutex mutex_;
    PageAuthorizer authorizer_;
    // Why the file became unreadable, once it has; SQLCipher reports later
    // failures on such a file as "out of memory".
    std::string damage_;
    Connection connection_;
};

}  // namespace tovik
