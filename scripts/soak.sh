#!/usr/bin/env bash
# Soak run: the real program on a virtual X server, its sound captured by
# SDL's disk driver, played hard for at least two minutes with real X events:
# the loop running, 10,000 keys or more (pads, the hyphen, Backspace, a full
# field, copy and paste), and the play, stop and clear buttons clicked over
# and over. Then it checks that
#   - the program still answers (Chiudi ends it at once),
#   - its memory stayed flat (RSS at the end within 5 % of after warm-up),
#   - the captured sound has no clicks (see tests/support/ClickDetector.h).
# It also reports the output blocks that came late and the sounds that
# started late; with the disk driver, which paces itself with sleeps and is
# no clock, those describe the driver under load rather than the program
# (the timing through a real sound server is bench_realserver's and
# tst_realserver's), so they do not fail the run.
#   scripts/soak.sh [build folder, default build/ci]
# TAMVOLO_SOAK_SECONDS and TAMVOLO_SOAK_KEYS change the minimum length (120 s,
# 10000 keys); TAMVOLO_SOAK_WRAPPER runs the program under a tool (heaptrack).
# -e: a step that fails (the build, the window) ends the run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
build=${1:-build/ci}

if [ -z "${TAMVOLO_IN_XVFB:-}" ]; then
  cmake --build "$build" --target tamvolo soak_check >/dev/null
fi
rerun_under_xvfb 1024x768x24 "$0" "$build"

work=$(mktemp -d)
# Qt complains on the terminal when the session has no runtime folder, as
# under a bare CI shell; a desktop session always has one.
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
trap 'kill -9 ${pid:-0} 2>/dev/null || true; rm -rf "$work"' EXIT
TAMVOLO_AUDIO=sdl SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/capture.raw" TAMVOLO_STATS="$work/stats" QT_QPA_PLATFORM=xcb \
  ${TAMVOLO_SOAK_WRAPPER:-} "$build/bin/tamvolo" 2>"$work/stderr" &
pid=$!

window=$(wait_for_window) || { echo "soak: the window did not appear"; exit 1; }
sleep 0.5
window_origin "$window"
field() { click_on pattern-field; }
play() { click_on esegui; }
stop() { click_on ferma; }
clear_field() { click_on cancella-tutto; }
rss() { awk '/^VmRSS/ {print $2}' "/proc/$pid/status"; }

keys=0 buttons=0 round=0 series=()
texts=("vbjhgfk va-fo gu-hiv 0123 vvvv bbbb kk-j vaffa fungo hg-fv j" "aeiou-vbvb ghfk 987 lmn rst -v-b-j-h- ko ku kiv vhf gb" "v b vvf -  ab-ba gag hug fig jib kev  -  vb vb vb vb 42")
play; buttons=$((buttons + 1))
start=$SECONDS
warm_rss=
while [ $keys -lt "${TAMVOLO_SOAK_KEYS:-10000}" ] || [ $((SECONDS - start)) -lt "${TAMVOLO_SOAK_SECONDS:-120}" ]; do
  round=$((round + 1))
  field
  text=${texts[$((round % 3))]}
  xdotool type --delay 4 "$text"
  xdotool key --delay 4 BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace \
    v a ctrl+a ctrl+c BackSpace ctrl+v ctrl+v
  keys=$((keys + ${#text} + 15))
  if [ $((round % 3)) -eq 0 ]; then play; buttons=$((buttons + 1)); fi
  if [ $((round % 5)) -eq 0 ]; then stop; buttons=$((buttons + 1)); fi
  if [ $((round % 7)) -eq 0 ]; then clear_field; play; buttons=$((buttons + 2)); fi
  if [ -z "$warm_rss" ] && [ $((SECONDS - start)) -ge 20 ]; then warm_rss=$(rss); fi
  if [ $((SECONDS - start)) -ge $((${#series[@]} * 10)) ]; then series+=("$(rss)"); fi
done
play
sleep 2
end_rss=$(rss)
elapsed=$((SECONDS - start))

click_on chiudi
answered=yes
wait_for_exit $pid 100 && code=0 || code=$?
[ $code -ne 124 ] || answered=no

late_blocks=$(sed -n 's/^late_blocks=//p' "$work/stats" 2>/dev/null || true)
late_onsets=$(sed -n 's/^late_onsets=//p' "$work/stats" 2>/dev/null || true)
growth=$(awk -v a="$warm_rss" -v b="$end_rss" 'BEGIN { printf "%.1f", (b - a) * 100 / a }')
audio=$("$build/bin/soak_check" "$work/capture.raw") && clean=yes || clean=no

echo "soak: ${elapsed} s, ${keys} keys, ${buttons} button clicks"
echo "soak: RSS ${warm_rss} kB after warm-up, ${end_rss} kB at the end (${growth} %); every 10 s: ${series[*]}"
echo "soak: late blocks ${late_blocks:-?}, late onsets ${late_onsets:-?}; ${audio}"
echo "soak: answered Chiudi: ${answered} (exit code ${code})"

ok=yes
[ "$answered" = yes ] && [ "$code" -eq 0 ] || ok=no
awk -v g="$growth" 'BEGIN { exit !(g <= 5.0) }' || ok=no
[ "$clean" = yes ] || ok=no
if [ -s "$work/stderr" ]; then echo "soak: the program wrote to the terminal:"; head -n 5 "$work/stderr"; ok=no; fi
[ "$ok" = yes ] && echo "soak: passed" || { echo "soak: FAILED"; exit 1; }
