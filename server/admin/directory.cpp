#include "admin/directory.hpp"

#include <stdexcept>

#include "util/clock.hpp"
#include "util/crypto.hpp"

namespace tovik::admin {

std::int64_t create_company(store::Tx& tx, const std::string& name, const json& settings) {
  auto row = tx.one("INSERT INTO companies (tenant_id, name, settings_json, created_at) "
                    "VALUES (0, $1, $2, $3) RETURNING id",
                    {name, settings.dump(), util::iso_now()});
  const auto id = row->integer("id");
  // One company is one tenant here; the two numbers stay separate fields of the profile.
  tx.exec("UPDATE companies SET tenant_id = $1 WHERE id = $1", {id});
  return id;
}

std::int64_t create_user(store::Tx& tx, const NewUser& u, bool fast_hash) {
  if (auto found = tx.one("SELECT id FROM users WHERE lower(email) = lower($1)", {u.email}))
    return found->integer("id");
  store::Value username = u.username.empty() ? store::Value(nullptr) : store::Value(u.username);
  auto row = tx.one("INSERT INTO users (email, username, name, password_hash, otp_enabled, created_at) "
                    "VALUES ($1, $2, $3, $4, $5, $6) RETURNING id",
                    {u.email, username, u.name, util::hash_password(u.password, fast_hash),
                     std::int64_t{u.otp ? 1 : 0}, util::iso_now()});
  return row->integer("id");
}

void add_member(store::Tx& tx, std::int64_t user_id, std::int64_t company_id, const Membership& m) {
  tx.exec("INSERT INTO memberships (user_id, company_id, role, abilities_json, features_json, permissions_json) "
          "VALUES ($1, $2, $3, $4, $5, $6) ON CONFLICT (user_id, company_id) DO UPDATE SET "
          "role = excluded.role, abilities_json = excluded.abilities_json, "
          "features_json = excluded.features_json, permissions_json = excluded.permissions_json, "
          "perm_version = memberships.perm_version + 1",
          {user_id, company_id, m.role, m.abilities.dump(), m.features.dump(), m.permissions.dump()});
  tx.exec("UPDATE users SET default_company_id = COALESCE(default_company_id, $1) WHERE id = $2",
          {company_id, user_id});
}

json default_company_settings(const std::string& currency) {
  return {{"currency", currency},
          {"currencies", json::array({{{"code", currency}, {"symbol", currency}, {"rate", 1},
                                        {"base", true}, {"default", true}}})},
          {"pos_methods", json::array()},
          {"loyalty", {{"enabled", false}, {"point_value", 0.1}, {"max_redeem_percent", 100},
                       {"min_redeem", 0}, {"earn_rate", 0}}},
          {"pos", {{"allow_negative_stock", true}, {"override_pin", nullptr}, {"daily_goal", nullptr},
                   {"informal_allowed", false}, {"formal_default", true}, {"terminals", json::array()}}}};
}

std::int64_t user_id_by_email(store::Tx& tx, const std::string& email) {
  auto row = tx.one("SELECT id FROM users WHERE lower(email) = lower($1)", {email});
  if (!row) throw std::runtime_error("no user with e-mail " + email);
  return row->integer("id");
}

}  // namespace tovik::admin
