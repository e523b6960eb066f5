#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer and UBSan) and runs
# each for a bounded time on a corpus the project makes itself: the sample
# kit and the seeds of fuzz_seeds (WAV layouts, pattern files, sample names),
# a pad's MIDI bytes, small drumkits, SFZ files and a .h2drumkit, and the
# drumkits Debian ships where installed. Inputs kept in
# tests/fuzz/regressions run first. A crash stops the run with the input
# saved in build/fuzz/findings.
#   scripts/fuzz.sh [seconds per target, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
bin=build/fuzz/bin
corpus=build/fuzz/corpus
findings=build/fuzz/findings
mkdir -p "$corpus/mididecoder" "$corpus/drumkit" "$corpus/sfz" "$corpus/kitarchive" "$findings"
"$bin/fuzz_seeds" "$corpus"
cp build/fuzz/bin/voc/*.wav "$corpus/wavloader/"

status=0
# A drum pad's note-ons, with running status, a SysEx and a clock byte.
printf '\x99\x24\x64\x2a\x50\xf0\x7e\x7f\xf7\xf8\x89\x24\x00' >"$corpus/mididecoder/pad"
# A layered instrument and an older one-file one; Debian's kits where installed.
printf '%s' '<?xml version="1.0"?><drumkit_info><name>K</name><instrumentList><instrument><name>Snare</name><pan_L>1</pan_L><pan_R>0.5</pan_R><muteGroup>1</muteGroup><midiOutNote>38</midiOutNote><instrumentComponent><layer><filename>s.wav</filename><min>0</min><max>0.5</max><gain>1</gain><pitch>0</pitch></layer></instrumentComponent></instrument><instrument><name>Kick</name><filename>k.flac</filename></instrument></instrumentList></drumkit_info>' >"$corpus/drumkit/small.xml"
n=0
for kit in /usr/share/hydrogen/data/drumkits/*/drumkit.xml; do
  [ -f "$kit" ] && cp "$kit" "$corpus/drumkit/debian-$((n += 1)).xml"
done
printf '%s\n' '<control> default_path=s/' '<group> key=42 group=1 off_by=2 pan=-50' \
  '<region> sample=a.wav hivel=63 seq_length=2 seq_position=1 amp_velcurve_64=0.5' \
  '<region> sample=b b.wav lokey=c4 hikey=d#4 lovel=64 tune=-20 volume=-3 // end' >"$corpus/sfz/small.sfz"
# A kit packed as Hydrogen packs one: its folder, its drumkit.xml, a sample.
kitroot=$(mktemp -d)
mkdir -p "$kitroot/K"
cp "$corpus/drumkit/small.xml" "$kitroot/K/drumkit.xml"
cp build/fuzz/bin/voc/v.wav "$kitroot/K/s.wav"
tar czf "$corpus/kitarchive/small.h2drumkit" -C "$kitroot" K
rm -rf "$kitroot"
# Every fuzzer built, each on the corpus folder of its name.
for fuzzer in "$bin"/fuzz_*; do
  target=${fuzzer##*/fuzz_}
  [ "$target" = seeds ] && continue
  dir=$target
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
