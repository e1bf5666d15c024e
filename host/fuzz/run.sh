#!/usr/bin/env bash
# Builds the bridge fuzz target with clang (in its own build folder) and runs it
# for SECONDS seconds from the seed inputs. Exit status: libFuzzer's (non-zero
# on a crash, a sanitizer report or an escaped exception). Prints the run's
# figures, exec count included.
#   run.sh BUILD_DIR SECONDS [extra libFuzzer flags...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: run.sh BUILD_DIR SECONDS}
seconds=${2:?usage: run.sh BUILD_DIR SECONDS}
shift 2

cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" >/dev/null

# The corpus grows in the build folder; the seeds in the repository stay as they are.
corpus="$build/corpus"
mkdir -p "$corpus"
log="$build/last-run.log"
status=0
"$build/bridge_fuzz" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 -artifact_prefix="$build/" "$@" "$corpus" "$here/seeds" >"$log" 2>&1 || status=$?
if [ "$status" -ne 0 ]; then
  tail -n 60 "$log"
else
  grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb|Done)' "$log" || true
fi
exit "$status"
