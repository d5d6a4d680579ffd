#!/usr/bin/env bash
# replicate.sh SRC DEST COUNT: fills DEST with COUNT copies of the media files
# of SRC (round robin), the folder the header benchmark is measured on.
set -euo pipefail
src=$1 dest=$2 count=$3
mkdir -p "$dest"
mapfile -t files < <(find "$src" -maxdepth 1 -type f \( -name '*.mp[123]' -o -name '*.ogg' -o -name '*.aac' \
                     -o -name '*.wma' -o -name '*.wav' \) | sort)
for ((i = 0; i < count; i++)); do
  f=${files[i % ${#files[@]}]}
  cp "$f" "$dest/$(printf '%05d' "$i")-$(basename "$f")"
done
