#!/usr/bin/env bash
# Runs a command against a private, unlocked gnome-keyring on a private session
# bus, with a throw-away home, so tests never see or touch a real keyring.
# The daemon ends with its bus when the command ends.
set -euo pipefail
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/run"
export HOME="$home" XDG_DATA_HOME="$home/data" XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/run"
export TOVIK_TEST_KEYRING=1
unset DISPLAY WAYLAND_DISPLAY
# --unlock creates the "login" keyring (the default collection) with the given
# password; --start then puts the running daemon on the bus.
dbus-run-session -- bash -c '
  set -e
  printf test | gnome-keyring-daemon --unlock --components=secrets >/dev/null
  gnome-keyring-daemon --start --components=secrets >/dev/null
  exec "$@"' bash "$@"
