#!/usr/bin/env bash
# scripts/tidy-changed.sh [BUILD_DIR]
# Runs clang-tidy (the profile in .clang-tidy) over the C++ sources the last commit
# changed that the build compiles, two at a time. Exits non-zero on any finding.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
build=${1:-build/release}
db="$build/compile_commands.json"
[[ -f $db ]] || { echo "tidy: no $db (build the release configuration first)" >&2; exit 2; }
command -v clang-tidy >/dev/null || { echo "tidy: clang-tidy not installed" >&2; exit 2; }

# Changed sources that still exist and have a compile command.
mapfile -t files < <(git diff --name-only --diff-filter=d HEAD~1 HEAD -- '*.cpp' '*.cc' 2>/dev/null |
  while read -r f; do grep -qF "\"$here/$f\"" "$db" && echo "$f"; done)
echo "tidy: ${#files[@]} changed source(s) since HEAD~1"
((${#files[@]})) || exit 0
# clang-tidy exits non-zero on a finding (every check is an error) or when a file
# does not compile; xargs passes that on.
printf '%s\0' "${files[@]}" |
  xargs -0 -n 1 -P 2 clang-tidy -p "$build" --quiet 2> >(grep -vE '^[0-9]+ warnings? (and [0-9]+ errors? )?generated' >&2)
