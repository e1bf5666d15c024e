#!/usr/bin/env bash
# Sync figures (pull and push through the host, pull over sql.js), then the
# crash test at full size.
set -uo pipefail
cd "$(dirname "$0")/../.."
node bench/sync/pull-push.mjs
bash bench/sync/crash-long.sh
