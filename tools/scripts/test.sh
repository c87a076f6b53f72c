#!/usr/bin/env bash
# Builds everything with warnings as errors and runs the whole test suite.
#   tools/scripts/test.sh              the format check, then the normal build (build/)
#   tools/scripts/test.sh --sanitize   AddressSanitizer + UBSan (build-asan/)
#   tools/scripts/test.sh --tsan       ThreadSanitizer: the editor, X11 and editor stress suites, the
#                                      worker (build-tsan/)
set -euo pipefail
source "$(dirname "$0")/common.sh"
"$root/tools/scripts/setup-debian.sh"

build="$root/build"
extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ "${1:-}" = "--sanitize" ]; then
  build="$root/build-asan"
  extra=(-DCMAKE_BUILD_TYPE=Debug -DQUORVEX_SANITIZE=ON)
  export ASAN_OPTIONS="${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}"
  export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
  export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$root/tools/scripts/lsan.supp:print_suppressions=0}"
fi

if [ "${1:-}" = "--tsan" ]; then
  build="$root/build-tsan"
  export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}"
  cmake -S "$root" -B "$build" -DQUORVEX_WERROR=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_TSAN=ON \
    -DQUORVEX_BUILD_BENCH=OFF "${launcher[@]}"
  cmake --build "$build" -j "$jobs" --target quorvex_editor_tests quorvex_editor_thread_tests quorvex_x11_tests \
    quorvex_stress_editor_tests quorvex_framework_tests quorvex_effect_tests
  # The four-thread run for 15 s here; QUORVEX_STRESS_FULL=1 makes it a minute.
  export QUORVEX_STRESS_SECONDS="${QUORVEX_STRESS_SECONDS:-$( [ "${QUORVEX_STRESS_FULL:-0}" = 1 ] && echo 60 || echo 15)}"
  ctest --test-dir "$build" --output-on-failure --timeout 900 -R '^(Editor[A-Za-z]*\.|X11Editor$|StressEditor$|IPlugWorker\.|EffectWorker\.)'
  exit 0
fi

# The tree stays formatted as .clang-format says; checked once, in the plain run.
if [ "${1:-}" != "--sanitize" ]; then "$root/tools/scripts/check-format.sh"; fi

cmake -S "$root" -B "$build" -DQUORVEX_WERROR=ON "${extra[@]}" "${launcher[@]}"
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 300
