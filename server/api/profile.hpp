#pragma once
#include <cstdint>
#include <optional>

#include "api/app.hpp"

namespace tovik::api {

// Loads the caller's role, flags and tenant for one company they belong to; nothing when the
// user is not a member of that company.
[[nodiscard]] std::optional<Principal> load_principal(store::Tx& tx, std::int64_t user_id,
                                                      std::int64_t company_id);

// The company a user opens when the request names none.
[[nodiscard]] std::int64_t default_company(store::Tx& tx, std::int64_t user_id);

// The profile ("user" object) of the signed-in user in the principal's company.
[[nodiscard]] json build_profile(store::Tx& tx, const Principal& p);

}  // namespace tovik::api
