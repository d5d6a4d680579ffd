#!/usr/bin/env bash
# Remakes the small seed corpora of the decoder fuzz harnesses from short
# tones made by real encoders (and the crafted module of the fixtures).
set -euo pipefail
cd "$(dirname "$0")"
fix=../../tests/fixtures/audio
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p corpus/mpeg corpus/vorbis corpus/sndfile corpus/music
rm -f corpus/*/*
sox -r 44100 -c 2 -n -b 16 "$tmp/s.wav" synth 0.1 sine 440 vol 0.5
sox -r 8000 -c 1 -n -b 16 "$tmp/m.wav" synth 0.1 sine 440 vol 0.5
lame --quiet -b 32 "$tmp/s.wav" corpus/mpeg/cbr32.mp3
lame --quiet -V 9 --add-id3v2 --tt T "$tmp/m.wav" corpus/mpeg/vbr-id3.mp3
ffmpeg -loglevel error -y -i "$tmp/m.wav" -c:a mp2 -b:a 32k -f mp2 corpus/mpeg/mono.mp2
oggenc --quiet -q 0 -c "TITLE=t" -o corpus/vorbis/mono.ogg "$tmp/m.wav"
cp "$tmp/m.wav" corpus/sndfile/pcm16.wav
sox "$tmp/m.wav" -e floating-point -b 32 corpus/sndfile/float.wav
sox "$tmp/m.wav" corpus/sndfile/mono.aiff
sox "$tmp/m.wav" corpus/sndfile/mono.flac
sox "$tmp/m.wav" -e ima-adpcm corpus/sndfile/adpcm.wav
ffmpeg -loglevel error -y -i "$tmp/m.wav" -c:a libopus -b:a 6k corpus/sndfile/mono.opus
cp "$fix/tune.mod" "$fix/tune.s3m" corpus/music/
du -sh corpus/*
