#!/usr/bin/env bash
# scripts/services.sh start|stop STATE_DIR
# Starts (or stops) what the tests need: an Xvfb server and a private
# PulseAudio daemon whose default sink is a null sink, with a low-latency
# reader on its monitor so the sink never sleeps. `start` prints the
# environment to source: DISPLAY, XDG_RUNTIME_DIR, PULSE_SINK.
set -euo pipefail
cmd=$1 state=$2
mkdir -p "$state"
case $cmd in
start)
  export XDG_RUNTIME_DIR="$state/runtime"
  mkdir -p "$XDG_RUNTIME_DIR"; chmod 700 "$XDG_RUNTIME_DIR"
  display=:$((90 + RANDOM % 9))
  while [[ -e /tmp/.X11-unix/X${display#:} ]]; do display=:$(( ${display#:} + 1 )); done
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$state/xvfb.log" 2>&1 &
  echo $! >"$state/xvfb.pid"
  pulseaudio -n --daemonize=yes --exit-idle-time=-1 --disallow-exit \
    --log-target=file:"$state/pulse.log" \
    --load=module-native-protocol-unix \
    --load="module-null-sink sink_name=quillet_sink rate=44100 channels=2" \
    --load="module-always-sink" 2>>"$state/pulse.log" || true
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl set-default-sink quillet_sink
  parec -d quillet_sink.monitor --latency-msec=20 --raw >/dev/null 2>&1 &
  echo $! >"$state/parec.pid"
  # A new null sink starts with about 2 s of latency and takes as long to come down
  # to what the monitor's reader asks for; sound played before then starts late.
  for _ in $(seq 100); do
    latency=$(pactl list sinks 2>/dev/null | awk '/Name: quillet_sink$/ {ours=1} ours && /Latency:/ {print $2; exit}')
    [[ -n $latency && $latency -lt 100000 ]] && break
    sleep 0.1
  done
  for _ in $(seq 50); do [[ -e /tmp/.X11-unix/X${display#:} ]] && break; sleep 0.1; done
  cat <<ENV
export DISPLAY=$display
export XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR
export PULSE_SINK=quillet_sink
ENV
  ;;
stop)
  export XDG_RUNTIME_DIR="$state/runtime"
  for f in parec xvfb; do
    [[ -f "$state/$f.pid" ]] && kill "$(cat "$state/$f.pid")" 2>/dev/null || true
  done
  [[ -f "$XDG_RUNTIME_DIR/pulse/pid" ]] && kill -TERM "$(cat "$XDG_RUNTIME_DIR/pulse/pid")" 2>/dev/null || true
  ;;
*) echo "usage: $0 start|stop STATE_DIR" >&2; exit 2 ;;
esac
