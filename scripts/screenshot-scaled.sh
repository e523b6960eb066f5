#!/usr/bin/env bash
# Takes a picture of the window at a scale factor (QT_SCALE_FACTOR), as on a
# high-density screen.
#   scripts/screenshot-scaled.sh FACTOR [program] [output.png]
# -e: a picture not taken ends the run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
factor=${1:?scale factor, such as 2}
program=${2:-build/default/bin/tamvolo}
output=${3:-docs/tamvolo-${factor}x.png}
mkdir -p "$(dirname "$output")"

rerun_under_xvfb 2000x1200x24 "$0" "$factor" "$program" "$output"

QT_SCALE_FACTOR=$factor TAMVOLO_AUDIO=sdl SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb "$program" 2>/dev/null &
pid=$!
trap 'stop_pid $pid' EXIT
window=$(wait_for_window)
sleep 0.8
import -window "$window" "$output"
echo "wrote $output ($(identify -format '%wx%h' "$output"))"
