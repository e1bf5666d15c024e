#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "store/database.hpp"
#include "sync/records.hpp"

namespace tovik::sync {

struct PullRequest {
  std::int64_t company_id = 0;
  std::int64_t data_epoch = 0;
  int limit = 500;
  std::vector<std::string> entities;  // pulled entity names; unknown ones are ignored
  std::string cursor;                 // empty: from the beginning
};

class BadCursor : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// One page of changes after the cursor, in change order: {changes, deleted, cursor, has_more}.
// A cursor of another company or data epoch starts again from the beginning.
[[nodiscard]] json pull_page(store::Database& db, const PullRequest& request);

}  // namespace tovik::sync
