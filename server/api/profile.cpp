#include "api/profile.hpp"

#include "util/crypto.hpp"

namespace tovik::api {

bool Principal::feature(const std::string& key) const {
  const auto it = features.find(key);
  return it != features.end() && it->is_boolean() && it->get<bool>();
}

bool Principal::permission(const std::string& key) const {
  const auto it = permissions.find(key);
  return it != permissions.end() && it->is_boolean() && it->get<bool>();
}

std::optional<Principal> load_principal(store::Tx& tx, std::int64_t user_id,
                                        std::int64_t company_id) {
  auto row = tx.one(
      "SELECT u.name, u.email, m.role, m.abilities_json, m.features_json, m.permissions_json, "
      "m.perm_version, c.tenant_id, c.data_epoch FROM users u "
      "JOIN memberships m ON m.user_id = u.id "
      "JOIN companies c ON c.id = m.company_id WHERE u.id = $1 AND m.company_id = $2",
      {user_id, company_id});
  if (!row) return std::nullopt;
  Principal p;
  p.user_id = user_id;
  p.company_id = company_id;
  p.tenant_id = row->integer("tenant_id");
  p.data_epoch = row->integer("data_epoch");
  p.name = row->text("name");
  p.email = row->text("email");
  p.role = row->text("role");
  p.abilities = json::parse(row->text("abilities_json"));
  p.features = json::parse(row->text("features_json"));
  p.permissions = json::parse(row->text("permissions_json"));
  // Everything that decides what the user may do, so any change gives a new hash.
  const json basis = {{"role", p.role},           {"abilities", p.abilities},
                      {"features", p.features},   {"permissions", p.permissions},
                      {"company", company_id},    {"v", row->integer("perm_version")}};
  p.permissions_hash = util::sha256_hex(basis.dump()).substr(0, 32);
  return p;
}

std::int64_t default_company(store::Tx& tx, std::int64_t user_id) {
  auto row = tx.one(
      "SELECT COALESCE((SELECT m.company_id FROM memberships m JOIN users u ON u.id = m.user_id "
      "WHERE u.id = $1 AND m.company_id = u.default_company_id), "
      "(SELECT MIN(company_id) FROM memberships WHERE user_id = $1), 0) AS id",
      {user_id});
  return row ? row->integer("id") : 0;
}

json build_profile(store::Tx& tx, const Principal& p) {
  auto company = tx.one("SELECT name, settings_json FROM companies WHERE id = $1", {p.company_id});
  json settings = json::parse(company->text("settings_json"));
  json tenant = settings;
  tenant.erase("vertical");
  tenant["id"] = p.tenant_id;
  tenant["data_epoch"] = p.data_epoch;
  tenant["company_name"] = company->text("name");

  json companies = json::array();
  for (const auto& row : tx.query("SELECT c.id, c.name, c.tenant_id FROM companies c "
                                  "JOIN memberships m ON m.company_id = c.id "
                                  "WHERE m.user_id = $1 ORDER BY c.id",
                                  {p.user_id}))
    companies.push_back({{"id", row.integer("id")}, {"name", row.text("name")},
                         {"tenant_id", row.integer("tenant_id")}});

  json user = {{"id", p.user_id},
               {"name", p.name},
               {"email", p.email},
               {"role", p.role},
               {"abilities", p.abilities},
               {"features", p.features},
               {"permissions", p.permissions},
               {"tenant", tenant},
               {"companies", companies},
               {"company_id", p.company_id},
               {"permissions_hash", p.permissions_hash}};
  if (settings.contains("vertical")) user["vertical"] = settings["vertical"];
  return user;
}

}  // namespace tovik::api
