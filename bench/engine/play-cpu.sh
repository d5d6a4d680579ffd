#!/usr/bin/env bash
# CPU cost of playing a 320 kbit/s MP3 with quillet-play (the engine in its default
# dual-channel mode, through the fed output) against `mpg123 -o pulse`, both playing the
# same file to the same sink at the same time: three runs of SECONDS each, user + system
# seconds of each player's own process, each run and the medians and their ratio.
#   bench/engine/play-cpu.sh BUILD_BIN_DIR [file.mp3] [seconds]
# Needs a sound server (e.g. scripts/services.sh start DIR). quillet-play is stopped
# with "quit" on its stdin, so its own exit is measured.
set -euo pipefail
bin=$1
file=${2:-/tmp/quillet-bench-music-320k.mp3}
secs=${3:-20}

if [[ ! -f $file ]]; then
  # 90 s of a music-like signal: a chord whose notes swell and fade at different
  # rates, a slow melody, and a little band-limited noise (cymbal-like hiss).
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  sox -n -r 44100 -c 2 -b 16 "$tmp/n1.wav" synth 90 sine 220 tremolo 0.7 60
  sox -n -r 44100 -c 2 -b 16 "$tmp/n2.wav" synth 90 sine 277.2 tremolo 1.1 60
  sox -n -r 44100 -c 2 -b 16 "$tmp/n3.wav" synth 90 sine 329.6 tremolo 0.5 60
  sox -n -r 44100 -c 2 -b 16 "$tmp/mel.wav" synth 90 triangle 440:880 tremolo 4 80
  sox -n -r 44100 -c 2 -b 16 "$tmp/hiss.wav" synth 90 pinknoise highpass 3000 vol 0.3
  sox -m "$tmp/n1.wav" "$tmp/n2.wav" "$tmp/n3.wav" "$tmp/mel.wav" "$tmp/hiss.wav" "$tmp/mix.wav" norm -3
  lame --quiet --noreplaygain -b 320 --cbr "$tmp/mix.wav" "$file"
fi

ours=() theirs=()
for run in 1 2 3; do
  oout=$(mktemp) tout=$(mktemp)
  /usr/bin/time -f "%U %S" -o "$tout" timeout -s INT "$secs" mpg123 -q -o pulse "$file" >/dev/null 2>&1 &
  tpid=$!
  { sleep "$secs"; echo quit; } | /usr/bin/time -f "%U %S" -o "$oout" "$bin/quillet-play" "$file" >/dev/null
  wait $tpid || true
  o=$(tail -n 1 "$oout" | awk '{printf "%.2f", $1 + $2}')
  t=$(tail -n 1 "$tout" | awk '{printf "%.2f", $1 + $2}')
  rm -f "$oout" "$tout"
  echo "run $run: quillet-play $o s, mpg123 $t s"
  ours+=("$o") theirs+=("$t")
done
median() { printf '%s\n' "$@" | sort -g | sed -n 2p; }
mo=$(median "${ours[@]}") mt=$(median "${theirs[@]}")
ratio=$(awk -v a="$mo" -v b="$mt" 'BEGIN { if (b > 0) printf "%.2f", a / b; else print "n/a" }')
echo "median CPU over $secs s: quillet-play $mo s, mpg123 $mt s, ratio $ratio"
