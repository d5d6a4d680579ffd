#!/usr/bin/env bash
# scripts/check-format.sh
# Fails when a C/C++ file of the tree differs from what clang-format (the style in
# .clang-format) makes of it, and names the files.
set -uo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "format: clang-format not installed" >&2; exit 2; }
mapfile -t files < <(git ls-files '*.c' '*.cc' '*.cpp' '*.h' '*.hpp')
out=$(printf '%s\0' "${files[@]}" | xargs -0 clang-format --dry-run -Werror 2>&1)
if [[ -n $out ]]; then
  grep -oE '^[^:]+:[0-9]+:[0-9]+: (warning|error)' <<<"$out" | cut -d: -f1 | sort -u | sed 's/^/format: differs: /'
  echo "format: run clang-format -i on the files above"
  exit 1
fi
echo "format: ${#files[@]} files as clang-format writes them"
