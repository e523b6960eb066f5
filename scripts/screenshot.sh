#!/usr/bin/env bash
# Takes the README's picture of the window: starts the built program on a
# virtual X server, waits for its window and writes it to docs/tamvolo.png.
#   scripts/screenshot.sh [program] [output.png]
# -e: a picture not taken ends the run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
program=${1:-build/default/bin/tamvolo}
output=${2:-docs/tamvolo.png}
mkdir -p "$(dirname "$output")"

rerun_under_xvfb 1024x768x24 "$0" "$program" "$output"

TAMVOLO_AUDIO=sdl SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb "$program" 2>/dev/null &
pid=$!
trap 'stop_pid $pid' EXIT
window=$(wait_for_window)
sleep 0.5
# The rounded corners show the screen behind: make it white, like a page.
raw=$(mktemp --suffix=.png)
import -window "$window" "$raw"
convert "$raw" -fill white -draw 'color 0,0 floodfill' -draw 'color 791,0 floodfill' \
  -draw 'color 0,470 floodfill' -draw 'color 791,470 floodfill' "$output"
rm -f "$raw"
echo "wrote $output"
