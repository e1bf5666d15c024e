#!/usr/bin/env bash
# The crash test at full size: 2,000 queued operations, a first pull of 20,000
# records, 30 kills (the CI run in `make test` uses smaller figures).
set -euo pipefail
cd "$(dirname "$0")/../.."
TOVIK_CRASH_OPS=${TOVIK_CRASH_OPS:-2000} TOVIK_CRASH_RECORDS=${TOVIK_CRASH_RECORDS:-20000} \
TOVIK_CRASH_KILLS=${TOVIK_CRASH_KILLS:-30} \
  npx vitest run --config e2e/vitest.config.ts e2e/sync-crash.test.ts
