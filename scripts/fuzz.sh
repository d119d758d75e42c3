#!/usr/bin/env bash
# Builds the fuzz targets (build-fuzz, clang, every library instrumented) and
# runs each one for SECONDS (default 60) on a copy of its seed corpus in
# fuzz/corpus/<target>/. SECONDS 0 only replays the corpus. Fails when any
# target finds a crash, a sanitizer report, a leak or an input slower than
# 10 s; what set it off is kept in build-fuzz/findings/<target>/.
#   FUZZ_TARGETS="a b"  run only these targets
#   FUZZ_JOBS=N         targets run N at a time (default 1)
#   FUZZ_RUNS=N         run each target to N executions instead of for SECONDS
#                       (a SECONDS given as well still caps the time), in
#                       fuzzer processes of FUZZ_SEGMENT executions (default
#                       1000000) one after another on the same growing corpus:
#                       a libFuzzer process slows down as it ages (one target
#                       ran 2.3 times slower after 3 million executions than
#                       a new process on the same corpus)
#   FUZZ_BUILD=dir      the build folder (default build-fuzz)
#   FUZZ_CORPUS=dir     keep each target's corpus in dir/<target> (seeded from
#                       fuzz/corpus) instead of a scratch copy, so that a
#                       campaign can go on where an earlier run left it
# Everything runs under nice, as the machine is shared with other builds.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
runs_wanted=${FUZZ_RUNS:-}
time_cap=${1:-}
jobs=${FUZZ_JOBS:-1}
build=${FUZZ_BUILD:-build-fuzz}
segment_size=${FUZZ_SEGMENT:-1000000}

if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ nice -n 19 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMIREVA_FUZZ=ON -DMIREVA_BUILD_TESTS=OFF -DMIREVA_BUILD_BENCH=OFF >/dev/null
fi
# Builds of the shared tree take turns through one lock.
flock /tmp/mireva-build.lock nice -n 19 cmake --build "$build" -j2 --target mireva_fuzz_all \
  >"$build/fuzz-build.log" 2>&1 || { tail -n 40 "$build/fuzz-build.log"; exit 1; }

targets=${FUZZ_TARGETS:-$(cd fuzz/corpus && ls)}
scratch=$(mktemp -d "$( [ -w /dev/shm ] && echo /dev/shm || echo /tmp)/mireva-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

run_one() {
  local target=$1 work="$scratch/$1"
  local findings="$PWD/$build/findings/$target"
  local corpus="$work/corpus"
  [ -n "${FUZZ_CORPUS:-}" ] && corpus="$FUZZ_CORPUS/$target"
  mkdir -p "$corpus" "$work/tmp" "$findings"
  cp -n fuzz/corpus/"$target"/* "$corpus/"
  local start=$SECONDS total=0 runs status=0
  while :; do
    local limit=(-max_total_time="$seconds")
    if [ "$seconds" = 0 ]; then
      limit=(-runs=0)
    elif [ -n "$runs_wanted" ]; then
      local segment=$((runs_wanted - total))
      [ "$segment" -gt "$segment_size" ] && segment=$segment_size
      limit=(-runs="$segment")
      if [ -n "$time_cap" ]; then
        local left=$((time_cap - (SECONDS - start)))
        [ "$left" -lt 1 ] && break
        limit+=(-max_total_time="$left")
      fi
    fi
    # The targets' scratch files go to a folder of their own under TMPDIR.
    TMPDIR="$work/tmp" nice -n 19 "$build/fuzz/$target" "${limit[@]}" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" \
      "$corpus" >"$work/log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
    total=$((total + ${runs:-0}))
    [ "$status" -ne 0 ] && break
    # One process unless a number of executions is asked for; a segment that
    # ran short ended at the time cap.
    [ -z "$runs_wanted" ] || [ "$seconds" = 0 ] || [ "$total" -ge "$runs_wanted" ] && break
    [ "${runs:-0}" -lt "$segment" ] && break
  done
  if [ "$status" -ne 0 ]; then
    cp "$work/log" "$findings/log"
    echo "FAIL $target after $total executions (see $findings)"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$work/log" | head -n 5
    return 1
  fi
  rmdir "$findings" 2>/dev/null || true
  printf '%-26s %12s executions in %4d s\n' "$target" "$total" $((SECONDS - start))
}

failed=0
running=0
for target in $targets; do
  if [ "$running" -ge "$jobs" ]; then
    wait -n || failed=1
    running=$((running - 1))
  fi
  run_one "$target" &
  running=$((running + 1))
done
while [ "$running" -gt 0 ]; do
  wait -n || failed=1
  running=$((running - 1))
done
if [ "$failed" -ne 0 ]; then
  echo "fuzzing found faults"
  exit 1
fi
echo "fuzzing: no findings"
