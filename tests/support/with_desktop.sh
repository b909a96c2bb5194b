#!/usr/bin/env bash
# Runs a program on a display of its own: a virtual X server (Xvfb) with a
# light window manager (openbox), as a desktop has them, so window titles,
# stacking and frames are what an operator sees.
#
#   with_desktop.sh <program> [arguments...]
#
# Exits 77 (skipped) only when Xvfb is not installed; scripts/deps.sh
# installs it with the window manager and xprop.
set -u
if ! command -v Xvfb >/dev/null; then
  echo "Xvfb is not installed: skipped"
  exit 77
fi
for tool in openbox xprop; do
  command -v "$tool" >/dev/null || { echo "$tool is missing: run scripts/deps.sh" >&2; exit 1; }
done

tmp=$(mktemp -d)
x_pid="" wm_pid=""
cleanup() {
  [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null
  [ -n "$x_pid" ] && kill "$x_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT

# Xvfb picks a free display and writes its number once it accepts clients.
mkfifo "$tmp/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$tmp/display" 2>"$tmp/xvfb.log" &
x_pid=$!
if ! read -r -t 20 display <"$tmp/display" || [ -z "$display" ]; then
  echo "Xvfb did not start:" >&2
  cat "$tmp/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$display"

# The window manager, with its default settings (not the user's).
XDG_CONFIG_HOME="$tmp" openbox --sm-disable >"$tmp/wm.log" 2>&1 &
wm_pid=$!
# It is ready once it names itself on the root window.
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
for _ in $(seq 200); do
  wm_ready && break
  kill -0 "$wm_pid" 2>/dev/null || break
  sleep 0.05
done
if ! wm_ready; then
  echo "the window manager did not start:" >&2
  cat "$tmp/wm.log" >&2
  exit 1
fi

QT_QPA_PLATFORM=xcb "$@"
