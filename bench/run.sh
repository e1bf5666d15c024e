#!/usr/bin/env bash
# `make bench`: every benchmark, each printing its figures. None fails on a figure.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

section() { printf '\n== %s\n' "$1"; }
run_xvfb() {
  local display
  for n in $(seq 230 260); do
    if [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
  done
  Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
  local xvfb=$!
  sleep 1
  DISPLAY=$display "$@"
  kill $xvfb
}

section "bridge round trip and large results, serve mode"
node bench/bridge/roundtrip.mjs
section "bridge round trip and large results, in-window transport"
run_xvfb timeout 600 "$build/bench/window/bench_window_bridge"
section "the client in the window: facade, first pull, push, memory after sign-in and first sync"
node bench/window/client-figures.mjs "$build"
section "result conversion"
"$build/bench/conversion/bench_conversion"
section "client cold start in the window"
run_xvfb bash bench/window/client-start.sh "$build/bench/window/bench_client_start"
section "start-up against bare WebKitGTK"
node bench/startup/measure.mjs "$build"
section "reference server: push, pull, realtime fan-out"
"$build/bench/server/server_bench"
for script in bench/*/run.sh; do
  [ -f "$script" ] || continue
  section "$(basename "$(dirname "$script")")"
  bash "$script" "$build"
done
