#!/usr/bin/env bash
# `make run`: the desktop host; with no display, serve mode and the address to open.
set -euo pipefail
cd "$(dirname "$0")/.."
host=build/host/tovik
mkdir -p .run
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec "$host" --data-dir .run/data --secret-store "${TOVIK_SECRET_STORE:-service}"
else
  echo "No display: starting serve mode. Open the address below in a browser (Ctrl+C stops)."
  exec "$host" --serve --data-dir .run/data --secret-store file
fi
