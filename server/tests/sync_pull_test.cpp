#include <gtest/gtest.h>

#include "sync/pull.hpp"
#include "sync/push.hpp"
#include "tests/support/temp_store.hpp"

using namespace tovik;
using nlohmann::json;

TEST(PullTest, FiltersEntitiesAndRestartsForAnotherEpochOrCompany) {
  tovik::testing::TempStore store;
  sync::Actor actor;
  json ops = json::array();
  for (const auto& [entity, uuid, data] :
       {std::tuple{"client", "c1", json{{"name", "A"}}}, {"note", "n1", json{{"body", "x"}}}, {"client", "c2", json{{"name", "B"}}}})
    ops.push_back({{"op_id", uuid}, {"entity", entity}, {"action", "upsert"}, {"uuid", uuid}, {"data", data}});
  ASSERT_EQ(sync::push_operations(*store.db, store.company, actor, ops).size(), 3u);

  sync::PullRequest request{store.company, 1, 500, {"client", "pos_sale", "bogus"}, ""};
  const auto page = sync::pull_page(*store.db, request);
  EXPECT_EQ(page["changes"]["client"].size(), 2u);
  EXPECT_FALSE(page["changes"].contains("note"));
  EXPECT_EQ(page["has_more"], false);

  request.cursor = page["cursor"];
  EXPECT_EQ(sync::pull_page(*store.db, request)["changes"], json::object());
  request.data_epoch = 2;  // the platform reset the data: the old cursor means nothing now
  EXPECT_EQ(sync::pull_page(*store.db, request)["changes"]["client"].size(), 2u);
  request.data_epoch = 1;
  request.company_id = store.company + 1;
  EXPECT_EQ(sync::pull_page(*store.db, request)["changes"], json::object());

  for (const auto* bad : {"%%%", "MTpub3Q"}) {
    request.cursor = bad;
    EXPECT_THROW((void)sync::pull_page(*store.db, request), sync::BadCursor) << bad;
  }
}
