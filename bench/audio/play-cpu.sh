#!/usr/bin/env bash
# CPU cost of playing an MP3: our library (bench_audio_play) against
# `mpg123 -o pulse`, both playing the same file to the same sink at the same
# time, three 20-second runs; prints each run and the medians (user + system
# seconds of each process only).
#   bench/audio/play-cpu.sh BUILD_BIN_DIR [file.mp3] [seconds]
# Needs a sound server (e.g. scripts/services.sh start DIR).
set -euo pipefail
bin=$1
secs=${3:-20}
file=${2:-/tmp/quillet-bench-300s.mp3}
[[ -f $file ]] || "$bin/bench_audio_decode" >/dev/null  # makes the default file
ours=() theirs=()
for run in 1 2 3; do
  out=$(mktemp)
  /usr/bin/time -f "%U %S" -o "$out" timeout -s INT "$secs" mpg123 -q -o pulse "$file" >/dev/null 2>&1 &
  tpid=$!
  o=$("$bin/bench_audio_play" "$file" "$secs")
  wait $tpid || true
  t=$(tail -n 1 "$out" | awk '{print $1 + $2}')
  rm -f "$out"
  echo "run $run: ours $o s, mpg123 $t s"
  ours+=("$o") theirs+=("$t")
done
median() { printf '%s\n' "$@" | sort -g | sed -n 2p; }
echo "median CPU over $secs s: ours $(median "${ours[@]}") s, mpg123 $(median "${theirs[@]}") s"
