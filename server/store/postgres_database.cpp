// PostgreSQL backend: a pool of libpq connections shared by the threads of this process, and
// as many processes as the operator starts over one database.
//
// Writers are serialised across every process by a transaction-scoped advisory lock taken
// first in each write transaction, so a write transaction commits before the next one starts.
// That keeps the promise of Database::write that the rules rely on (their reads before a write
// see every earlier commit), and it keeps pulls gap-free: the change sequence of a company is
// handed out in commit order, so a reader that sees seq N also sees everything below N.
#include "store/postgres_database.hpp"

#include <libpq-fe.h>
#include <poll.h>

#include <charconv>
#include <mutex>
#include <unordered_map>

#include "store/schema.hpp"

namespace tovik::store {
namespace {

// Any constant will do as long as every process uses the same one.
constexpr const char* kWriterLock = "SELECT pg_advisory_xact_lock(7310501)";
constexpr std::size_t kMaxIdleConnections = 16;

struct ConnClose {
  void operator()(PGconn* c) const { PQfinish(c); }
};
struct ResultClear {
  void operator()(PGresult* r) const { PQclear(r); }
};
using ConnHandle = std::unique_ptr<PGconn, ConnClose>;
using ResultHandle = std::unique_ptr<PGresult, ResultClear>;

ConnHandle connect(const std::string& address) {
  ConnHandle c(PQconnectdb(address.c_str()));
  if (!c) throw StoreError("cannot open the PostgreSQL store: out of memory");
  if (PQstatus(c.get()) != CONNECTION_OK)
    throw StoreError("cannot open the PostgreSQL store: " + std::string(PQerrorMessage(c.get())));
  // Notices ("relation already exists, skipping") are no news; errors come back as results.
  PQsetNoticeProcessor(c.get(), [](void*, const char*) {}, nullptr);
  return c;
}

std::string describe(const PGresult* r, PGconn* c) {
  const char* state = r ? PQresultErrorField(r, PG_DIAG_SQLSTATE) : nullptr;
  std::string msg = r ? PQresultErrorMessage(r) : PQerrorMessage(c);
  while (!msg.empty() && (msg.back() == '\n' || msg.back() == ' ')) msg.pop_back();
  return state ? msg + " [" + state + "]" : msg;
}

ResultHandle run(PGconn* c, const char* sql) {
  ResultHandle r(PQexec(c, sql));
  const auto status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
    throw StoreError(describe(r.get(), c) + " in: " + sql);
  return r;
}

// Which $N the statement uses; a parameter it does not use needs a type of our choosing.
std::vector<bool> used_params(std::string_view sql, std::size_t count) {
  std::vector<bool> used(count, false);
  for (std::size_t i = 0; i < sql.size(); ++i) {
    if (sql[i] != '$') continue;
    std::size_t n = 0;
    const auto* end = sql.data() + sql.size();
    auto [next, ec] = std::from_chars(sql.data() + i + 1, end, n);
    if (ec == std::errc() && n >= 1 && n <= count) used[n - 1] = true;
  }
  return used;
}

Value decode(const PGresult* r, int row, int col) {
  if (PQgetisnull(r, row, col)) return nullptr;
  const char* text = PQgetvalue(r, row, col);
  const auto length = static_cast<std::size_t>(PQgetlength(r, row, col));
  switch (PQftype(r, col)) {
    case 20: case 21: case 23: case 26: {  // int8, int2, int4, oid
      std::int64_t n = 0;
      std::from_chars(text, text + length, n);
      return n;
    }
    case 700: case 701: case 1700: {  // float4, float8, numeric (SUM of integers)
      double d = 0;
      std::from_chars(text, text + length, d);
      return d;
    }
    case 16: return std::int64_t{text[0] == 't'};  // bool
    default: return std::string(text, length);
  }
}

// A pooled connection and the statements prepared on it, so that each statement is parsed once
// per connection rather than on every call. Plans are still made per call, with the values.
struct Connection {
  static constexpr std::size_t kMaxPrepared = 512;
  ConnHandle handle;
  std::unordered_map<std::string, std::string> prepared;  // SQL and parameter types -> name
};

class PostgresTx final : public Tx {
 public:
  explicit PostgresTx(Connection& c) : conn_(c), c_(c.handle.get()) {}

