#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz/) and runs each for the
# given number of seconds (default 60), starting from the committed seeds.
# New inputs go to build-fuzz/corpus/<target>, crashes to build-fuzz/crashes.
#   tools/scripts/fuzz.sh [seconds] [target...]   targets: chunk dispatch png text
#   tools/scripts/fuzz.sh --corpus                rewrites tests/fuzz/corpus
set -euo pipefail
source "$(dirname "$0")/common.sh"
"$root/tools/scripts/setup-debian.sh"

build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DQUORVEX_FUZZ=ON -DQUORVEX_WERROR=ON \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVEX_BUILD_TOOLS=OFF -DQUORVEX_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
seeds="$root/tests/fuzz/corpus"

if [ "${1:-}" = "--corpus" ]; then
  cmake --build "$build" -j "$jobs" --target make_fuzz_corpus
  rm -rf "$seeds"
  mkdir -p "$seeds"/{chunk,dispatch,png,text}
  "$build/tests/fuzz/make_fuzz_corpus" "$root" "$seeds"
  exit 0
fi

seconds="${1:-60}"
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then targets=(chunk dispatch png text); fi
cmake --build "$build" -j "$jobs" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS="${ASAN_OPTIONS:-halt_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$root/tools/scripts/lsan.supp:print_suppressions=0}"
mkdir -p "$build/crashes"
status=0
passed=0
failed=0
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  mkdir -p "$corpus"
  echo "== fuzz_$t for ${seconds}s"
  # PNG seeds are larger than libFuzzer's default input size.
  max=4096
  if [ "$t" = png ]; then max=65536; fi
  if ! "$build/tests/fuzz/fuzz_$t" "$corpus" "$seeds/$t" -max_total_time="$seconds" -max_len="$max" \
      -rss_limit_mb=4096 -artifact_prefix="$build/crashes/$t-" -print_final_stats=1 2>"$build/fuzz_$t.log"; then
    status=1
    failed=$((failed + 1))
    tail -n 60 "$build/fuzz_$t.log"
  else
    passed=$((passed + 1))
  fi
  grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$build/fuzz_$t.log" || true
done
echo "fuzz: $passed passed, $failed failed"
exit $status
