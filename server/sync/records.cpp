#include "sync/records.hpp"

#include <cmath>
#include <cstdio>
#include <limits>

#include "util/clock.hpp"

namespace tovik::sync {

namespace {

Stored from_row(const store::Row& r) {
  Stored s;
  s.id = r.integer("id");
  s.company_id = r.integer("company_id");
  s.kind = r.text("kind");
  s.uuid = r.text("uuid");
  s.version = r.text("version");
  s.seq = r.integer("seq");
  s.deleted = r.integer("deleted") != 0;
  s.data = json::parse(r.text("data_json"));
  return s;
}

// The field that links a record to the record it belongs to, by kind.
std::string parent_of(const std::string& kind, const json& data) {
  const char* field = nullptr;
  if (kind == "invoice" || kind == "quotation" || kind == "client_payment") field = "client_uuid";
  else if (kind == "stock_adjustment") field = "product_uuid";
  else if (kind == "payable_payment") field = "payable_uuid";
  else if (kind == "pos_return") field = "invoice_uuid";
  if (!field) return {};
  const auto it = data.find(field);
  return it != data.end() && it->is_string() ? it->get<std::string>() : std::string();
}

store::Value optional_text(const json& data, const char* field) {
  const auto it = data.find(field);
  if (it == data.end() || !it->is_string() || it->get<std::string>().empty()) return nullptr;
  return it->get<std::string>();
}

constexpr const char* kColumns = "id, company_id, kind, uuid, version, seq, deleted, data_json";

}  // namespace

double round_cents(double x) {
  return std::floor((x + std::numeric_limits<double>::epsilon()) * 100 + 0.5) / 100;
}

std::optional<Stored> Records::find(const std::string& uuid) {
  auto row = tx_.one(std::string("SELECT ") + kColumns + " FROM records WHERE uuid = $1", {uuid});
  if (!row) return std::nullopt;
  return from_row(*row);
}

std::optional<Stored> Records::live(const std::string& kind, const std::string& uuid) {
  auto s = find(uuid);
  if (!s || s->deleted || s->company_id != company_id_ || s->kind != kind) return std::nullopt;
  return s;
}

std::vector<Stored> Records::children(const std::string& kind, const std::string& parent_uuid) {
  std::vector<Stored> out;
  for (const auto& r : tx_.query(std::string("SELECT ") + kColumns +
                                     " FROM records WHERE company_id = $1 AND kind = $2 "
                                     "AND parent_uuid = $3 AND deleted = 0 ORDER BY id",
                                 {company_id_, kind, parent_uuid}))
    out.push_back(from_row(r));
  return out;
}

std::vector<Stored> Records::in_shift(const std::string& kind, const std::string& shift_uuid) {
  std::vector<Stored> out;
  for (const auto& r : tx_.query(std::string("SELECT ") + kColumns +
                                     " FROM records WHERE company_id = $1 AND shift_uuid = $2 "
                                     "AND kind = $3 AND deleted = 0 ORDER BY id",
                                 {company_id_, shift_uuid, kind}))
    out.push_back(from_row(r));
  return out;
}

std::int64_t Records::next_seq() {
  auto row = tx_.one("UPDATE companies SET change_seq = change_seq + 1 WHERE id = $1 RETURNING change_seq",
                     {company_id_});
  if (!row) throw store::StoreError("no company " + std::to_string(company_id_));
  return row->integer("change_seq");
}

Stored Records::put(const std::string& kind, const std::string& uuid, json data) {
  const auto seq = next_seq();
  const auto now = util::iso_now();
  const auto parent_uuid = parent_of(kind, data);
  store::Value parent = parent_uuid.empty() ? store::Value(nullptr) : store::Value(parent_uuid);
  auto row = tx_.one(
      "INSERT INTO records (company_id, kind, uuid, parent_uuid, shift_uuid, version, seq, deleted, "
      "data_json, created_at, updated_at) VALUES ($1, $2, $3, $4, $9, $5, $6, 0, $7, $8, $8) "
      "ON CONFLICT (uuid) DO UPDATE SET parent_uuid = excluded.parent_uuid, "
      "shift_uuid = excluded.shift_uuid, version = excluded.version, seq = excluded.seq, deleted = 0, "
      "data_json = excluded.data_json, updated_at = excluded.updated_at RETURNING id",
      {company_id_, kind, uuid, parent, std::to_string(seq), seq,
       data.dump(-1, ' ', false, json::error_handler_t::replace), now, optional_text(data, "shift_uuid")});
  Stored s;
  s.id = row->integer("id");
  s.company_id = company_id_;
  s.kind = kind;
  s.uuid = uuid;
  s.version = std::to_string(seq);
  s.seq = seq;
  s.data = std::move(data);
  return s;
}

void Records::tombstone(Stored& record) {
  const auto seq = next_seq();
  tx_.exec("UPDATE records SET deleted = 1, version = $1, seq = $2, updated_at = $3 WHERE id = $4",
           {std::to_string(seq), seq, util::iso_now(), record.id});
  record.deleted = true;
  record.seq = seq;
  record.version = std::to_string(seq);
}

std::string Records::next_number(const std::string& series, const std::string& prefix) {
  auto row = tx_.one("INSERT INTO counters (company_id, series, value) VALUES ($1, $2, 1) "
                     "ON CONFLICT (company_id, series) DO UPDATE SET value = counters.value + 1 "
                     "RETURNING value",
                     {company_id_, series});
  char buf[32];
  std::snprintf(buf, sizeof buf, "%06lld", static_cast<long long>(row->integer("value")));
  return prefix + buf;
}

json pull_format(const Stored& record) {
  json out = record.data;
  out["uuid"] = record.uuid;
  out["id"] = record.id;
  out["version"] = record.version;
  return out;
}

}  // namespace tovik::sync
