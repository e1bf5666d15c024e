#!/usr/bin/env bash
# Cold start of the client in the real window (run under a display): median of
# several runs to the sign-in screen and, with a stored session, to the shell.
set -uo pipefail
bench=${1:?usage: client-start.sh PATH/TO/bench_client_start}
runs=${RUNS:-7}
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
for mode in signin session; do
  times=$(for _ in $(seq "$runs"); do timeout 60 "$bench" "$mode" 2>/dev/null; done)
  label=$([ "$mode" = signin ] && echo "to an interactive sign-in screen" || echo "with a stored session, to the shell")
  echo "client cold start $label: median $(echo "$times" | median) ms over $(echo "$times" | grep -c .) runs"
done
