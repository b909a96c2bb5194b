#!/usr/bin/env bash
# Installs what is missing, builds the tool and the simulator and starts the
# tool.
#
# When no dispenser port is configured (first start, or the simulator's port
# COM49 from an earlier run), the dispenser simulator is started on a
# pseudo-terminal, registered as COM49 in the tool's ini file, and the tool
# talks to it. To use a real dispenser, choose its port in Options; the next
# start then leaves the simulator out.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset default >/dev/null
# Only what runs here: the tool and the simulator (not the tests).
cmake --build --preset default -j "$(nproc)" --target kydtest kydsim

bin=$PWD/build/src
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

port=$(configured_port)
sim_pid=""
if [ -z "$port" ] || [ "$port" = 0 ] || [ "$port" = "$sim_com" ]; then
  link=/tmp/kydsim-$(id -u)
  echo "No dispenser configured: starting the simulator as COM$sim_com ($link)."
  mkdir -p "$(dirname "$ini")"
  [ -n "$port" ] && [ "$port" != 0 ] || set_port "$sim_com"
  "$bin/sim/kydsim" --link "$link" --com "$sim_com" --ini "$ini" &
  sim_pid=$!
  trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null; wait 2>/dev/null' EXIT
  for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
fi

# The tool starts in demo/, so its Demo page offers the demo scripts there
# and the communication log (KYD.LOG by default) is written beside them.
cd demo
"$bin/app/kydtest" --ini "$ini" "$@"
