#include "sync/pull.hpp"

#include <algorithm>

#include "sync/entities.hpp"
#include "util/crypto.hpp"

namespace tovik::sync {

namespace {

std::string encode_cursor(std::int64_t company, std::int64_t epoch, std::int64_t seq) {
  return util::base64url_encode("1:" + std::to_string(company) + ":" + std::to_string(epoch) + ":" +
                                std::to_string(seq));
}

std::int64_t decode_cursor(const std::string& cursor, std::int64_t company, std::int64_t epoch) {
  if (cursor.empty()) return 0;
  std::string text;
  try {
    text = util::base64url_decode(cursor);
  } catch (const std::exception&) {
    throw BadCursor("The sync cursor is not valid.");
  }
  long long c = 0, e = 0, s = 0;
  int used = 0;
  if (std::sscanf(text.c_str(), "1:%lld:%lld:%lld%n", &c, &e, &s, &used) != 3 ||
      used != static_cast<int>(text.size()) || s < 0)
    throw BadCursor("The sync cursor is not valid.");
  return c == company && e == epoch ? s : 0;
}

}  // namespace

json pull_page(store::Database& db, const PullRequest& request) {
  const auto after = decode_cursor(request.cursor, request.company_id, request.data_epoch);
  // The kinds asked for, each once, in the table's order, bound into one statement of fixed
  // shape (unused places are NULL, which matches nothing): however a client spells the list,
  // the server prepares a single statement for it.
  const auto& pulled = pulled_entities();
  std::vector<std::string> kinds;
  for (const auto name : pulled)
    if (std::find(request.entities.begin(), request.entities.end(), name) != request.entities.end())
      kinds.emplace_back(name);
  json changes = json::object();
  json deleted = json::array();
  std::int64_t last = after;
  bool more = false;
  if (!kinds.empty()) {
    std::string sql = "SELECT id, kind, uuid, version, seq, deleted, data_json FROM records "
                      "WHERE company_id = $1 AND seq > $2 AND kind IN (";
    store::Params params = {request.company_id, after, static_cast<std::int64_t>(request.limit) + 1};
    for (std::size_t i = 0; i < pulled.size(); ++i) {
      sql += (i ? ", $" : "$") + std::to_string(i + 4);
      if (i < kinds.size()) params.emplace_back(kinds[i]);
      else params.emplace_back(nullptr);
    }
    sql += ") ORDER BY seq LIMIT $3";
    db.read([&](store::Tx& tx) {
      auto rows = tx.query(sql, params);
      more = rows.size() > static_cast<std::size_t>(request.limit);
      if (more) rows.pop_back();
      for (const auto& row : rows) {
        const auto kind = row.text("kind");
        last = row.integer("seq");
        if (row.integer("deleted")) {
          deleted.push_back({{"entity", kind}, {"uuid", row.text("uuid")}});
          continue;
        }
        Stored s;
        s.id = row.integer("id");
        s.uuid = row.text("uuid");
        s.version = row.text("version");
        s.data = json::parse(row.text("data_json"));
        changes[kind].push_back(pull_format(s));
      }
    });
  }
  return {{"changes", changes},
          {"deleted", deleted},
          {"cursor", encode_cursor(request.company_id, request.data_epoch, last)},
          {"has_more", more}};
}

}  // namespace tovik::sync
