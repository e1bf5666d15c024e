#!/usr/bin/env bash
# The crash test at full length: 300 kills of the host and 100 of the server,
# 1,000 queued operations and 5,000 records to pull per round of bulk work
# (the CI run in `make test` uses smaller figures). About 75 minutes on two
# cores; larger rounds (TOVIK_CRASH_RECORDS=20000) take three hours or more.
# It prints its counts.
set -euo pipefail
cd "$(dirname "$0")/../.."
TOVIK_CRASH_OPS=${TOVIK_CRASH_OPS:-1000} TOVIK_CRASH_RECORDS=${TOVIK_CRASH_RECORDS:-5000} \
TOVIK_CRASH_KILLS=${TOVIK_CRASH_KILLS:-300} TOVIK_CRASH_SERVER_KILLS=${TOVIK_CRASH_SERVER_KILLS:-100} \
  npx vitest run --config e2e/vitest.config.ts e2e/sync-crash.test.ts