  void exec(std::string_view sql, const Params& params) override {
    auto r = send(sql, params);
    const char* tuples = PQcmdTuples(r.get());
    changes_ = *tuples ? std::stoll(tuples) : 0;
  }

  Rows query(std::string_view sql, const Params& params) override {
    auto r = send(sql, params);
    const int n = PQnfields(r.get());
    auto names = std::make_shared<std::vector<std::string>>();
    for (int i = 0; i < n; ++i) names->emplace_back(PQfname(r.get(), i));
    Rows rows;
    const int count = PQntuples(r.get());
    rows.reserve(static_cast<std::size_t>(count));
    for (int row = 0; row < count; ++row) {
      std::vector<Value> values;
      values.reserve(static_cast<std::size_t>(n));
      for (int col = 0; col < n; ++col) values.push_back(decode(r.get(), row, col));
      rows.emplace_back(names, std::move(values));
    }
    return rows;
  }

  std::int64_t changes() override { return changes_; }

 private:
  ResultHandle send(std::string_view sql, const Params& params) {
    const auto used = used_params(sql, params.size());
    std::vector<std::string> texts(params.size());
    std::vector<const char*> values(params.size(), nullptr);
    std::vector<Oid> types(params.size(), 0);
    for (std::size_t i = 0; i < params.size(); ++i) {
      const auto& v = params[i];
      if (const auto* n = std::get_if<std::int64_t>(&v)) {
        texts[i] = std::to_string(*n);
        types[i] = 20;
      } else if (const auto* d = std::get_if<double>(&v)) {
        char buf[32];
        auto [end, ec] = std::to_chars(buf, buf + sizeof buf, *d);
        texts[i].assign(buf, end);
        types[i] = 701;
      } else if (const auto* t = std::get_if<std::string>(&v)) {
        // PostgreSQL text cannot hold NUL and libpq would cut the value there: another key.
        if (t->find('\0') != std::string::npos)
          throw StoreError("text with a NUL character cannot be stored (parameter $" + std::to_string(i + 1) + ")");
        // Text of unknown type takes the type of the column it meets, as in SQLite.
        texts[i] = *t;
      }
      if (!used[i]) types[i] = 25;
      if (!std::holds_alternative<std::nullptr_t>(v)) values[i] = texts[i].c_str();
    }
    const std::string statement(sql);
    const int n = static_cast<int>(params.size());
    const auto* name = n > 0 ? prepared(statement, types) : nullptr;
    ResultHandle r(name ? PQexecPrepared(c_, name->c_str(), n, values.data(), nullptr, nullptr, 0)
                        : PQexecParams(c_, statement.c_str(), n, types.data(), values.data(), nullptr, nullptr, 0));
    const auto status = r ? PQresultStatus(r.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
      throw StoreError(describe(r.get(), c_) + " in: " + statement);
    return r;
  }

  // The name of the statement prepared for sql with these parameter types, or null when the
  // connection holds as many as it may (then the statement is sent whole).
  const std::string* prepared(const std::string& sql, const std::vector<Oid>& types) {
    std::string key = sql;
    key.push_back('\0');
    key.append(reinterpret_cast<const char*>(types.data()), types.size() * sizeof(Oid));
    if (const auto it = conn_.prepared.find(key); it != conn_.prepared.end()) return &it->second;
    if (conn_.prepared.size() >= Connection::kMaxPrepared) return nullptr;
    auto name = "tovik_" + std::to_string(conn_.prepared.size());
    ResultHandle r(PQprepare(c_, name.c_str(), sql.c_str(), static_cast<int>(types.size()), types.data()));
    if (!r || PQresultStatus(r.get()) != PGRES_COMMAND_OK) throw StoreError(describe(r.get(), c_) + " in: " + sql);
    return &conn_.prepared.emplace(std::move(key), std::move(name)).first->second;
  }

  Connection& conn_;
  PGconn* c_;
  std::int64_t changes_ = 0;
};

class PostgresEventFeed final : public EventFeed {
 public:
  explicit PostgresEventFeed(const std::string& address) : c_(connect(address)) {
    run(c_.get(), "LISTEN tovik_events");
  }

