#!/usr/bin/env bash
# Remakes the seed corpus of the WMA harness: short files from FFmpeg's WMA
# encoders (both versions, with and without attributes) and the damaged
# fixtures.
set -euo pipefail
cd "$(dirname "$0")"
fix=../../tests/fixtures/wma
mkdir -p corpus/wma
rm -f corpus/wma/*
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "sine=frequency=440:duration=0.3:sample_rate=8000" \
  -c:a wmav1 -b:a 24k -fflags +bitexact corpus/wma/v1-mono.wma
ffmpeg -hide_banner -loglevel error -y -f lavfi -i "sine=frequency=440:duration=0.3:sample_rate=22050" \
  -ac 2 -c:a wmav2 -b:a 32k -metadata title=T -metadata author=A -metadata "WM/Year=1" \
  -fflags +bitexact corpus/wma/v2-tags.wma
cp "$fix/truncated-header.wma" "$fix/truncated-data.wma" corpus/wma/
du -sh corpus/wma
