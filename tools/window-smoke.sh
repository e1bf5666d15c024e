#!/usr/bin/env bash
# The real GTK window under Xvfb: it starts, loads the embedded page, the page's
# first command crosses the in-window bridge, a second start hands over to the
# running instance and leaves one process, and (given the check program) the
# page channel keeps a reloaded page's calls apart from its last load's.
set -uo pipefail
host=$(realpath "${1:?usage: window-smoke.sh PATH/TO/tovik [PATH/TO/page_channel_check]}")
channel_check=${2:+$(realpath "$2")}
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

for n in $(seq 90 150); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY=$display
export XDG_RUNTIME_DIR=$work/run
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
flags=(--data-dir "$work/data" --documents-dir "$work/docs" --downloads-dir "$work/downloads" --secret-store file)

passed=0
failed=0
check() {
  if [ "$1" = ok ]; then passed=$((passed + 1)); echo "ok: $2"; else failed=$((failed + 1)); echo "FAILED: $2"; fi
}
windows() { xwininfo -root -tree | grep -c '"TOVIK pro"'; }

# 1. The page loads and its first command is answered through the in-window bridge.
timeout 90 "$host" "${flags[@]}" --exit-after-invoke >"$work/first.out" 2>"$work/first.err"
status=$?
if [ $status -eq 0 ] && grep -q '^answered db_open ok over the page channel$' "$work/first.out" && [ -s "$work/data/quillarex.db" ]; then
  check ok "window loads the page and answers db_open over the in-window bridge"
else
  check fail "window round trip (status $status)"
  cat "$work/first.out" "$work/first.err"
fi

# 2. A second start hands over to the running instance and exits.
"$host" "${flags[@]}" >"$work/running.out" 2>"$work/running.err" &
running=$!
pids+=($running)
for _ in $(seq 300); do [ "$(windows)" -ge 1 ] && break; sleep 0.1; done
timeout 30 "$host" "${flags[@]}" >"$work/second.out" 2>"$work/second.err"
second=$?
sleep 0.5
instances=$(pgrep -c -f -- "--data-dir $work/data")
if [ $second -eq 0 ] && [ "$instances" -eq 1 ] && [ "$(windows)" -eq 1 ] && kill -0 "$running" 2>/dev/null; then
  check ok "a second start leaves one process and one window"
else
  check fail "single instance (second exit $second, $instances processes, $(windows) windows)"
  cat "$work/second.err" "$work/running.err"
fi

# 3. A page reloaded while its call is out never gets that answer in its next
# load; a list in parts reaches the page whole, or is refused if it takes no parts.
if [ -n "$channel_check" ]; then
  if timeout 60 "$channel_check" >"$work/channel.out" 2>"$work/channel.err"; then
    check ok "a reloaded page gets only its own answers over the page channel, and lists in parts whole"
  else
    check fail "page channel across a reload: $(cat "$work/channel.out")"
    cat "$work/channel.err"
  fi
fi

echo "window smoke: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
