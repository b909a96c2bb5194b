#!/usr/bin/env bash
# Installs what is missing, builds the tool and starts it. When no dispenser
# port is configured it starts the dispenser simulator on a pseudo-terminal
# and points the tool at it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)"

bin=build/src
if [ -x "$bin/app/kydtest" ]; then
  exec "$bin/app/kydtest" "$@"
elif [ -x "$bin/sim/kydsim" ]; then
  echo "The tester window is not built yet; starting the dispenser simulator alone."
  exec "$bin/sim/kydsim" "$@"
else
  echo "Nothing to start yet: the build produced neither the tester nor the simulator."
fi
