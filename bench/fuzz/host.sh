#!/usr/bin/env bash
# The host bridge's fuzz target for a longer run (default 10 minutes); prints
# libFuzzer's figures, exec count included. Never fails on a figure; a crash
# found is reported with the input kept beside the build.
#   bench/fuzz/host.sh [SECONDS] [BUILD_DIR]
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
seconds=${1:-600}
build=${2:-$root/build/fuzz-long}
echo "host bridge fuzz: ${seconds} s"
bash "$root/host/fuzz/run.sh" "$build" "$seconds"
