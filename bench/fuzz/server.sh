#!/bin/sh
# The server's request-parsing fuzz target for a longer run (default 10 minutes); prints
# libFuzzer's exec counts and fails on a crash. usage: bench/fuzz/server.sh [SECONDS] [BUILD_DIR]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-600}
build=${2:-$root/build}
exec "$root/server/fuzz/run.sh" "$build/server/fuzz/server_request_fuzz" "$seconds"
