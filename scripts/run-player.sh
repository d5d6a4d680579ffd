#!/usr/bin/env bash
# Installs what is needed, builds, and starts the player: its window when
# there is a display (names given here are opened as on its command line),
# otherwise the headless player on the demo clip. Sound goes to the desktop's
# sound server or, where none runs, into a private PulseAudio null sink
# started (and stopped) here.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/deps.sh || exit 1
bash scripts/build.sh release || exit 1
bin=build/release/bin

if ! pactl info >/dev/null 2>&1; then
  state=$(mktemp -d /tmp/quillet-run.XXXXXX)
  trap 'bash scripts/services.sh stop "$state" >/dev/null 2>&1; rm -rf "$state"' EXIT
  display=${DISPLAY:-}
  eval "$(bash scripts/services.sh start "$state")"
  # The services start their own X server for the tests; the player keeps the
  # desktop's display.
  if [[ -n $display ]]; then export DISPLAY=$display; else unset DISPLAY; fi
  echo "No sound server is running: playing into a private null sink."
fi
if [[ -n ${DISPLAY:-} ]]; then
  "$bin/quilletplay" "$@"
  exit $?
fi
"$bin/quillet-play" resources/demo.mp3 </dev/null
