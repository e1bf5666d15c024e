#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "db/db_commands.hpp"
#include "db/sqlite_handles.hpp"

namespace tovik {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

struct Reply {
    bool ok;
    json value;        // the result, or the failure message
    std::string text;  // the result as the page receives it
};

// Counts what reaches the backend; can be told to fail.
class CountingStore final : public SecretStore {
public:
    explicit CountingStore(const fs::path& file) : inner_(make_file_secret_store(file)) {}
    int calls = 0;
    std::string fail_with;  // when set, every call fails with this text

protected:
    std::optional<std::string> do_get(const std::string& name) override {
        touch();
        return inner_->get(name);
    }
    void do_set(const std::string& name, const std::string& value) override {
        touch();
        inner_->set(name, value);
    }
    void do_remove(const std::string& name) override {
        touch();
        inner_->remove(name);
    }

private:
    void touch() {
        ++calls;
        if (!fail_with.empty()) throw SecretStoreError(fail_with);
    }
    std::unique_ptr<SecretStore> inner_;
};

class DbTest : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() /
                ("tovik-db-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root_);
        data_dir_ = root_ / "roaming" / "com.quillarex.offline";
        store_ = std::make_unique<CountingStore>(root_ / "secrets.json");
        start();
    }
    void TearDown() override {
        table_.reset();
        db_.reset();
        fs::remove_all(root_);
    }

    // A fresh Db and command table over the same folder and store: a restart.
    void start() {
        table_.reset();
        db_.reset();
        db_ = std::make_unique<Db>(data_dir_, *store_);
        table_ = std::make_unique<CommandTable>();
        add_db_commands(*table_, *db_);
    }

    Reply call(const std::string& name, const json& args, const PartFn& part = {}) {
        try {
            CommandResult result = table_->find(name)->handler(args, part);
            if (!result.text) return {true, std::move(result.value), {}};
            return {true, json::parse(*result.text), std::move(*result.text)};
        } catch (const std::exception& e) {
            return {false, e.what(), {}};
        }
    }
    Reply open() { return call("db_open", json::object()); }
    Reply execute(const std::string& sql, json params = json::array()) {
        return call("db_execute", {{"sql", sql}, {"params", std::move(params)}});
    }
    Reply select(const std::string& sql, json params = json::array(), const PartFn& part = {}) {
        return call("db_select", {{"sql", sql}, {"params", std::move(params)}}, part);
    }
    void must(const Reply& reply) { ASSERT_TRUE(reply.ok) << reply.value; }

    fs::path database_file() const { return data_dir_ / "quillarex.db"; }

    fs::path root_;
    fs::path data_dir_;
    std::unique_ptr<CountingStore> store_;
    std::unique_ptr<Db> db_;
    std::unique_ptr<CommandTable> table_;
};

std::string file_head(const fs::path& path, std::size_t bytes) {
    std::ifstream in(path, std::ios::binary);
    std::string head(bytes, '\0');
    in.read(head.data(), static_cast<std::streamsize>(bytes));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return head;
}

