#!/usr/bin/env bash
# Builds the fuzz targets (preset fuzz: clang, libFuzzer, ASan + UBSan,
# Qt-free libraries), runs each once over its seeds (ctest), then fuzzes
# each for a fixed time or a fixed number of executions, several at once.
#
#   bash scripts/fuzz.sh [--time SECONDS | --runs N] [--jobs N] [TARGET...]
#
# Default: 10 seconds per target (what CI runs), as many at once as there
# are cores. The corpus a run grows is kept in build-fuzz/fuzz-corpus/<target>
# (the seeds in fuzz/corpus/<target> are only read); an input that crashes,
# hangs or runs out of memory is written to build-fuzz/fuzz-artifacts/ and
# the script fails. Add a reduced copy of it to fuzz/corpus/<target>/ once
# the fault is mended, so the ctest keeps running it.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=(-max_total_time=10)
parallel=$(nproc)
targets=()
while (($#)); do
  case "$1" in
    --time) mode=(-max_total_time="$2"); shift 2 ;;
    --runs) mode=(-runs="$2"); shift 2 ;;
    --jobs) parallel="$2"; shift 2 ;;
    -h|--help) sed -n '2,14p' "$0"; exit 0 ;;
    -*) echo "fuzz.sh: unknown option $1" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done

# clang and its libFuzzer runtime (Debian ships the runtime in
# libclang-rt-<major>-dev), installed when missing.
install_pkgs() {
  local sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  echo "installing: $*"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "$@"
}
bash scripts/deps.sh
command -v clang++ >/dev/null || install_pkgs clang
probe_fuzzer() {
  echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' |
    clang++ -x c++ -fsanitize=fuzzer,address,undefined -o /dev/null - 2>/dev/null
}
if ! probe_fuzzer; then
  major=$(clang++ -dumpversion | cut -d. -f1)
  install_pkgs "libclang-rt-${major}-dev"
  probe_fuzzer || { echo "fuzz.sh: clang++ cannot link libFuzzer programs" >&2; exit 1; }
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$parallel"
ctest --preset fuzz -j "$parallel"

manifest=build-fuzz/fuzz/targets.txt
work=build-fuzz/fuzz-corpus
artifacts=build-fuzz/fuzz-artifacts
logs=build-fuzz/fuzz-logs
mkdir -p "$work" "$artifacts" "$logs"

run_one() { # name program seeds options; the exit status goes to <log>.rc
  local name=$1 prog=$2 seeds=$3 opts=$4 rc=0
  mkdir -p "$work/$name"
  # shellcheck disable=SC2086 # the options are words
  "$prog" "${mode[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$name-" $opts "$work/$name" "$seeds" >"$logs/$name.log" 2>&1 || rc=$?
  echo "$rc" >"$logs/$name.rc"
}

names=()
while IFS=$'\t' read -r name prog seeds opts; do
  if ((${#targets[@]})) && [[ ! " ${targets[*]} " == *" $name "* ]]; then
    continue
  fi
  while (($(jobs -rp | wc -l) >= parallel)); do wait -n || true; done
  rm -f "$logs/$name.rc"
  run_one "$name" "$prog" "$seeds" "$opts" &
  names+=("$name")
done <"$manifest"
((${#names[@]})) || { echo "fuzz.sh: no such target: ${targets[*]}" >&2; exit 2; }

wait
failed=0
printf '%-34s %12s %10s  %s\n' target executions exec/s result
for name in "${names[@]}"; do
  status=ok
  [ "$(cat "$logs/$name.rc" 2>/dev/null)" = 0 ] || status=FAILED
  log="$logs/$name.log"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  if [ "$status" != ok ]; then
    failed=1
    status="FAILED, see $log"
    grep -m1 -E '^SUMMARY|ERROR:' "$log" >&2 || tail -5 "$log" >&2
  fi
  printf '%-34s %12s %10s  %s\n' "$name" "${execs:-?}" "${rate:-?}" "$status"
done
exit "$failed"
