// With TOVIK_TEST_DB=postgres every test of the binary runs on the private PostgreSQL cluster,
// started once before the first test and stopped after the last, whatever failed in between.
#include <gtest/gtest.h>

#include "tests/support/pg_cluster.hpp"
#include "tests/support/server_process.hpp"

namespace {

class StoreEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!tovik::testing::testing_postgres()) return;
    try {
      tovik::testing::PgCluster::shared();
    } catch (const tovik::testing::PgUnavailable& e) {
      GTEST_SKIP() << e.what();
    }
  }
  void TearDown() override { tovik::testing::PgCluster::stop_shared(); }
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new StoreEnvironment);

}  // namespace