TEST_F(DbTest, FirstOpenCreatesAnEncryptedFileAndAKey) {
    EXPECT_EQ(select("SELECT 1").value, "database is not open");
    EXPECT_EQ(execute("CREATE TABLE t (v)").value, "database is not open");

    const Reply first = open();
    ASSERT_TRUE(first.ok) << first.value;
    EXPECT_EQ(first.value, nullptr);
    ASSERT_TRUE(fs::is_regular_file(database_file()));
    const auto key = store_->get("db-key");
    ASSERT_TRUE(key);
    EXPECT_TRUE(std::regex_match(*key, std::regex("[0-9a-f]{64}"))) << *key;

    const int calls = store_->calls;
    const Reply second = open();
    EXPECT_TRUE(second.ok);
    EXPECT_EQ(second.value, nullptr);
    EXPECT_EQ(store_->calls, calls) << "an open database must not touch the store";

    must(execute("CREATE TABLE t (v TEXT)"));
    must(execute("INSERT INTO t VALUES ('plain words')"));
    must(select("PRAGMA wal_checkpoint(TRUNCATE)"));
    const std::string head = file_head(database_file(), 4096);
    ASSERT_EQ(head.size(), 4096u);
    EXPECT_NE(head.substr(0, 16), std::string("SQLite format 3\0", 16));
    EXPECT_EQ(head.find("plain words"), std::string::npos);

    EXPECT_EQ(select("PRAGMA journal_mode").value, json::parse(R"([{"journal_mode":"wal"}])"));
    EXPECT_EQ(select("PRAGMA foreign_keys").value, json::parse(R"([{"foreign_keys":1}])"));
    EXPECT_EQ(select("PRAGMA busy_timeout").value, json::parse(R"([{"timeout":5000}])"));

    // A restart reads the same data with the stored key.
    start();
    must(open());
    EXPECT_EQ(select("SELECT v FROM t").value, json::parse(R"([{"v":"plain words"}])"));
    EXPECT_EQ(store_->get("db-key"), key);
}

TEST_F(DbTest, FileWrittenIsReadableWithTheRawKeyAndDefaultSettings) {
    must(open());
    must(execute("CREATE TABLE t (v)"));
    must(execute("INSERT INTO t VALUES (42)"));
    db_.reset();

    // Another SQLCipher 4 reader: only the raw key, no other settings.
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(database_file().c_str(), &raw, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    const Connection reader(raw);
    const std::string key = "PRAGMA key = \"x'" + *store_->get("db-key") + "'\";";
    ASSERT_EQ(sqlite3_exec(reader.get(), key.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
    int value = 0;
    ASSERT_EQ(sqlite3_exec(
                  reader.get(), "SELECT v FROM t",
                  [](void* out, int, char** cells, char**) {
                      *static_cast<int*>(out) = std::stoi(cells[0]);
                      return 0;
                  },
                  &value, nullptr),
              SQLITE_OK)
        << sqlite3_errmsg(reader.get());
    EXPECT_EQ(value, 42);
    ASSERT_EQ(sqlite3_exec(
                  reader.get(), "PRAGMA cipher_page_size",
                  [](void* out, int, char** cells, char**) {
                      *static_cast<int*>(out) = std::stoi(cells[0]);
                      return 0;
                  },
                  &value, nullptr),
              SQLITE_OK);
    EXPECT_EQ(value, 4096);
}

TEST_F(DbTest, LostKeyFailsEveryTimeAndKeepsTheNewKey) {
    must(open());
    must(execute("CREATE TABLE t (v)"));
    const std::string old_key = *store_->get("db-key");
    store_->remove("db-key");

    for (int attempt = 0; attempt < 2; ++attempt) {
        start();
        const Reply reply = open();
        EXPECT_FALSE(reply.ok);
        EXPECT_EQ(reply.value, "cannot open the encrypted database: file is not a database");
        EXPECT_EQ(select("SELECT 1").value, "database is not open") << "a failed open leaves the slot empty";
    }
    const auto new_key = store_->get("db-key");
    ASSERT_TRUE(new_key);
    EXPECT_NE(*new_key, old_key);
    // Same key after both attempts: it was stored once, before the check.
    EXPECT_EQ(open().value, "cannot open the encrypted database: file is not a database");
    EXPECT_EQ(store_->get("db-key"), new_key);
}

TEST_F(DbTest, FilesThatAreNotThisDatabaseAreRefused) {
    // A plain (unencrypted) SQLite file, and text.
    const auto write_plain = [](const fs::path& path) {
        sqlite3* raw = nullptr;
        sqlite3_open(path.c_str(), &raw);
        const Connection plain(raw);
        sqlite3_exec(plain.get(), "CREATE TABLE t (v); INSERT INTO t VALUES (1);", nullptr, nullptr, nullptr);
    };
    const auto write_text = [](const fs::path& path) {
        std::ofstream(path) << std::string(8192, 'x');
    };
    for (const auto& write : {+write_plain, +write_text}) {
        fs::remove_all(data_dir_);
        fs::create_directories(data_dir_);
        write(database_file());
        start();
        EXPECT_EQ(open().value, "cannot open the encrypted database: file is not a database");
        EXPECT_EQ(execute("CREATE TABLE u (v)").value, "database is not open");
    }
}

TEST_F(DbTest, StoreAndFolderFailuresPassThrough) {
    store_->fail_with = "the keyring is locked";
    EXPECT_EQ(open().value, "the keyring is locked");
    EXPECT_EQ(select("SELECT 1").value, "database is not open");
    store_->fail_with.clear();

    const std::string bad_keys[] = {"x'; ATTACH 'evil' AS e; --", std::string(63, 'a'), ""};
    for (const auto& bad : bad_keys) {
        store_->set("db-key", bad);
        EXPECT_EQ(open().value, "the stored db-key is not 64 hexadecimal characters");
    }

    store_->remove("db-key");
    fs::remove_all(root_ / "roaming");
    std::ofstream(root_ / "roaming") << "a file where the folder should be";
    const Reply reply = open();
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.value, std::make_error_code(std::errc::not_a_directory).message());
}

TEST_F(DbTest, RowObjects) {
    must(open());
    const std::pair<std::string, std::string> cases[] = {
        {"SELECT 1 AS b, 2 AS a", R"([{"a":2,"b":1}])"},
        {"SELECT 1 AS x, 2 AS x", R"([{"x":2}])"},
        {"SELECT 1 AS x, 2 AS y, 3 AS x", R"([{"x":3,"y":2}])"},
        // byte-wise: upper case before '_' before lower case before non-ASCII
        {"SELECT 1 AS \"é\", 2 AS a, 3 AS _, 4 AS B", R"([{"B":4,"_":3,"a":2,"é":1}])"},
        {"SELECT 1 AS v UNION ALL SELECT 2 ORDER BY 1", R"([{"v":1},{"v":2}])"},
        {"SELECT 1 WHERE 0", "[]"},
        {"SELECT 1 AS \"a\"\"\\b\"", R"([{"a\"\\b":1}])"},
        {"SELECT 1 AS \"" "\xFF" "\"", "[{\"\xEF\xBF\xBD\":1}]"},
    };
    for (const auto& [sql, expected] : cases) EXPECT_EQ(select(sql).text, expected) << sql;
}

