#!/usr/bin/env bash
# The player's first impression: exec to the mini window mapped (median of 5
# warm starts after one to warm the caches), its resident memory 2 s after the
# start, the CPU time it uses while idle and stopped (no timer should run), and
# the CPU time it used until the window was mapped.
#   bench/shell/startup.sh BUILD_BIN_DIR [IDLE_SECONDS]
# Needs an X server and a sound server (scripts/services.sh start DIR), and no
# other copy of the player in the session (a second start hands over and ends).
set -euo pipefail
bin=$(cd "$1" && pwd)
idle=${2:-5}
probe=$bin/quillet-bench-startup
[[ -x $probe && -x $bin/quilletplay ]] || { echo "build quilletplay and quillet-bench-startup first" >&2; exit 2; }

"$probe" "$bin/quilletplay" 0 >/dev/null  # warm-up
maps=() rss=() cpu=() mapcpu=()
for run in 1 2 3 4 5; do
  read -r m r c mc < <("$probe" "$bin/quilletplay" "$idle")
  echo "run $run: mapped after $m ms (CPU $mc ms), RSS $((r / 1024)) MB, idle CPU $c ms over $idle s"
  maps+=("$m") rss+=("$r") cpu+=("$c") mapcpu+=("$mc")
done
median() { printf '%s\n' "$@" | sort -g | sed -n 3p; }
echo "median: mapped after $(median "${maps[@]}") ms (target < 150; CPU $(median "${mapcpu[@]}") ms), RSS $(( $(median "${rss[@]}") / 1024 )) MB" \
  "(target < 35), idle CPU $(median "${cpu[@]}") ms over $idle s (target 0)"
