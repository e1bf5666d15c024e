// SQLite backend: one writer connection behind a mutex (SQLite allows one writer at a time
// anyway) and a pool of reader connections; WAL lets readers run beside the writer.
#include <sqlite3.h>

#include <map>
#include <mutex>
#include <stdexcept>

#include "store/database.hpp"
#include "store/postgres_database.hpp"
#include "store/schema.hpp"

namespace tovik::store {
namespace {

struct DbClose {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
struct StmtFinalize {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using DbHandle = std::unique_ptr<sqlite3, DbClose>;
using StmtHandle = std::unique_ptr<sqlite3_stmt, StmtFinalize>;

class Connection {
 public:
  static constexpr std::size_t kMaxCachedStatements = 256;

  Connection(const std::string& path, bool readonly) {
    sqlite3* raw = nullptr;
    const int flags = (readonly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE) |
                      SQLITE_OPEN_NOMUTEX;
    const int rc = sqlite3_open_v2(path.c_str(), &raw, flags, nullptr);
    db_.reset(raw);
    if (rc != SQLITE_OK)
      throw StoreError("cannot open " + path + ": " + (raw ? sqlite3_errmsg(raw) : "out of memory"));
    // The admin command and the server write to one file; wait for each other.
    sqlite3_busy_timeout(db_.get(), 10000);
    if (!readonly) {
      run("PRAGMA journal_mode=WAL");
      run("PRAGMA synchronous=NORMAL");
    }
    run("PRAGMA foreign_keys=ON");
  }

  void run(const char* sql) {
    char* err = nullptr;
    if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, &err) != SQLITE_OK) {
      std::string msg = err ? err : "unknown error";
      sqlite3_free(err);
      throw StoreError(msg + " in: " + sql);
    }
  }

  sqlite3_stmt* prepare(std::string_view sql) {
    auto it = cache_.find(sql);
    if (it == cache_.end()) {
      // Bounded, whatever SQL callers build; statements are only in use between prepare and
      // the end of one exec or query, never while another is prepared on the connection.
      if (cache_.size() >= kMaxCachedStatements) cache_.clear();
      sqlite3_stmt* raw = nullptr;
      if (sqlite3_prepare_v3(db_.get(), sql.data(), static_cast<int>(sql.size()),
                             SQLITE_PREPARE_PERSISTENT, &raw, nullptr) != SQLITE_OK)
        throw StoreError(std::string(sqlite3_errmsg(db_.get())) + " in: " + std::string(sql));
      it = cache_.emplace(std::string(sql), StmtHandle(raw)).first;
    }
    return it->second.get();
  }

  sqlite3* get() { return db_.get(); }

 private:
  DbHandle db_;
  std::map<std::string, StmtHandle, std::less<>> cache_;
};

class SqliteTx final : public Tx {
 public:
  explicit SqliteTx(Connection& c) : c_(c) {}

  void exec(std::string_view sql, const Params& params) override {
    auto* s = bind(sql, params);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
    }
    finish(s, rc);
  }

  Rows query(std::string_view sql, const Params& params) override {
    auto* s = bind(sql, params);
    const int n = sqlite3_column_count(s);
    auto names = std::make_shared<std::vector<std::string>>();
    for (int i = 0; i < n; ++i) names->emplace_back(sqlite3_column_name(s, i));
    Rows rows;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
      std::vector<Value> values;
      values.reserve(static_cast<std::size_t>(n));
      for (int i = 0; i < n; ++i) {
        switch (sqlite3_column_type(s, i)) {
          case SQLITE_INTEGER: values.emplace_back(static_cast<std::int64_t>(sqlite3_column_int64(s, i))); break;
          case SQLITE_FLOAT: values.emplace_back(sqlite3_column_double(s, i)); break;
          case SQLITE_NULL: values.emplace_back(nullptr); break;
          default: {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
            values.emplace_back(std::string(text, static_cast<std::size_t>(sqlite3_column_bytes(s, i))));
          }
        }
      }
      rows.emplace_back(names, std::move(values));
    }
    finish(s, rc);
    return rows;
  }

