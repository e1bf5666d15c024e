#pragma once
#include "api/pipeline.hpp"

namespace tovik::api {

// Sign-in (with the e-mailed second factor), password reset, profile, sign-out, the session
// check and the device session list.
void register_account_routes(Api& api);

// Revokes sessions of a user (all, or all but `keep`) and tells the user's devices to check
// their session. Returns how many were revoked.
std::int64_t revoke_sessions(store::Tx& tx, std::int64_t user_id, std::int64_t only_id,
                             std::int64_t keep_id);

// Records an e-mail the platform sends (the server has no mail relay; the admin command reads
// these, and the log line carries the code for development).
void send_mail(store::Tx& tx, const std::string& email, const std::string& subject,
               const std::string& code);

}  // namespace tovik::api
