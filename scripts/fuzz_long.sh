#!/usr/bin/env bash
# The longer fuzzing run: a million executions of every fuzz target (on top
# of the corpus grown by earlier runs), three at a time. Extra arguments go to
# scripts/fuzz.sh (a --jobs count, target names).
set -euo pipefail
exec bash "$(dirname "$0")/fuzz.sh" --runs 1000000 --jobs 3 "$@"
