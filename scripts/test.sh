#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the whole test suite;
# then runs the serial and platform tests again under ThreadSanitizer, the
# Qt-free libraries' and the widget tests under AddressSanitizer, and every
# fuzz target briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)

# CI's build carries line tables only, as the sanitizer presets do: enough
# for backtraces, and far cheaper to compile and link than full debug
# information. A developer's own build keeps what it was configured with.
default_opts=()
if [ -n "${CI:-}" ]; then
  default_opts=(-DKYD_DEBUG_INFO=lines)
fi
cmake --preset default "${default_opts[@]}" >/dev/null
cmake --build --preset default -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --preset default -j "$jobs"

# ThreadSanitizer needs the usual address-space layout; newer kernels
# randomise mmap more than gcc 12's runtime accepts, so turn that off for it.
tsan_run=()
if command -v setarch >/dev/null && setarch "$(uname -m)" -R true 2>/dev/null; then
  tsan_run=(setarch "$(uname -m)" -R)
fi
cmake --preset tsan >/dev/null
"${tsan_run[@]}" cmake --build --preset tsan -j "$jobs"
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "${tsan_run[@]}" ctest --preset tsan -j "$jobs"

# --- AddressSanitizer ---------------------------------------------------------
# The tests of the Qt-free libraries and the component library's widget
# tests under AddressSanitizer and UndefinedBehaviorSanitizer (leaks inside
# third-party libraries are suppressed: tests/support/lsan_suppressions.txt).
# The tester's windows, screenshots and desktop tests stay out: they are the
# slowest to build under it and add little the widget tests do not cover.
asan_targets=(kyd_platform_tests kyd_serial_tests kyd_sim_tests kydsim kyd_link_tests
              kyd_firmware_tests kyd_widgets_tests kyd_app_tests kyd_widgets_qt_tests)
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs" --target "${asan_targets[@]}"
QT_QPA_PLATFORM=offscreen ctest --preset asan -j "$jobs" -LE 'screenshots|desktop' -E '_NOT_BUILT$'

# --- fuzzing -----------------------------------------------------------------
# Every fuzz target (fuzz/, Qt-free, clang + libFuzzer + ASan/UBSan) once over
# its seeds, then 5 seconds each, as many at once as there are cores (20
# targets on 2 cores: about 50 s of fuzzing after the build); the longer
# runs are scripts/fuzz_long.sh.
bash scripts/fuzz.sh --time 5
# --- end of fuzzing ----------------------------------------------------------