  std::int64_t changes() override { return sqlite3_changes64(c_.get()); }

 private:
  sqlite3_stmt* bind(std::string_view sql, const Params& params) {
    auto* s = c_.prepare(sql);
    sqlite3_reset(s);
    sqlite3_clear_bindings(s);
    for (std::size_t i = 0; i < params.size(); ++i) {
      const std::string name = "$" + std::to_string(i + 1);
      const int idx = sqlite3_bind_parameter_index(s, name.c_str());
      if (idx == 0) continue;
      const auto& v = params[i];
      int rc = SQLITE_OK;
      if (const auto* n = std::get_if<std::int64_t>(&v)) rc = sqlite3_bind_int64(s, idx, *n);
      else if (const auto* d = std::get_if<double>(&v)) rc = sqlite3_bind_double(s, idx, *d);
      else if (const auto* t = std::get_if<std::string>(&v))
        rc = sqlite3_bind_text64(s, idx, t->data(), t->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
      else rc = sqlite3_bind_null(s, idx);
      if (rc != SQLITE_OK) throw StoreError(sqlite3_errmsg(c_.get()));
    }
    return s;
  }

  void finish(sqlite3_stmt* s, int rc) {
    if (rc != SQLITE_DONE) {
      std::string msg = sqlite3_errmsg(c_.get());
      sqlite3_reset(s);
      throw StoreError(msg);
    }
    sqlite3_reset(s);
  }

  Connection& c_;
};

class SqliteDatabase final : public Database {
 public:
  explicit SqliteDatabase(std::string path) : path_(std::move(path)), writer_(path_, false) {
    writer_.run("BEGIN IMMEDIATE");
    try {
      for (auto sql : sqlite_schema()) writer_.run(std::string(sql).c_str());
      writer_.run("COMMIT");
    } catch (...) {
      writer_.run("ROLLBACK");
      throw;
    }
  }

  void write(const std::function<void(Tx&)>& fn) override {
    std::lock_guard lock(write_mutex_);
    run_in(writer_, "BEGIN IMMEDIATE", fn);
  }

  void read(const std::function<void(Tx&)>& fn) override {
    auto conn = take_reader();
    try {
      run_in(*conn, "BEGIN", fn);
    } catch (...) {
      give_back(std::move(conn));
      throw;
    }
    give_back(std::move(conn));
  }

 private:
  static void run_in(Connection& c, const char* begin, const std::function<void(Tx&)>& fn) {
    c.run(begin);
    SqliteTx tx(c);
    try {
      fn(tx);
      c.run("COMMIT");
    } catch (...) {
      sqlite3_exec(c.get(), "ROLLBACK", nullptr, nullptr, nullptr);
      throw;
    }
  }

  std::unique_ptr<Connection> take_reader() {
    {
      std::lock_guard lock(pool_mutex_);
      if (!readers_.empty()) {
        auto c = std::move(readers_.back());
        readers_.pop_back();
        return c;
      }
    }
    return std::make_unique<Connection>(path_, true);
  }

  void give_back(std::unique_ptr<Connection> c) {
    std::lock_guard lock(pool_mutex_);
    if (readers_.size() < 16) readers_.push_back(std::move(c));
  }

  std::string path_;
  std::mutex write_mutex_;
  Connection writer_;
  std::mutex pool_mutex_;
  std::vector<std::unique_ptr<Connection>> readers_;
};

}  // namespace

std::unique_ptr<Database> open_database(const std::string& address) {
  constexpr std::string_view prefix = "sqlite:";
  if (address.rfind(prefix, 0) == 0 && address.size() > prefix.size())
    return std::make_unique<SqliteDatabase>(address.substr(prefix.size()));
  if (address.rfind("postgresql://", 0) == 0 || address.rfind("postgres://", 0) == 0)
    return open_postgres_database(address);
  throw StoreError("unknown store address '" + address + "' (expected sqlite:PATH or postgresql://...)");
}

}  // namespace tovik::store
