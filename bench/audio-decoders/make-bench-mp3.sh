#!/usr/bin/env bash
# make-bench-mp3.sh OUT.mp3 - a 3-minute 320 kbit/s stereo MP3 with busy
# content (a slow sine sweep on the left, pink noise on the right), so the
# decoder works as hard as on dense music. Not kept in the repository.
set -euo pipefail
out=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
sox -r 44100 -c 2 -n -b 16 "$tmp/src.wav" synth 180 sine 100-8000 pinknoise vol 0.5
lame --quiet -b 320 --cbr "$tmp/src.wav" "$out"
