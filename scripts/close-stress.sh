#!/usr/bin/env bash
# Starts the real program over and over, lets the loop play a moment and
# closes it with "Chiudi", as a person would; every run must end by itself
# with exit code 0 and print nothing.
#   scripts/close-stress.sh [build folder, default build/asan] [runs, default 300] [driver: dummy or pulseaudio]
# With pulseaudio, the runs play into a private PulseAudio server of their own,
# through the program's own PulseAudio stream.
set -uo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
build=${1:-build/asan}
runs=${2:-300}
driver=${3:-dummy}

if [ -z "${TAMVOLO_IN_XVFB:-}" ]; then
  cmake --build "$build" --target tamvolo >/dev/null || exit 1
fi
rerun_under_xvfb 1024x768x24 "$0" "$build" "$runs" "$driver"

work=$(mktemp -d)
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
cleanup() {
  [ "$driver" = pulseaudio ] && scripts/pulse-server.sh stop "$work/pulse"
  rm -rf "$work"
}
trap cleanup EXIT
if [ "$driver" = pulseaudio ]; then
  scripts/pulse-server.sh start "$work/pulse" || exit 1
  read_env_lines client scripts/pulse-server.sh env "$work/pulse"
  export "${client[@]}"
fi
export QT_QPA_PLATFORM=xcb
if [ "$driver" = pulseaudio ]; then
  unset SDL_AUDIODRIVER TAMVOLO_AUDIO
else
  export TAMVOLO_AUDIO=sdl SDL_AUDIODRIVER=$driver
fi
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}

failures=0
for run in $(seq "$runs"); do
  "$build/bin/tamvolo" >"$work/out" 2>&1 &
  pid=$!
  if ! window=$(wait_for_window 2>/dev/null); then
    echo "close-stress: run $run: no window"; stop_pid $pid 0; head -n 20 "$work/out"
    failures=$((failures + 1)); continue
  fi
  window_origin "$window"
  click_on esegui
  sleep "0.$((RANDOM % 5 + 1))"
  click_on chiudi
  wait_for_exit $pid 100
  code=$?
  if [ $code -eq 124 ]; then
    echo "close-stress: run $run: still running 10 s after Chiudi"; stop_pid $pid 0
    failures=$((failures + 1))
  elif [ "$code" -ne 0 ] || [ -s "$work/out" ]; then
    echo "close-stress: run $run: exit code $code"; head -n 20 "$work/out"
    failures=$((failures + 1))
  fi
done
echo "close-stress: $runs runs with the $driver driver, $failures failed"
[ $failures -eq 0 ]
