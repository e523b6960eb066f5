#!/usr/bin/env bash
# Takes the pictures of docs/: the loop's step marker, the pattern field's
# context menu and the
# recorder window with a take coming in (the microphone is a file of the
# kit's vowel, read by SDL's disk driver). The window itself is
# scripts/screenshot.sh's.
#   scripts/screenshots.sh [program] [folder, default docs]
# -e: a picture not taken ends the run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
program=${1:-build/default/bin/tamvolo}
out=${2:-docs}
mkdir -p "$out"

rerun_under_xvfb 1280x800x24 "$0" "$program" "$out"

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
XDG_DATA_HOME="$work/data" TAMVOLO_AUDIO=sdl SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null SDL_DISKAUDIOFILEIN="$work/microphone.raw" \
  QT_QPA_PLATFORM=xcb "$program" 2>/dev/null &
pid=$!
trap 'stop_pid $pid; rm -rf "$work"' EXIT
window=$(wait_for_window)
sleep 0.5
window_origin "$window"

# The loop playing: "Esegui", then the side panel at the fourth step.
click_on esegui
sleep 0.72
import -window root -crop 260x120+$((X + 540))+$((Y + 70)) "$out/step-marker.png"
click_on ferma
sleep 0.3

# The pattern field's context menu: a right click in the black field.
click_on pattern-field 3
sleep 0.7
import -window root -crop 560x330+$((X + 520))+$((Y + 60)) "$out/menu.png"
xdotool key Escape
sleep 0.3

# The recorder: its button, the key V, "Registra", two seconds of the vowel.
click_on registratore
sleep 1
recorder=$(wait_for_window 'Registratore.*')
xdotool windowactivate --sync "$recorder" 2>/dev/null || true
xdotool windowfocus "$recorder" key v
sleep 0.3
window_origin "$recorder"
click_on registra 1 recorder
sleep 1.6
import -window "$recorder" "$out/recorder.png"
echo "wrote $out/step-marker.png, $out/menu.png and $out/recorder.png"
