#pragma once
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "store/database.hpp"

// Companies, users and memberships: what the seed and the admin command create.
namespace tovik::admin {

using nlohmann::json;

[[nodiscard]] std::int64_t create_company(store::Tx& tx, const std::string& name, const json& settings);

struct NewUser {
  std::string email, password, name, username;
  bool otp = false;
};
// Creates the user (or finds it by e-mail) and returns its id.
std::int64_t create_user(store::Tx& tx, const NewUser& user, bool fast_hash);

struct Membership {
  std::string role = "owner";
  json abilities = json::array({"*"});
  json features = json::object();
  json permissions = json::object();
};
void add_member(store::Tx& tx, std::int64_t user_id, std::int64_t company_id, const Membership& m);

// The built-in settings of a new company with one base currency.
[[nodiscard]] json default_company_settings(const std::string& currency);

[[nodiscard]] std::int64_t user_id_by_email(store::Tx& tx, const std::string& email);

}  // namespace tovik::admin