TEST_F(DbTest, CellConversion) {
    must(open());
    const std::pair<std::string, std::string> cases[] = {
        {"SELECT NULL AS v", R"([{"v":null}])"},
        {"SELECT x'00ff' AS v", R"([{"v":null}])"},
        {"SELECT 2.0 AS v", R"([{"v":2.0}])"},
        {"SELECT -0.5 AS v", R"([{"v":-0.5}])"},
        {"SELECT 1e999 AS v, -1e999 AS w", R"([{"v":null,"w":null}])"},
        {"SELECT 9223372036854775807 AS v, -9223372036854775808 AS w",
         R"([{"v":9223372036854775807,"w":-9223372036854775808}])"},
        {"SELECT CAST(x'61ff62' AS TEXT) AS v", "[{\"v\":\"a\xEF\xBF\xBD" "b\"}]"},
        {"SELECT CAST(x'e282' AS TEXT) AS v", "[{\"v\":\"\xEF\xBF\xBD\"}]"},
        {"SELECT 'مرحبا' AS v", R"([{"v":"مرحبا"}])"},
        {"SELECT 0.1 AS v, 1e300 AS w, -2.5e-8 AS x, 123456789012.0 AS y",
         R"([{"v":0.1,"w":1e+300,"x":-2.5e-08,"y":123456789012.0}])"},
        {"SELECT 'q\"b\\' || char(10, 9, 1, 31) || '/' AS v", R"([{"v":"q\"b\\\n\t\u0001\u001f/"}])"},
    };
    for (const auto& [sql, expected] : cases) EXPECT_EQ(select(sql).text, expected) << sql;

    // NaN cannot be stored (SQLite keeps NULL), and comes back as null either way.
    must(execute("CREATE TABLE r (v REAL)"));
    must(execute("INSERT INTO r VALUES (?)", json::array({std::nan("")})));
    EXPECT_EQ(select("SELECT v FROM r").text, R"([{"v":null}])");
}

