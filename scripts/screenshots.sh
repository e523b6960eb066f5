#!/usr/bin/env bash
# Takes the pictures of the README and docs/, each from the program started
# on a virtual X server of its own:
#   scripts/screenshots.sh window [program] [output.png]
#       the window, its rounded corners on white (docs/tamvolo.png)
#   scripts/screenshots.sh scaled FACTOR [program] [output.png]
#       the window at a scale factor (QT_SCALE_FACTOR), as on a high-density
#       screen (docs/tamvolo-FACTORx.png)
#   scripts/screenshots.sh docs [program] [folder, default docs]
#       the loop's step marker, the pattern field's context menu and the
#       recorder with a take (the microphone is a file of the
#       kit's vowel, written by microphone_file and read by SDL's disk driver)
# The program defaults to the CI build's, which has microphone_file beside it.
# -e: a picture not taken ends the run.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh
what=${1:?window, scaled or docs}
shift
factor=1
if [ "$what" = scaled ]; then
  factor=${1:?scale factor, such as 2}
  shift
fi
program=${1:-build/ci/bin/tamvolo}
case $what in
  window) out=${2:-docs/tamvolo.png} screen=1024x768x24 ;;
  scaled) out=${2:-docs/tamvolo-${factor}x.png} screen=2000x1200x24 ;;
  docs) out=${2:-docs} screen=1280x800x24 ;;
  *) echo "screenshots.sh: window, scaled or docs" >&2; exit 2 ;;
esac
if [ "$what" = scaled ]; then
  rerun_under_xvfb "$screen" "$0" "$what" "$factor" "$program" "$out"
else
  rerun_under_xvfb "$screen" "$0" "$what" "$program" "$out"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# start_program ENV...: the program with ENV, its window's id in `window`
# and its top-left corner in X and Y; stopped at the end.
start_program() {
  env XDG_DATA_HOME="$work/data" QT_SCALE_FACTOR="$factor" TAMVOLO_AUDIO=sdl QT_QPA_PLATFORM=xcb "$@" \
    "$program" 2>/dev/null &
  pid=$!
  trap 'stop_pid $pid; rm -rf "$work"' EXIT
  window=$(wait_for_window)
  sleep 0.8
  window_origin "$window"
}

case $what in
  window)
    mkdir -p "$(dirname "$out")"
    start_program SDL_AUDIODRIVER=dummy
    # The rounded corners show the screen behind: make it white, like a page.
    import -window "$window" "$work/raw.png"
    convert "$work/raw.png" -fill white -draw 'color 0,0 floodfill' -draw 'color 791,0 floodfill' \
      -draw 'color 0,470 floodfill' -draw 'color 791,470 floodfill' "$out"
    echo "wrote $out"
    ;;
  scaled)
    mkdir -p "$(dirname "$out")"
    start_program SDL_AUDIODRIVER=dummy
    import -window "$window" "$out"
    echo "wrote $out ($(identify -format '%wx%h' "$out"))"
    ;;
  docs)
    mkdir -p "$out"
    # One second of silence, then the vowel "a" over and over: a take to see.
    "$(dirname "$program")/microphone_file" "$(dirname "$program")/voc/a.wav" "$work/microphone.raw" 1 20
    start_program SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/dev/null SDL_DISKAUDIOFILEIN="$work/microphone.raw"

    # The loop playing: "Esegui", then the side panel at the fourth step.
    click_on esegui
    sleep 0.72
    import -window root -crop 260x120+$((X + 540))+$((Y + 70)) "$out/step-marker.png"
    click_on ferma
    sleep 0.3

    # The pattern field's context menu: a right click in the black field.
    click_on pattern-field 3
    sleep 0.7
    import -window root -crop 560x380+$((X + 520))+$((Y + 60)) "$out/menu.png"
    xdotool key Escape
    sleep 0.3

    # The recorder: its button, the key V, "Registra", two seconds of the
    # vowel, "Ferma": the take's waveform, the part kept between the handles.
    click_on registratore
    sleep 1
    recorder=$(wait_for_window 'Registratore.*')
    xdotool windowactivate --sync "$recorder" 2>/dev/null || true
    xdotool windowfocus "$recorder" key v
    sleep 0.3
    window_origin "$recorder"
    click_on registra 1 recorder
    sleep 1.6
    click_on ferma 1 recorder
    sleep 0.5
    import -window "$recorder" "$out/recorder.png"
    echo "wrote $out/step-marker.png, $out/menu.png and $out/recorder.png"
    ;;
esac
