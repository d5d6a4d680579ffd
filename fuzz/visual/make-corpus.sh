#!/usr/bin/env bash
# Remakes the seed corpus of the visualisation drawing harness: crafted headers
# (size, channel counts, sample rate) followed by frames of buffer bytes.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p corpus
rm -f corpus/*
# header WIDTH HEIGHT SPECTRUM WAVEFORM RATE: the 10 header bytes, little-endian.
header() {
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x\\x%02x\\x%02x' \
    $(($1 & 255)) $(($1 >> 8 & 255)) $(($2 & 255)) $(($2 >> 8 & 255)) $(($3 & 255)) $(($4 & 255)))"
  printf "$(printf '\\x%02x\\x%02x\\x%02x\\x%02x' \
    $(($5 & 255)) $(($5 >> 8 & 255)) $(($5 >> 16 & 255)) $(($5 >> 24 & 255)))"
}
{ header 512 256 2 2 44100; head -c 4608 /dev/urandom; } > corpus/default-size-noise
{ header 512 256 2 2 44100; head -c 4608 /dev/zero | tr '\0' '\377'; } > corpus/all-loud
{ header 1 1 1 1 48000; head -c 100 /dev/urandom; } > corpus/one-pixel
{ header 3 1000 -3 9 -1; head -c 9216 /dev/urandom; } > corpus/tall-bad-counts
{ header 1100 2 0 0 2147483647; } > corpus/wide-no-data