TEST_F(DbTest, ParameterBinding) {
    must(open());
    struct Case {
        std::string param;  // JSON text, parsed as the bridge parses it
        std::string type;
        std::string value;
    };
    const Case cases[] = {
        {"null", "null", "null"},
        {"true", "integer", "1"},
        {"false", "integer", "0"},
        {"42", "integer", "42"},
        {"-7", "integer", "-7"},
        {"9223372036854775807", "integer", "9223372036854775807"},
        {"-9223372036854775808", "integer", "-9223372036854775808"},
        {"9223372036854775808", "real", "9.223372036854776e+18"},
        {"18446744073709551616", "real", "1.8446744073709552e+19"},
        {"-9223372036854775809", "real", "-9.223372036854776e+18"},
        {"1.5", "real", "1.5"},
        {"1.0", "real", "1.0"},
        {"1e2", "real", "100.0"},
        {R"("text")", "text", R"("text")"},
        {R"("مرحبا")", "text", R"("مرحبا")"},
        {R"("")", "text", R"("")"},
        {"[1,2]", "text", R"("[1,2]")"},
        {R"({ "b": 1, "a": [true, null] })", "text", R"("{\"a\":[true,null],\"b\":1}")"},
    };
    for (const auto& c : cases) {
        const Reply reply = select("SELECT typeof(?1) AS t, ?1 AS v", json::array({json::parse(c.param)}));
        ASSERT_TRUE(reply.ok) << reply.value;
        EXPECT_EQ(reply.value[0]["t"], c.type) << c.param;
        EXPECT_EQ(reply.value[0]["v"].dump(), c.value) << c.param;
    }

    // Positional: the first element to the first placeholder.
    EXPECT_EQ(select("SELECT ? AS a, ? AS b", json::array({"x", 2})).value.dump(), R"([{"a":"x","b":2}])");
}

TEST_F(DbTest, ExecuteAndSelectErrors) {
    must(open());
    must(execute("CREATE TABLE t (id INTEGER PRIMARY KEY, u TEXT UNIQUE, v)"));
    must(execute("INSERT INTO t (u, v) VALUES ('one', 1)"));
    const std::string returned = "Execute returned results - did you mean to call query?";
    struct Case {
        std::string command;
        std::string sql;
        json params;
        std::string message;
    };
    const Case cases[] = {
        {"db_execute", "SELECT * FROM t", json::array(), returned},
        {"db_execute", "INSERT INTO t (u, v) VALUES ('two', 2) RETURNING id", json::array(), returned},
        {"db_execute", "UPDATE t SET v = 9 RETURNING v", json::array(), returned},
        {"db_execute", "PRAGMA user_version", json::array(), returned},
        {"db_execute", "INSERT INTO t (u) VALUES ('a'); INSERT INTO t (u) VALUES ('b')", json::array(),
         "Multiple statements provided"},
        {"db_execute", "INSERT INTO t (u) VALUES ('a');;", json::array(), "Multiple statements provided"},
        {"db_select", "SELECT 1; SELECT 2", json::array(), "Multiple statements provided"},
        {"db_select", std::string("SELECT 1;\0DELETE FROM t", 23), json::array(), "Multiple statements provided"},
        {"db_execute", "INSERT INTO t (u) VALUES (?)", json::array(), "Wrong number of parameters passed to query. Got 0, needed 1"},
        {"db_select", "SELECT ?, ?", json::array({1, 2, 3}), "Wrong number of parameters passed to query. Got 3, needed 2"},
        {"db_select", "SELECT ?3", json::array({1}), "Wrong number of parameters passed to query. Got 1, needed 3"},
        {"db_execute", "-- nothing", json::array({1}), "Wrong number of parameters passed to query. Got 1, needed 0"},
        {"db_execute", "INSERT INTO t (u) VALUES ('one')", json::array(), "UNIQUE constraint failed: t.u"},
        {"db_execute", "ALTER TABLE t ADD COLUMN v TEXT", json::array(), "duplicate column name: v"},
        {"db_select", "SELECT * FROM missing", json::array(), "no such table: missing"},
        {"db_execute", "SELEC 1", json::array(), "near \"SELEC\": syntax error"},
    };
    for (const auto& c : cases) {
        const Reply reply = call(c.command, {{"sql", c.sql}, {"params", c.params}});
        EXPECT_FALSE(reply.ok) << c.sql;
        EXPECT_EQ(reply.value, c.message) << c.sql;
    }
    // None of the refused statements changed anything.
    EXPECT_EQ(select("SELECT u, v FROM t").value.dump(), R"([{"u":"one","v":1}])");
    EXPECT_EQ(select("PRAGMA user_version").value.dump(), R"([{"user_version":0}])");

    EXPECT_EQ(call("db_select", {{"sql", "SELECT 1"}}).value, "command db_select missing required key params");
    EXPECT_EQ(call("db_select", {{"sql", "SELECT 1"}, {"params", json::object()}}).value,
              "invalid args `params` for command `db_select`: invalid type: an object, expected an array");
    EXPECT_EQ(call("db_execute", {{"params", json::array()}}).value, "command db_execute missing required key sql");
}

TEST_F(DbTest, AcceptedStatementTexts) {
    must(open());
    must(execute("CREATE TABLE t (v);"));
    const std::string accepted[] = {
        "INSERT INTO t VALUES (1);",
        "INSERT INTO t VALUES (2) -- trailing comment",
        "INSERT INTO t VALUES (3); /* block */ \n -- line\n\t ",
        "  /* leading */ INSERT INTO t VALUES (4)",
        "INSERT INTO t VALUES (5); /* unclosed comment",
        "UPDATE t SET v = v WHERE 0 RETURNING v",  // a writing statement that yields no row
        "SELECT * FROM t WHERE 0",
        "PRAGMA user_version = 3",
        "",
    };
    for (const auto& sql : accepted) {
        const Reply reply = execute(sql);
        EXPECT_TRUE(reply.ok) << sql << ": " << reply.value;
        EXPECT_EQ(reply.value, nullptr);
    }
    EXPECT_EQ(select("SELECT group_concat(v) AS v FROM t").value.dump(), R"([{"v":"1,2,3,4,5"}])");
    EXPECT_EQ(select("-- nothing to run").value, json::array());

    // Setting pragmas take effect (a migration turns foreign keys off around a table rebuild).
    must(execute("PRAGMA foreign_keys = OFF"));
    EXPECT_EQ(select("PRAGMA foreign_keys").value.dump(), R"([{"foreign_keys":0}])");
    EXPECT_EQ(select("PRAGMA user_version").value.dump(), R"([{"user_version":3}])");
}

TEST_F(DbTest, ResultPastTheLimitIsRefusedWithItsReason) {
    db_ = std::make_unique<Db>(data_dir_, *store_, std::size_t{3} << 20);
    table_ = std::make_unique<CommandTable>();
    add_db_commands(*table_, *db_);
    must(open());
    const std::string rows = "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < ?) "
                             "SELECT x, printf('%.*c', 1000, 'r') AS filler FROM n";
    EXPECT_TRUE(select(rows, json::array({3000})).ok);
    const Reply refused = select(rows, json::array({4000}));
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.value, "the result is too large for one reply (over 3 MB); read it in pages");
    // Parts count towards the limit: each is small, the result is not.
    std::size_t parts = 0;
    const Reply refused_in_parts = select(rows, json::array({4000}), [&](std::string) { ++parts; });
    EXPECT_GT(parts, 0u);
    EXPECT_EQ(refused_in_parts.value, refused.value);
    // The connection is usable afterwards.
    EXPECT_EQ(select("SELECT 1 AS one").value.dump(), R"([{"one":1}])");
}

