#!/usr/bin/env bash
# Installs what is missing, builds the tool and the simulator and starts the
# tool.
#
# When no dispenser port is configured (first start, or the simulator's port
# COM49 from an earlier run), the dispenser simulator is started on a
# pseudo-terminal, registered as COM49 in the tool's ini file, and the tool
# talks to it. To use a real dispenser, choose its port in Options; the next
# start then leaves the simulator out.
#
# KYD_BIN names a folder with programs already built (its app/kydtest and
# sim/kydsim); nothing is installed or built then.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${KYD_BIN:-}" ]; then
  bash scripts/deps.sh
  cmake --preset default >/dev/null
  # Only what runs here: the tool and the simulator (not the tests).
  cmake --build --preset default -j "$(nproc)" --target kydtest kydsim
fi

bin=${KYD_BIN:-$PWD/build/src}
ini=${KYD_INI:-$bin/app/kydtest.INI}
sim_com=49

# ComPort of section [Communication], empty when not set.
configured_port() {
  [ -f "$ini" ] || return 0
  awk -F= 'BEGIN{IGNORECASE=1}
    /^\[/ { sec = tolower($0); next }
    sec == "[communication]" && tolower($1) == "comport" { gsub(/[ \r]/, "", $2); print $2; exit }' "$ini"
}

# Sets [Communication] ComPort=<n>, keeping everything else.
set_port() {
  local tmp
  tmp=$(mktemp "$ini.XXXXXX")
  if [ -f "$ini" ] && grep -qi '^\[communication\]' "$ini"; then
    awk -v port="$1" 'BEGIN{IGNORECASE=1}
      /^\[/ { if (sec == "[communication]" && !done) { print "ComPort=" port; done = 1 }
              sec = tolower($0); print; next }
      sec == "[communication]" && tolower(substr($0, 1, 8)) == "comport=" { if (!done) print "ComPort=" port; done = 1; next }
      { print }
      END { if (sec == "[communication]" && !done) print "ComPort=" port }' "$ini" > "$tmp"
  else
    { [ -f "$ini" ] && cat "$ini"; printf '[Communication]\nComPort=%s\n' "$1"; } > "$tmp"
  fi
  mv "$tmp" "$ini"
}

# The tool is a desktop program: without a display Qt would abort with a
# message about its platform plugin that says nothing of the real cause.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] &&
   [ "${QT_QPA_PLATFORM:-}" != offscreen ] && [ "${QT_QPA_PLATFORM:-}" != minimal ]; then
  echo "no display: run under a desktop session or \`xvfb-run\` (for example: xvfb-run -a bash scripts/run.sh)" >&2
  exit 1
fi
# Qt keeps per-user runtime files there (the tool's single-instance lock
# too); a login session sets it, a bare shell or xvfb-run may not, and Qt
# then warns and falls back to this same folder.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR=/tmp/runtime-$(id -u)
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
fi

port=$(configured_port)
sim_pid=""
if [ -z "$port" ] || [ "$port" = 0 ] || [ "$port" = "$sim_com" ]; then
  # In the user's own runtime folder: another user's simulator, or a test
  # run with a runtime folder of its own, is not in the way.
  link=$XDG_RUNTIME_DIR/kydsim
  echo "No dispenser configured: starting the simulator as COM$sim_com ($link)."
  mkdir -p "$(dirname "$ini")"
  [ -n "$port" ] && [ "$port" != 0 ] || set_port "$sim_com"
  # The simulator prints its device path on standard output and says on
  # standard error where it runs; here the link names the device, so neither
  # is shown (anything else it says, a refused link for one, still is).
  "$bin/sim/kydsim" --link "$link" --com "$sim_com" --ini "$ini" >/dev/null \
    2> >(grep --line-buffered -v '^kydsim: dispenser simulator on ' >&2) &
  sim_pid=$!
  trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null' EXIT
  for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
  [ -e "$link" ] && echo "Simulator ready on $(readlink "$link")."
fi

# The tool starts in demo/, so its Demo page offers the demo scripts there
# and the communication log (KYD.LOG by default) is written beside them.
cd demo
"$bin/app/kydtest" --ini "$ini" "$@"