  std::vector<std::int64_t> wait(std::chrono::milliseconds timeout) override {
    std::vector<std::int64_t> ids = take();
    if (!ids.empty()) return ids;
    pollfd fd{PQsocket(c_.get()), POLLIN, 0};
    if (fd.fd < 0) throw StoreError("the event feed lost its connection");
    if (poll(&fd, 1, static_cast<int>(timeout.count())) < 0) return ids;
    if (!PQconsumeInput(c_.get())) throw StoreError("event feed: " + describe(nullptr, c_.get()));
    return take();
  }

 private:
  std::vector<std::int64_t> take() {
    std::vector<std::int64_t> ids;
    while (PGnotify* n = PQnotifies(c_.get())) {
      std::int64_t id = 0;
      const std::string_view extra(n->extra);
      std::from_chars(extra.data(), extra.data() + extra.size(), id);
      PQfreemem(n);
      if (id > 0) ids.push_back(id);
    }
    return ids;
  }

  ConnHandle c_;
};

class PostgresDatabase final : public Database {
 public:
  explicit PostgresDatabase(std::string address) : address_(std::move(address)) {
    // Processes starting together create the schema one after the other.
    write([](Tx& tx) {
      for (auto sql : postgres_schema()) tx.exec(sql);
    });
  }

  void write(const std::function<void(Tx&)>& fn) override { run_in("BEGIN", kWriterLock, fn); }

  void read(const std::function<void(Tx&)>& fn) override {
    run_in("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", nullptr, fn);
  }

  std::unique_ptr<EventFeed> listen_events() override {
    return std::make_unique<PostgresEventFeed>(address_);
  }

 private:
  void run_in(const char* begin, const char* first, const std::function<void(Tx&)>& fn) {
    auto c = take();
    PGconn* raw = c->handle.get();
    try {
      run(raw, begin);
      if (first) run(raw, first);
      PostgresTx tx(*c);
      fn(tx);
      run(raw, "COMMIT");
    } catch (...) {
      // A connection that cannot roll back is broken; it is dropped, not pooled.
      if (PQstatus(raw) == CONNECTION_OK) {
        ResultHandle r(PQexec(raw, "ROLLBACK"));
        if (r && PQresultStatus(r.get()) == PGRES_COMMAND_OK) give_back(std::move(c));
      }
      throw;
    }
    give_back(std::move(c));
  }

  std::unique_ptr<Connection> take() {
    {
      std::lock_guard lock(pool_mutex_);
      if (!idle_.empty()) {
        auto c = std::move(idle_.back());
        idle_.pop_back();
        if (PQstatus(c->handle.get()) == CONNECTION_OK) return c;
      }
    }
    auto c = std::make_unique<Connection>();
    c->handle = connect(address_);
    // A prepared statement would otherwise switch to one plan for all values after a few calls.
    run(c->handle.get(), "SET plan_cache_mode = force_custom_plan");
    return c;
  }

  void give_back(std::unique_ptr<Connection> c) {
    std::lock_guard lock(pool_mutex_);
    if (idle_.size() < kMaxIdleConnections) idle_.push_back(std::move(c));
  }

  std::string address_;
  std::mutex pool_mutex_;
  std::vector<std::unique_ptr<Connection>> idle_;
};

}  // namespace

std::unique_ptr<Database> open_postgres_database(const std::string& address) {
  return std::make_unique<PostgresDatabase>(address);
}

}  // namespace tovik::store