TEST_F(DbTest, LongResultComesInPartsThatJoinToTheWholeResult) {
    must(open());
    // Row 2500 fails at run time (malformed JSON), after some parts have gone.
    const std::string rows = "WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < ?) "
                             "SELECT x, CASE WHEN x = 2500 THEN json('{') ELSE printf('%.*c', 700, 'r') END AS filler, "
                             "'مرحبا' AS greeting FROM n";
    const auto in_parts = [&](int count, std::vector<std::string>& parts) {
        return select(rows, json::array({count}), [&](std::string part) { parts.push_back(std::move(part)); });
    };
    std::vector<std::string> parts;
    const Reply last = in_parts(2000, parts);
    ASSERT_TRUE(last.ok) << last.value;
    ASSERT_GE(parts.size(), 2u);
    json joined = json::array();
    for (const auto& part : parts) {
        EXPECT_GE(part.size(), Db::kSelectPartBytes);
        for (auto& row : json::parse(part)) joined.push_back(std::move(row));
    }
    for (const auto& row : last.value) joined.push_back(row);
    EXPECT_EQ(joined, select(rows, json::array({2000})).value);
    EXPECT_EQ(joined.size(), 2000u);

    std::vector<std::string> short_parts;
    EXPECT_EQ(in_parts(10, short_parts).value.size(), 10u);
    EXPECT_TRUE(short_parts.empty());

    std::vector<std::string> failed_parts;
    const Reply failed = in_parts(3000, failed_parts);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.value, "malformed JSON");
    EXPECT_FALSE(failed_parts.empty());
}

