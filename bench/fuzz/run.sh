#!/usr/bin/env bash
# `make bench`: the long fuzz runs of the host's bridge and the server's request
# parsing (five minutes each by default); each prints libFuzzer's exec counts.
#   bench/fuzz/run.sh [BUILD_DIR]
set -uo pipefail
here=$(dirname "$0")
build=${1:-build}
seconds=${TOVIK_FUZZ_SECONDS:-300}
bash "$here/host.sh" "$seconds" "$build/fuzz-long"
bash "$here/server.sh" "$seconds" "$build"
