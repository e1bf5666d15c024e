#pragma once
// Sync operations as a till sends them, and reading records back, over HTTP.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/test_client.hpp"

namespace tovik::testing {

inline int op_counter = 0;

inline json op(const std::string& entity, const std::string& action, const std::string& uuid, const json& data,
        const json& base_version = nullptr) {
  json o = {{"op_id", "op-" + std::to_string(++op_counter) + "-" + uuid},
            {"entity", entity},
            {"action", action},
            {"uuid", uuid},
            {"base_version", base_version},
            {"client_updated_at", "2026-03-01T09:00:00.000Z"}};
  if (action == "upsert") o["data"] = data;
  return o;
}

inline json push(const HttpClient& client, const json& operations) {
  const auto reply = client.api("POST", "/sync/push", {{"device_id", "dev-1"}, {"device_time", "2026-03-01T09:00:00.000Z"},
                                                       {"operations", operations}});
  EXPECT_EQ(reply.status, 200) << reply.body;
  return reply.json_body()["results"];
}

inline json push(const HttpClient& client, std::initializer_list<json> operations) {
  return push(client, json(json::array_t(operations)));
}

inline json pull(const HttpClient& client, const std::string& entities, const std::string& cursor = {}, int limit = 500) {
  std::string path = "/sync/pull?limit=" + std::to_string(limit) + "&entities=" + entities;
  if (!cursor.empty()) path += "&cursor=" + cursor;
  const auto reply = client.api("GET", path);
  EXPECT_EQ(reply.status, 200) << reply.body;
  return reply.json_body();
}

// Every current record of an entity, pulled from the beginning.
inline std::vector<json> all_of(const HttpClient& client, const std::string& entity) {
  std::vector<json> out;
  std::string cursor;
  for (;;) {
    const auto page = pull(client, entity, cursor, 1000);
    if (page["changes"].contains(entity))
      for (const auto& r : page["changes"][entity]) out.push_back(r);
    cursor = page["cursor"];
    if (!page["has_more"].get<bool>()) return out;
  }
}

inline json find_by(const std::vector<json>& records, const std::string& field, const std::string& value) {
  for (const auto& r : records)
    if (r.value(field, json()).is_string() && r[field] == value) return r;
  return nullptr;
}

}  // namespace tovik::testing
