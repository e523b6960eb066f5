#!/usr/bin/env bash
# Sets up what is missing (its time said apart), then builds and runs the
# tests headless, each stage with its own time:
#   ./test.sh           the optimized build, warnings as errors, and every
#                       CTest test but the package's: real sound servers,
#                       desktops and the real window included
#   ./test.sh --full    that, then the whole suite under AddressSanitizer and
#                       UndefinedBehaviorSanitizer, the threaded tests under
#                       ThreadSanitizer, the fuzzers for 30 s each
#                       (TAMVOLO_FUZZ_SECONDS), the Debian package built and
#                       checked, and the benchmarks' smoke runs: what CI runs
#   ./test.sh --bench   the benchmarks in full (after the optimized build)
# Ends on a summary of the stages.
set -uo pipefail
cd "$(dirname "$0")"
source scripts/lib.sh
mode=${1:-}

suite() {
  local preset=$1
  shift
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" && ctest --preset "$preset" "$@"
}
# The ThreadSanitizer tier builds only the tests it runs.
threaded() {
  cmake --preset tsan >/dev/null && cmake --build --preset tsan --target tamvolo_threaded_tests && ctest --preset tsan
}
# Every benchmark once: its name, its smoke run's arguments, its full runs'
# arguments (runs apart by ";", an empty one runs it without arguments).
benchmarks=(
  "bench_lookup||"
  "bench_playsample||"
  "bench_export||"
  "bench_kits|TR808EmulationKit|"
  "bench_realserver|--seconds 5 --after 1;--seconds 5 --after 1 --server pipewire|;--server pipewire;--server pipewire-vm --seconds 30"
  "bench_midi|--seconds 5|;--quantum 128"
  "bench_floor|--hits 12|;--kit GMRockKit"
)
# run_benchmarks smoke|full: each benchmark's runs of that kind, in order;
# stops at the first that fails.
run_benchmarks() {
  local entry name smoke full runs args run
  for entry in "${benchmarks[@]}"; do
    IFS='|' read -r name smoke full <<<"$entry"
    [ "$1" = smoke ] && runs=$smoke || runs=$full
    IFS=';' read -ra args <<<"$runs"
    [ ${#args[@]} = 0 ] && args=("")
    for run in "${args[@]}"; do
      # shellcheck disable=SC2086 # a run's arguments are words
      build/ci/bin/$name $run || return 1
    done
  done
}

source scripts/setup.sh
stage "set-up (packages)" tamvolo_setup --tests || exit 1
export QT_QPA_PLATFORM=offscreen
case $mode in
  --full)
    stage "optimized build and suite" suite ci -LE package
    stage "AddressSanitizer, UBSan" suite asan
    stage "ThreadSanitizer (threaded tests)" threaded
    stage "fuzzers" scripts/fuzz.sh "${TAMVOLO_FUZZ_SECONDS:-30}"
    stage "Debian package" ctest --preset ci -L package
    stage "benchmarks' smoke runs" run_benchmarks smoke
    ;;
  --bench)
    stage "optimized build" bash -c 'cmake --preset ci >/dev/null && cmake --build --preset ci'
    stage "benchmarks" run_benchmarks full
    ;;
  *)
    stage "optimized build and suite" suite ci -LE package
    ;;
esac
stage_summary Summary
