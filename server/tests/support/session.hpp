#pragma once
#include <string>

#include <gtest/gtest.h>

#include "tests/support/server_process.hpp"
#include "tests/support/test_client.hpp"

namespace tovik::testing {

inline constexpr const char* kOwner = "owner@demo.test";
inline constexpr const char* kOwnerPassword = "demo-owner-1";
inline constexpr const char* kCashier = "cashier@demo.test";
inline constexpr const char* kCashierPassword = "demo-cashier-1";

// Signs in and returns a client carrying the token.
inline HttpClient sign_in(const ServerProcess& server, const std::string& email, const std::string& password,
                          const std::string& device = "test device") {
  HttpClient client(server.port());
  const auto reply = client.api("POST", "/login", {{"email", email}, {"password", password}, {"device_name", device}});
  EXPECT_EQ(reply.status, 200) << reply.body;
  client.token = reply.json_body().value("token", "");
  return client;
}

}  // namespace tovik::testing
