#pragma once
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/server_process.hpp"
#include "tests/support/session.hpp"

namespace tovik::testing {

// One reference server for a whole test suite: started before the suite's
// first test, stopped after its last. `Suite` is the test class itself, so
// each suite has a server of its own; a suite that needs flags defines
// `static std::vector<std::string> server_args()`.
template <class Suite>
class ServerSuite : public ::testing::Test {
 public:
  static void SetUpTestSuite() { held() = std::make_unique<ServerProcess>(Suite::server_args()); }
  static void TearDownTestSuite() { held().reset(); }
  static std::vector<std::string> server_args() { return {}; }

 protected:
  static ServerProcess& server() { return *held(); }

 private:
  static std::unique_ptr<ServerProcess>& held() {
    static std::unique_ptr<ServerProcess> server;
    return server;
  }
};

// The same, with the demo owner signed in afresh for each test.
template <class Suite>
class OwnerSuite : public ServerSuite<Suite> {
 protected:
  void SetUp() override { owner_ = sign_in(this->server(), kOwner, kOwnerPassword); }
  HttpClient owner_{0};
};

}  // namespace tovik::testing
