#!/usr/bin/env bash
# Storage figures through the client facade: host (serve mode) and sql.js.
set -euo pipefail
cd "$(dirname "$0")/../.."
node bench/storage/transactions.mjs
