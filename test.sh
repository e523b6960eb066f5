#!/usr/bin/env bash
# Sets up what is missing, then builds and runs every test headless: under
# AddressSanitizer with UndefinedBehaviorSanitizer, the threaded tests under
# ThreadSanitizer, the fuzzers for a minute each (TAMVOLO_FUZZ_SECONDS), and
# last the whole suite in the optimized build with warnings as errors.
# `./test.sh --bench` also runs the benchmarks.
set -uo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh
tamvolo_setup --tests || exit 1

export QT_QPA_PLATFORM=offscreen
status=0
suite() {
  local preset=$1
  echo "== $preset =="
  cmake --preset "$preset" >/dev/null &&
    cmake --build --preset "$preset" &&
    ctest --preset "$preset" || status=1
}

suite asan
suite tsan
echo "== fuzz =="
scripts/fuzz.sh "${TAMVOLO_FUZZ_SECONDS:-60}" || status=1
suite ci
if [ "${1:-}" = "--bench" ]; then
  for bench in build/ci/bin/bench_*; do "$bench"; done
  build/ci/bin/bench_realserver 120 pipewire
  build/ci/bin/bench_realserver 120 pipewire-vm
fi
exit $status
