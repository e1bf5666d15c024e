#!/usr/bin/env bash
# Sync figures (pull and push through the host, pull over sql.js in the page,
# pull and push over sql.js in Node), then the crash test at full size.
set -uo pipefail
cd "$(dirname "$0")/../.."
node bench/sync/pull-push.mjs
out=$(NO_COLOR=1 npx vitest run --config bench/sync/vitest.config.ts 2>&1)
grep -a '^first pull\|^push' <<<"$out" || tail -n 30 <<<"$out"
bash bench/sync/crash-long.sh
