#pragma once
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

#include "store/database.hpp"

// Realtime events are rows of the store: written in the transaction of the change that raises
// them (by the server or by the admin command) and fanned out by the realtime pump.
namespace tovik::realtime::events {

inline constexpr const char* kNotificationEvent = "notification.created";

// The user's private channel without the protocol's "private-" prefix.
[[nodiscard]] std::string user_channel(std::int64_t user_id);

void publish(store::Tx& tx, const std::string& channel, const std::string& event,
             const nlohmann::json& payload);

// Inserts a notification for a user and publishes it; returns the notification record.
nlohmann::json notify(store::Tx& tx, std::int64_t user_id, std::int64_t company_id,
                      const std::string& title, const std::string& message,
                      const std::string& type);

}  // namespace tovik::realtime::events
