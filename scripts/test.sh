#!/usr/bin/env bash
# Installs what is needed, builds Mireva and runs every test: once plain (with
# warnings as errors) and once under AddressSanitizer and UndefinedBehaviorSanitizer.
# GUI tests run under a virtual X server. Then every fuzz target runs briefly on
# its seed corpus (scripts/fuzz.sh, a clang build of its own in build-fuzz).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIREVA_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  # One virtual display for the whole suite; GUI tests find it through DISPLAY.
  # Tests run one at a time: the GUI tests time real page loads.
  (cd "$dir" && xvfb-run -a -s "-screen 0 1280x1024x24" \
      ctest --output-on-failure --timeout 300)
}

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
echo "== plain build =="
run_suite build
echo "== AddressSanitizer + UndefinedBehaviorSanitizer build =="
run_suite build-asan -DMIREVA_SANITIZE=ON -DMIREVA_BUILD_BENCH=OFF
echo "== fuzz targets, a few seconds each on their seed corpora =="
FUZZ_JOBS="$jobs" bash scripts/fuzz.sh 6
