#!/bin/sh
# Runs the request fuzz target for SECONDS on a scratch copy of the seeds (libFuzzer writes new
# inputs into its first corpus folder) and prints libFuzzer's exec counts. Exits non-zero on a
# crash, leaving the crashing input in the scratch folder it names.
# usage: run.sh FUZZ_BINARY SECONDS
set -eu
bin=$1
seconds=$2
seeds=$(dirname "$0")/seeds
work=$(mktemp -d /tmp/tovik-server-fuzz-XXXXXX)
mkdir "$work/corpus"
cp "$seeds"/* "$work/corpus/"
cd "$work"
if "$bin" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 corpus; then
  rm -rf "$work"
else
  status=$?
  echo "fuzz run failed ($status); inputs kept in $work" >&2
  exit "$status"
fi