TEST_F(DbTest, FailedStatementLeavesTheTransactionOpen) {
    must(open());
    must(execute("CREATE TABLE t (u TEXT UNIQUE)"));
    must(execute("INSERT INTO t VALUES ('before')"));

    must(execute("BEGIN IMMEDIATE"));
    must(execute("INSERT INTO t VALUES ('inside')"));
    EXPECT_EQ(execute("INSERT INTO t VALUES ('before')").value, "UNIQUE constraint failed: t.u");
    EXPECT_EQ(execute("INSERT INTO t VALUES ('x') RETURNING u").value,
              "Execute returned results - did you mean to call query?");
    EXPECT_EQ(select("SELECT u FROM t ORDER BY u").value.dump(), R"([{"u":"before"},{"u":"inside"}])");
    must(execute("ROLLBACK"));
    EXPECT_EQ(select("SELECT u FROM t").value.dump(), R"([{"u":"before"}])");

    must(execute("BEGIN"));
    must(execute("INSERT INTO t VALUES ('kept')"));
    EXPECT_FALSE(execute("INSERT INTO missing VALUES (1)").ok);
    must(execute("COMMIT"));
    EXPECT_EQ(select("SELECT count(*) AS n FROM t").value.dump(), R"([{"n":2}])");
}

TEST_F(DbTest, StatementListIsOneUnitOnItsOwnOrInsideATransaction) {
    must(open());
    must(execute("CREATE TABLE t (u TEXT UNIQUE)"));
    const auto batch = [this](std::initializer_list<std::pair<const char*, json>> statements) {
        json list = json::array();
        for (const auto& [sql, params] : statements) list.push_back({{"sql", sql}, {"params", params}});
        return call("db_batch", {{"statements", list}});
    };
    const auto rows = [this] { return select("SELECT u FROM t ORDER BY u").value.dump(); };

    must(batch({{"INSERT INTO t VALUES (?)", {"a"}}, {"INSERT INTO t VALUES (?)", {"b"}}}));
    EXPECT_EQ(rows(), R"([{"u":"a"},{"u":"b"}])");
    // A refused statement undoes the whole list, with the statement's own message.
    EXPECT_EQ(batch({{"INSERT INTO t VALUES (?)", {"c"}}, {"INSERT INTO t VALUES (?)", {"a"}}}).value,
              "UNIQUE constraint failed: t.u");
    EXPECT_EQ(batch({{"INSERT INTO t VALUES ('x') RETURNING u", json::array()}}).value,
              "Execute returned results - did you mean to call query?");
    EXPECT_EQ(batch({{"INSERT INTO t VALUES (?)", json::array()}}).value,
              "Wrong number of parameters passed to query. Got 0, needed 1");
    EXPECT_EQ(batch({{"INSERT INTO t VALUES ('y')", json::array()}, {" /* end */ commit", json::array()}}).value,
              "a statement list cannot control its transaction");
    EXPECT_EQ(rows(), R"([{"u":"a"},{"u":"b"}])");
    // Bad arguments are refused before anything runs.
    EXPECT_EQ(call("db_batch", {{"statements", json::array({{{"sql", "INSERT INTO t VALUES ('z')"}}})}}).value,
              "command db_batch missing required key params");

    // Inside the caller's transaction a failed list undoes only itself.
    must(execute("BEGIN IMMEDIATE"));
    must(execute("INSERT INTO t VALUES ('inside')"));
    EXPECT_FALSE(batch({{"INSERT INTO t VALUES ('listed')", json::array()}, {"INSERT INTO t VALUES ('a')", json::array()}}).ok);
    must(batch({{"INSERT INTO t VALUES ('kept')", json::array()}}));
    must(execute("ROLLBACK"));
    EXPECT_EQ(rows(), R"([{"u":"a"},{"u":"b"}])");
    must(execute("BEGIN IMMEDIATE"));
    must(batch({{"INSERT INTO t VALUES ('kept')", json::array()}}));
    EXPECT_EQ(batch({{"ROLLBACK", json::array()}}).value, "a statement list cannot control its transaction");
    must(execute("COMMIT"));
    EXPECT_EQ(rows(), R"([{"u":"a"},{"u":"b"},{"u":"kept"}])");
}

