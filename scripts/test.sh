#!/usr/bin/env bash
# Builds Pumpwire in the folder given (default: build) and runs the whole
# test suite. A second argument picks a special build: address (ASan and
# UBSan), thread (TSan), or thread-safety (clang, with the lock annotations
# checked and any breach an error). Skipped tests are listed at the end with
# their reasons.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
mode=${2:-}
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
case "$mode" in
  thread-safety) options+=(-DCMAKE_CXX_COMPILER=clang++ -DPUMPWIRE_THREAD_SAFETY=ON -DPUMPWIRE_SANITIZE=) ;;
  *) options+=(-DPUMPWIRE_SANITIZE="$mode") ;;
esac
cmake -S . -B "$dir" -G Ninja "${options[@]}" >/dev/null
cmake --build "$dir"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1}
status=0
ctest --test-dir "$dir" --output-on-failure -j2 --timeout 300 || status=$?
# ctest counts a skipped test as passed and shows no output for it: its
# reason is in the log of the run.
skips=$(awk '
  /: Skipped$/ { grab = 1; reason = ""; next }
  grab && /^\[  SKIPPED \]/ { print "  " $4 ": " reason; grab = 0; next }
  grab { reason = reason (reason == "" ? "" : " ") $0 }
' "$dir/Testing/Temporary/LastTest.log" 2>/dev/null || true)
if [ -n "$skips" ]; then
  echo "Skipped, and why:"
  echo "$skips"
fi
exit "$status"
