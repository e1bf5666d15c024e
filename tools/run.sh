#!/usr/bin/env bash
# `make run`: the reference server with the demo company on 127.0.0.1:8787 (store under .run/),
# then the desktop host; with no display, serve mode and the address to open. Ctrl+C stops both.
set -euo pipefail
cd "$(dirname "$0")/.."
host=build/host/tovik
server=build/server/tovik-server
mkdir -p .run

server_pid=""
stop_server() {
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
    kill -TERM "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
}
trap stop_server EXIT
trap 'exit 130' INT TERM

# The demo seed only fills an empty store, so restarts keep what was done before.
"$server" --listen 127.0.0.1:8787 --db sqlite:.run/server.db --seed demo \
  >.run/server.out 2>>.run/server.log &
server_pid=$!
for _ in $(seq 1 100); do
  grep -q '^listening ' .run/server.out 2>/dev/null && break
  kill -0 "$server_pid" 2>/dev/null || { echo "The server did not start; see .run/server.log"; exit 1; }
  sleep 0.1
done
echo "Server: $(head -n1 .run/server.out | cut -d' ' -f2) (owner@demo.test / demo-owner-1, log in .run/server.log)"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  "$host" --data-dir .run/data --secret-store "${TOVIK_SECRET_STORE:-service}"
else
  echo "No display: starting serve mode. Open the address below in a browser (Ctrl+C stops)."
  "$host" --serve --data-dir .run/data --secret-store file
fi
