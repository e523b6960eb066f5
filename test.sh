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

status=0
summary=()
# stage NAME COMMAND...: runs a stage, its time and result into the summary.
stage() {
  local name=$1 started=$SECONDS result=passed
  shift
  echo "== $name =="
  "$@" || { result=FAILED; status=1; }
  local took=$((SECONDS - started))
  summary+=("$(printf '%-34s %-7s %3d min %02d s' "$name" "$result" $((took / 60)) $((took % 60)))")
  echo "== $name: $result in $((took / 60)) min $((took % 60)) s"
}
suite() {
  local preset=$1
  shift
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" && ctest --preset "$preset" "$@"
}
# The ThreadSanitizer tier builds only the tests it runs.
threaded() {
  cmake --preset tsan >/dev/null && cmake --build --preset tsan --target tamvolo_threaded_tests && ctest --preset tsan
}
smoke() {
  local bench
  for bench in bench_lookup bench_playsample bench_export; do build/ci/bin/$bench || return 1; done
  build/ci/bin/bench_kits TR808EmulationKit &&
    build/ci/bin/bench_realserver --seconds 5 --after 1 &&
    build/ci/bin/bench_realserver --seconds 5 --after 1 --server pipewire &&
    build/ci/bin/bench_midi --seconds 5 &&
    build/ci/bin/bench_floor --hits 12
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
    stage "benchmarks' smoke runs" smoke
    ;;
  --bench)
    stage "optimized build" bash -c 'cmake --preset ci >/dev/null && cmake --build --preset ci'
    stage "benchmarks" bash -c 'for b in build/ci/bin/bench_lookup build/ci/bin/bench_playsample build/ci/bin/bench_export build/ci/bin/bench_kits; do $b; done;
      build/ci/bin/bench_realserver && build/ci/bin/bench_realserver --server pipewire &&
      build/ci/bin/bench_realserver --server pipewire-vm --seconds 30 && build/ci/bin/bench_midi &&
      build/ci/bin/bench_midi --quantum 128 && build/ci/bin/bench_floor && build/ci/bin/bench_floor --kit GMRockKit'
    ;;
  *)
    stage "optimized build and suite" suite ci -LE package
    ;;
esac
echo
echo "Summary:"
printf '  %s\n' "${summary[@]}"
exit $status
