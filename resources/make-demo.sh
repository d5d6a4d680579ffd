#!/usr/bin/env bash
# Makes demo.mp3: a short arpeggio (C major, then F and G) played by plucked
# strings, 6 seconds, 44.1 kHz stereo, 128 kbit/s with a LAME header.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d); trap 'rm -rf "$tmp"' EXIT
i=0
for note in C4 E4 G4 C5 F4 A4 C5 F5 G4 B4 D5 G5; do
  sox -n -r 44100 -c 2 "$tmp/n$(printf %02d $i).wav" synth 0.5 pluck "$note" fade 0 0.5 0.3 vol 0.5
  i=$((i + 1))
done
sox "$tmp"/n*.wav "$tmp/demo.wav"
lame --quiet -b 128 --tt "Quillet demo" --ta "Quillet" "$tmp/demo.wav" demo.mp3
