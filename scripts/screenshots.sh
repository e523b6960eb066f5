#!/usr/bin/env bash
# Takes the pictures of docs/: the loop's step marker, the pattern field's
# context menu and the
# recorder window with a take coming in (the microphone is a file of the
# kit's vowel, read by SDL's disk driver). The window itself is
# scripts/screenshot.sh's.
#   scripts/screenshots.sh [program] [folder, default docs]
set -euo pipefail
cd "$(dirname "$0")/.."
program=${1:-build/default/bin/tamvolo}
out=${2:-docs}
mkdir -p "$out"

if [ -z "${TAMVOLO_IN_XVFB:-}" ]; then
  TAMVOLO_IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$program" "$out"
fi

work=$(mktemp -d)
# One second of silence, then the vowel "a" over and over: a take to see.
python3 - "$(dirname "$program")/voc/a.wav" "$work/microphone.raw" <<'PY'
import struct, sys, wave
w = wave.open(sys.argv[1]); frames = w.readframes(w.getnframes()); ch = w.getnchannels()
pcm = struct.unpack('<%dh' % (len(frames) // 2), frames)[::ch]
vowel = struct.pack('<%df' % len(pcm), *[s / 32768.0 for s in pcm])
with open(sys.argv[2], 'wb') as f:
    f.write(b'\0' * 4 * 48000 + vowel * 20)
PY
XDG_DATA_HOME="$work/data" SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null SDL_DISKAUDIOFILEIN="$work/microphone.raw" \
  QT_QPA_PLATFORM=xcb "$program" 2>/dev/null &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null || true; rm -rf "$work"' EXIT
source scripts/xwindow.sh
window=$(tamvolo_wait_for_window)
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$window")"

# The loop playing: "Esegui", then the side panel at the fourth step.
xdotool mousemove $((X + 620)) $((Y + 146)) click 1
sleep 0.72
import -window root -crop 260x120+$((X + 540))+$((Y + 70)) "$out/step-marker.png"
xdotool mousemove $((X + 708)) $((Y + 146)) click 1
sleep 0.3

# The pattern field's context menu: a right click in the black field.
xdotool mousemove $((X + 664)) $((Y + 119)) click 3
sleep 0.7
import -window root -crop 560x330+$((X + 520))+$((Y + 60)) "$out/menu.png"
xdotool key Escape
sleep 0.3

# The recorder: its button, the key V, "Registra", two seconds of the vowel.
xdotool mousemove $((X + 568 + 92)) $((Y + 8 + 394)) click 1
sleep 1
recorder=$(xdotool search --onlyvisible --name 'Registratore' | head -n 1)
xdotool windowactivate --sync "$recorder" 2>/dev/null || true
xdotool windowfocus "$recorder" key v
sleep 0.3
eval "$(xdotool getwindowgeometry --shell "$recorder")"
xdotool mousemove $((X + 40)) $((Y + 60)) click 1
sleep 1.6
import -window "$recorder" "$out/recorder.png"
echo "wrote $out/step-marker.png, $out/menu.png and $out/recorder.png"
