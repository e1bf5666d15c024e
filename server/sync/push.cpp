#include "sync/push.hpp"

#include <iostream>

#include "sync/entities.hpp"
#include "sync/rules/fields.hpp"
#include "util/clock.hpp"

namespace tovik::sync {

namespace {

json verdict(const std::string& op_id, const std::string& status, const std::string& reason = {},
             const std::string& message = {}) {
  json r = {{"op_id", op_id}, {"status", status}};
  if (!reason.empty()) r["reason"] = reason;
  if (!message.empty()) r["message"] = message;
  return r;
}

std::string version_text(const json& op) {
  const auto it = op.find("base_version");
  if (it == op.end() || it->is_null()) return {};
  if (it->is_string()) return it->get<std::string>();
  return it->dump();
}

// Identifiers are keys in the store; a NUL would end one early in PostgreSQL's text.
bool usable_id(const std::string& id, std::size_t max) {
  return !id.empty() && id.size() <= max && id.find('\0') == std::string::npos;
}

// Throws Refusal("forbidden") when the actor may not do this to the record.
void check_allowed(const Actor& actor, const Entity& entity, bool removing, const json& data, const Stored* live) {
  const auto allowed = removing ? entity.may_delete : entity.may_upsert;
  if (!allowed(actor, data, live)) throw Refusal("forbidden", "You are not allowed to make this change.");
}

// Decides and applies one operation. Refusals propagate to the caller, which rolls back.
json decide(Records& records, const Actor& actor, const json& op, const std::string& op_id) {
  const auto* entity = find_entity(op.value("entity", json("")).is_string() ? op.value("entity", "") : "");
  if (!entity) throw Refusal("invalid", "Unknown entity.");
  const auto action = op.value("action", json("")).is_string() ? op.value("action", "") : "";
  if (action != "upsert" && action != "delete") throw Refusal("invalid", "Unknown action.");
  const auto uuid = op.value("uuid", json("")).is_string() ? op.value("uuid", "") : "";
  if (!usable_id(uuid, 64)) throw Refusal("invalid", "The record has no valid uuid.");
  const json data = op.contains("data") && op["data"].is_object() ? op["data"] : json::object();
  if (action == "upsert" && !(op.contains("data") && op["data"].is_object()))
    throw Refusal("invalid", "The change carries no data.");

  auto existing = records.find(uuid);
  const bool ours = existing && existing->company_id == records.company_id() && existing->kind == entity->kind;
  const Stored* live = ours && !existing->deleted ? &*existing : nullptr;
  check_allowed(actor, *entity, action == "delete", data, live);
  if (existing && (!ours || (entity->owns && !entity->owns(*existing))))
    throw Refusal("uuid_taken", "That identifier is already used by another record.");
  const auto base = version_text(op);

  if (action == "delete") {
    if (!existing || existing->deleted) return verdict(op_id, "conflict", "deleted_on_server");
    if (!base.empty() && base != existing->version) {
      auto r = verdict(op_id, "conflict", "stale", "The record changed on the server.");
      r["record"] = pull_format(*existing);
      return r;
    }
    if (entity->check_delete) entity->check_delete(*existing);
    records.tombstone(*existing);
    return verdict(op_id, "applied");
  }

  if (existing && existing->deleted) return verdict(op_id, "conflict", "deleted_on_server");
  if (!existing && !base.empty()) return verdict(op_id, "conflict", "deleted_on_server");
  if (existing && entity->create_once) {
    auto r = verdict(op_id, "applied");
    r["record"] = pull_format(*existing);
    return r;
  }
  // A null base_version means the device never saw a server version of the record; that
  // happens when its create was applied but the answer was lost, so the write is accepted.
  if (existing && !base.empty() && base != existing->version) {
    auto r = verdict(op_id, "conflict", "stale", "The record changed on the server.");
    r["record"] = pull_format(*existing);
    return r;
  }
  auto stored = entity->upsert(records, actor, uuid, rules::clean(data), live);
  auto r = verdict(op_id, "applied");
  r["record"] = pull_format(stored);
  return r;
}

// The server's live copy of the operation's record, when it is of the operation's kind.
std::optional<json> current_record(Records& records, const json& op) {
  const auto* entity = find_entity(op.value("entity", json("")).is_string() ? op.value("entity", "") : "");
  const auto uuid = op.value("uuid", json("")).is_string() ? op.value("uuid", "") : "";
  if (!entity || !usable_id(uuid, 64)) return std::nullopt;
  auto current = records.live(std::string(entity->kind), uuid);
  if (!current) return std::nullopt;
  return pull_format(*current);
}

// The first verdict of an operation seen before, with the record as it is now.
json replay(Records& records, const json& first, const json& op) {
  json r = first;
  if (auto current = current_record(records, op)) r["record"] = std::move(*current);
  return r;
}

}  // namespace

json push_operations(store::Database& db, std::int64_t company_id, const Actor& actor,
                     const json& operations) {
  json results = json::array();
  db.write([&](store::Tx& tx) {
    Records records(tx, company_id);
    for (const auto& op : operations) {
      const auto op_id = op.is_object() && op.value("op_id", json("")).is_string() ? op.value("op_id", "") : "";
      if (!usable_id(op_id, 100)) {
        results.push_back(verdict(op_id, "rejected", "invalid", "The operation has no op_id."));
        continue;
      }
      if (auto seen = tx.one("SELECT result_json FROM applied_ops WHERE company_id = $1 AND op_id = $2",
                             {company_id, op_id})) {
        results.push_back(replay(records, json::parse(seen->text("result_json")), op));
        continue;
      }
      json result;
      tx.exec("SAVEPOINT op");
      try {
        result = decide(records, actor, op, op_id);
        tx.exec("RELEASE op");
      } catch (const Refusal& refusal) {
        tx.exec("ROLLBACK TO op");
        tx.exec("RELEASE op");
        result = verdict(op_id, "rejected", refusal.reason(), refusal.what());
        if (!refusal.errors().empty()) result["errors"] = refusal.errors();
        if (refusal.reason() != "uuid_taken")
          if (auto current = current_record(records, op)) result["record"] = std::move(*current);
      } catch (const std::exception& e) {
        tx.exec("ROLLBACK TO op");
        tx.exec("RELEASE op");
        std::clog << json({{"ts", util::iso_now()}, {"event", "push_error"}, {"op_id", op_id},
                           {"error", e.what()}}).dump() + "\n" << std::flush;
        results.push_back(verdict(op_id, "retry", {}, "The server could not apply this change yet."));
        continue;
      }
      json first = result;
      first.erase("record");
      tx.exec("INSERT INTO applied_ops (company_id, op_id, result_json, created_at) VALUES ($1, $2, $3, $4)",
              {company_id, op_id, first.dump(), util::iso_now()});
      results.push_back(std::move(result));
    }
  });
  return results;
}

}  // namespace tovik::sync
