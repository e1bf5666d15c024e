#pragma once
#include <cstdint>

#include "store/database.hpp"
#include "sync/actor.hpp"
#include "sync/records.hpp"

namespace tovik::sync {

// Applies pushed operations in order, in one write transaction, and returns one result per
// operation. Each operation applies at most once: a repeated op_id returns its first verdict
// (with the record as it is now). An operation that fails for an unexpected reason is rolled
// back alone and answered "retry".
[[nodiscard]] json push_operations(store::Database& db, std::int64_t company_id, const Actor& actor,
                                   const json& operations);

}  // namespace tovik::sync
