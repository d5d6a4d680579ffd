#!/usr/bin/env bash
# Renders quillet.svg into the PNG sizes the desktop's icon theme uses
# (rsvg-convert, Debian package librsvg2-bin). Run from anywhere; writes icons/NxN/quillet.png beside itself.
set -euo pipefail
cd "$(dirname "$0")"
for size in 16 22 24 32 48 64 128 256; do
  mkdir -p "icons/${size}x${size}"
  rsvg-convert -w "$size" -h "$size" -o "icons/${size}x${size}/quillet.png" quillet.svg
done
