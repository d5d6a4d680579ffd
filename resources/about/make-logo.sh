#!/usr/bin/env bash
# Draws the about box's logo (250 x 80, JPEG) into this folder with
# ImageMagick. Run it after a change; the picture is kept in the repository.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
font=$(fc-match -f '%{file}' 'DejaVu Sans:bold')
convert -size 250x80 gradient:'#1f2a44'-'#2f6f8f' \
  -fill '#f4d35e' -stroke none \
  -draw "ellipse 38,56 9,7 0,360" -draw "rectangle 45,18 48,56" \
  -draw "polygon 48,18 66,26 66,32 48,25" \
  -fill white -font "$font" -pointsize 34 -annotate +80+52 'Quillet' \
  -fill '#cfe3ee' -pointsize 11 -annotate +82+68 'music player' \
  -strip -quality 92 -sampling-factor 4:2:0 "$here/logo.jpg"
