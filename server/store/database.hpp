#pragma once
// store/: the only storage interface; the SQLite backend and its schema live beside it.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// The storage interface. SQL is written once in the dialect that SQLite and PostgreSQL share
// ($1-style parameters, ON CONFLICT, RETURNING); each backend implements this interface and
// owns its schema. Everything above store/ talks only to Database and Tx.
namespace tovik::store {

using Value = std::variant<std::nullptr_t, std::int64_t, double, std::string>;

class Row {
 public:
  Row(std::shared_ptr<const std::vector<std::string>> names, std::vector<Value> values)
      : names_(std::move(names)), values_(std::move(values)) {}

  [[nodiscard]] const Value& at(std::string_view column) const;
  [[nodiscard]] bool is_null(std::string_view column) const;
  // Conversions tolerate the other numeric kind and NULL (0, 0.0, "").
  [[nodiscard]] std::int64_t integer(std::string_view column) const;
  [[nodiscard]] double real(std::string_view column) const;
  [[nodiscard]] std::string text(std::string_view column) const;

 private:
  std::shared_ptr<const std::vector<std::string>> names_;
  std::vector<Value> values_;
};

using Rows = std::vector<Row>;
using Params = std::vector<Value>;

// One transaction. Statements failing throw StoreError; the owner rolls back.
class Tx {
 public:
  virtual ~Tx() = default;
  virtual void exec(std::string_view sql, const Params& params = {}) = 0;
  [[nodiscard]] virtual Rows query(std::string_view sql, const Params& params = {}) = 0;
  // The rows changed by the last exec.
  [[nodiscard]] virtual std::int64_t changes() = 0;

  [[nodiscard]] std::optional<Row> one(std::string_view sql, const Params& params = {}) {
    auto rows = query(sql, params);
    if (rows.empty()) return std::nullopt;
    return std::move(rows.front());
  }
};

class StoreError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Ids of rows inserted into the events table by any process, in commit order.
class EventFeed {
 public:
  virtual ~EventFeed() = default;
  // Waits up to timeout for committed events; throws StoreError when the feed broke.
  [[nodiscard]] virtual std::vector<std::int64_t> wait(std::chrono::milliseconds timeout) = 0;
};

class Database {
 public:
  virtual ~Database() = default;
  // A push feed of committed events, or null when the backend has none and events are polled.
  [[nodiscard]] virtual std::unique_ptr<EventFeed> listen_events() { return nullptr; }
  // Runs fn in a write transaction. Writers are serialised; fn's exception rolls back and is
  // rethrown.
  virtual void write(const std::function<void(Tx&)>& fn) = 0;
  // Runs fn in a read-only snapshot; readers run beside the writer.
  virtual void read(const std::function<void(Tx&)>& fn) = 0;
};

// Opens the store named by a --db address ("sqlite:PATH" or a "postgresql://" connection URI),
// creating the schema when needed.
[[nodiscard]] std::unique_ptr<Database> open_database(const std::string& address);

}  // namespace tovik::store
