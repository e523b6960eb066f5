#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and UBSan) and runs
# each for a bounded time on a corpus the project makes itself: the sample
# kit and the seeds of fuzz_seeds (WAV layouts, pattern files, sample names). Inputs kept in tests/fuzz/regressions run
# first. A crash stops the run with the input saved in build/fuzz/findings.
#   scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
bin=build/fuzz/bin
corpus=build/fuzz/corpus
findings=build/fuzz/findings
mkdir -p "$corpus/wav" "$corpus/pattern" "$findings"
"$bin/fuzz_seeds" "$corpus"
cp build/fuzz/bin/voc/*.wav "$corpus/wav/"

status=0
for target in wavloader patternfile sampleindex; do
  case $target in
    wavloader) dir=wav ;;
    patternfile) dir=pattern ;;
    sampleindex) dir=names ;;
  esac
  regressions=tests/fuzz/regressions/$target
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    "$bin/fuzz_$target" "$regressions"/* >/dev/null 2>&1 || { echo "fuzz_$target: a regression input fails"; status=1; }
  fi
  log=build/fuzz/$target.log
  if "$bin/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 \
      -artifact_prefix="$findings/$target-" "$corpus/$dir" >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
    echo "fuzz_$target: $runs inputs in ${seconds} s, no crash"
  else
    echo "fuzz_$target: FOUND A CRASH (see $log and $findings)"
    tail -n 30 "$log"
    status=1
  fi
done
exit $status
