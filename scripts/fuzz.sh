#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan+UBSan) in build-fuzz and runs each
# for a while: every target, or those named (line-reader, station-listener,
# ...). Prints each target's executions and coverage, and fails when one finds
# a crash, a leak, a time-out or an out-of-memory; the input that did it is
# left in build-fuzz/fuzz-work/<target>/.
#
#   scripts/fuzz.sh                     every target for 30 s
#   scripts/fuzz.sh --time 600 gif-decoder
#
# New inputs a run finds are kept in build-fuzz/fuzz-work/<target>/corpus and
# used again by the next run; the seeds are fuzz/corpus/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=30
build=build-fuzz
targets=()
while (($#)); do
  case "$1" in
    --time) seconds="$2"; shift 2 ;;
    --build) build="$2"; shift 2 ;;
    -h|--help) sed -n '2,13p' "$0"; exit 0 ;;
    -*) echo "usage: $0 [--time SECONDS] [--build DIR] [TARGET...]" >&2; exit 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DPUMPWIRE_FUZZ=ON -DBUILD_TESTING=OFF
fi
cmake --build "$build" -j2 --target pumpwire-fuzz

if ((${#targets[@]} == 0)); then
  for source in fuzz/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    name=${name#fuzz_}
    [ "$name" = support ] && continue
    targets+=("${name//_/-}")
  done
fi

# The longest input each target is given: a peer's lines go past the line
# limit (16 KB), a picture may be bigger, a settings file or a password not.
max_len() {
  case "$1" in
    gif-decoder|jpeg-decoder) echo 65536 ;;
    line-reader|station-listener|office-listener) echo 40000 ;;
    password) echo 1024 ;;
    *) echo 8192 ;;
  esac
}

failed=()
for target in "${targets[@]}"; do
  program="$build/fuzz/pumpwire-fuzz-$target"
  if [ ! -x "$program" ]; then
    echo "$target: no such fuzz target ($program)" >&2
    failed+=("$target")
    continue
  fi
  work="$build/fuzz-work/$target"
  rm -rf "$work/root"
  mkdir -p "$work/corpus" "$work/root"
  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=1024
           -max_len="$(max_len "$target")" -artifact_prefix="$work/" -print_final_stats=1)
  [ -f "fuzz/dict/$target.dict" ] && options+=(-dict="fuzz/dict/$target.dict")
  seeds=()
  [ -d "fuzz/corpus/$target" ] && seeds+=("fuzz/corpus/$target")
  status=0
  # The targets' files (log, settings, received files) go under root.
  PUMPWIRE_ROOT="$PWD/$work/root" PUMPWIRE_WINDIR="$PWD/$work/root" \
    "$program" "${options[@]}" "$work/corpus" "${seeds[@]}" >"$work/output.txt" 2>&1 || status=$?
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$work/output.txt" | tail -1 || true)
  if ((status != 0)); then
    echo "$target: FAILED (exit $status); the input is in $work/, the output in $work/output.txt"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$work/output.txt" | head -5 || true
    failed+=("$target")
  else
    echo "$target: ${done_line:-no DONE line, see $work/output.txt}"
  fi
done

if ((${#failed[@]})); then
  echo "fuzz targets with findings: ${failed[*]}" >&2
  exit 1
fi
