#!/usr/bin/env bash
# Till figures over sql.js in Node (100,000 products, 5,000 holds).
set -uo pipefail
cd "$(dirname "$0")/../.."
out=$(NO_COLOR=1 npx vitest run --config bench/till/vitest.config.ts 2>&1)
grep -aE '^(catalogue|scan|search|exact|charge|1,000)' <<<"$out" || tail -n 30 <<<"$out"
