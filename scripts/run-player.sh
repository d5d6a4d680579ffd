#!/usr/bin/env bash
# Installs what is needed, builds, and starts Quillet's main job as far as it
# exists: the player's window when there is a display and the window is
# built; otherwise the headless player on the demo clip, played into the
# desktop's sound server or, where none runs, into a private PulseAudio null
# sink started (and stopped) here. Before either exists it runs the quick
# smoke tests and says so.
set -uo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/deps.sh || exit 1
bash scripts/build.sh release || exit 1
bin=build/release/bin

if [[ -n ${DISPLAY:-} && -x $bin/quilletplay ]]; then
  exec "$bin/quilletplay"
fi
if [[ -x $bin/quillet-play ]]; then
  if ! pactl info >/dev/null 2>&1; then
    state=$(mktemp -d /tmp/quillet-run.XXXXXX)
    trap 'bash scripts/services.sh stop "$state" >/dev/null 2>&1; rm -rf "$state"' EXIT
    eval "$(bash scripts/services.sh start "$state")"
    echo "No sound server is running: playing into a private null sink."
  fi
  "$bin/quillet-play" resources/demo.mp3 </dev/null
  exit $?
fi
echo "The player is not built yet: running the smoke tests instead."
cd build/release && ctest -L smoke --output-on-failure