TEST_F(DbTest, OpeningAgainEndsATransactionLeftByAReloadedPage) {
    must(open());
    must(execute("CREATE TABLE t (u TEXT)"));
    must(execute("BEGIN IMMEDIATE"));
    must(execute("INSERT INTO t VALUES ('unfinished')"));
    // The page reloads and opens again; its first transaction must start.
    must(open());
    must(execute("BEGIN IMMEDIATE"));
    must(execute("INSERT INTO t VALUES ('next')"));
    must(execute("COMMIT"));
    EXPECT_EQ(select("SELECT u FROM t").value.dump(), R"([{"u":"next"}])");
}

TEST_F(DbTest, KeyAndOtherFilesAreOutOfThePagesReach) {
    must(open());
    must(execute("CREATE TABLE t (v)"));
    must(execute("INSERT INTO t VALUES ('kept')"));
    const std::string copy = (root_ / "copy.db").string();
    const std::string refused[] = {
        "PRAGMA rekey = 'other'",
        "PRAGMA key = 'other'",
        "PRAGMA hexrekey = '00'",
        "PRAGMA Cipher_Page_Size = 1024",
        "PRAGMA main.cipher_migrate",
        "PRAGMA kdf_iter = 1",
        "ATTACH '" + copy + "' AS plain KEY ''",
        "DETACH main",
        "ATTACH '' || '" + copy + "' AS plain",
        "SELECT sqlcipher_export('plain')",
        "VACUUM INTO '" + copy + "'",
    };
    for (const auto& sql : refused) {
        for (const char* command : {"db_execute", "db_select"}) {
            const Reply reply = call(command, {{"sql", sql}, {"params", json::array()}});
            EXPECT_FALSE(reply.ok) << sql;
            EXPECT_TRUE(reply.value.get<std::string>().starts_with("not authorized")) << sql << ": " << reply.value;
        }
    }
    EXPECT_FALSE(fs::exists(copy));

    // What the schema and its migrations use stays allowed.
    const std::string allowed[] = {
        "CREATE TABLE u (id INTEGER PRIMARY KEY, v TEXT)",
        "CREATE INDEX u_v ON u (v)",
        "ALTER TABLE u ADD COLUMN w INTEGER",
        "PRAGMA foreign_keys = OFF",
        "PRAGMA foreign_keys = ON",
        "PRAGMA user_version = 7",
        "DROP INDEX u_v",
        "VACUUM",
    };
    for (const auto& sql : allowed) {
        const Reply reply = execute(sql);
        EXPECT_TRUE(reply.ok) << sql << ": " << reply.value;
    }
    EXPECT_EQ(select("SELECT name FROM pragma_table_info('u') ORDER BY cid").value.dump(),
              R"([{"name":"id"},{"name":"v"},{"name":"w"}])");
    EXPECT_EQ(select("PRAGMA integrity_check").value.dump(), R"([{"integrity_check":"ok"}])");

    // The key is unchanged: a restart reads the data.
    start();
    must(open());
    EXPECT_EQ(select("SELECT v FROM t").value.dump(), R"([{"v":"kept"}])");
}

TEST_F(DbTest, TwoOpenersOfAFreshFolderShareOneKey) {
    // Two hosts with their own store objects over one secrets file, as two
    // processes have; each writes, then a restart must read both rows.
    for (int trial = 0; trial < 8; ++trial) {
        fs::remove_all(root_);
        CountingStore store_a(root_ / "secrets.json");
        CountingStore store_b(root_ / "secrets.json");
        {
            Db a(data_dir_, store_a);
            Db b(data_dir_, store_b);
            std::string failure_a;
            std::string failure_b;
            const auto run = [](Db& db, const char* name, std::string& failure) {
                try {
                    db.open();
                    db.execute("CREATE TABLE IF NOT EXISTS t (v)", {});
                    db.execute("INSERT INTO t VALUES (?)", {name});
                } catch (const std::exception& e) {
                    failure = e.what();
                }
            };
            std::thread first(run, std::ref(a), "a", std::ref(failure_a));
            std::thread second(run, std::ref(b), "b", std::ref(failure_b));
            first.join();
            second.join();
            ASSERT_EQ(failure_a, "") << "trial " << trial;
            ASSERT_EQ(failure_b, "") << "trial " << trial;
        }
        start();
        must(open());
        EXPECT_EQ(select("SELECT v FROM t ORDER BY v").value.dump(), R"([{"v":"a"},{"v":"b"}])") << "trial " << trial;
    }
}

TEST_F(DbTest, DamagedPageKeepsItsCauseInLaterMessages) {
    must(open());
    must(execute("CREATE TABLE t (v)"));
    for (int i = 0; i < 50; ++i) must(execute("INSERT INTO t VALUES (randomblob(500))"));
    must(select("PRAGMA wal_checkpoint(TRUNCATE)"));
    db_.reset();
    {
        std::fstream file(database_file(), std::ios::in | std::ios::out | std::ios::binary);
        file.seekp(3 * 4096 + 100);
        file << std::string(64, 'z');
    }
    start();
    must(open());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(select("SELECT sum(length(v)) AS n FROM t").value, "database disk image is malformed") << i;
    EXPECT_EQ(execute("INSERT INTO t VALUES (1)").value, "database disk image is malformed");
}

}  // namespace
}  // namespace tovik
