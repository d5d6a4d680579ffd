#!/usr/bin/env bash
# A 60-second run of quillet-play against the local ICY radio of
# tests/net/net_server.py (MP3 128 kbit/s, sent at its own rate, the title
# changing every 2 s, every third title in GBK), then as long a run of
# `mpg123 -o pulse` on the same URL (one after the other, so the sink's
# recording holds only quillet-play's sound):
#   - the title lines quillet-play printed: how many, in order, each once or
#     twice, the GBK ones readable;
#   - the longest gap in the sound that reached the sink (recorded from its
#     monitor; the radio plays a steady sine, so a gap is a stretch of silence);
#   - user + system CPU seconds of each player's own process.
#   bench/net/radio-run.sh BUILD_BIN_DIR [seconds]
# Needs a sound server with the null sink (scripts/services.sh start DIR).
set -euo pipefail
bin=$1
secs=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT

mkfifo "$work/server-in"
python3 "$here/../../tests/net/net_server.py" <"$work/server-in" >"$work/server-out" &
exec 3>"$work/server-in"
for _ in $(seq 50); do grep -q PORT "$work/server-out" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/PORT/ {print $2}' "$work/server-out")
url="http://127.0.0.1:$port/radio"

sink=${PULSE_SINK:-quillet_sink}
parec -d "$sink.monitor" --latency-msec=20 --raw --format=s16le --rate=44100 --channels=2 >"$work/sink.raw" &
rec=$!
{ sleep "$((secs + 5))"; echo quit; } | /usr/bin/time -f "%U %S" -o "$work/quillet.time" \
  "$bin/quillet-play" "$url" >"$work/play.out"
kill "$rec" 2>/dev/null || true
wait "$rec" 2>/dev/null || true
/usr/bin/time -f "%U %S" -o "$work/mpg123.time" timeout -s INT "$((secs + 5))" \
  mpg123 -q -o pulse -a "$sink" "$url" >/dev/null 2>&1 || true

python3 - "$work/play.out" "$work/sink.raw" <<'PY'
import re, struct, sys
lines = open(sys.argv[1], encoding="utf-8").read().splitlines()
titles = [l[6:] for l in lines if l.startswith("title ")]
nums = [int(t.rsplit(" ", 1)[1]) for t in titles]
distinct = sorted(set(nums))
in_order = all(b >= a for a, b in zip(nums, nums[1:]))
max_repeat = max(nums.count(n) for n in distinct) if nums else 0
gbk_ok = all(t == "电台 - 歌曲 %d" % n for t, n in zip(titles, nums) if n % 3 == 2)
print("title lines: %d, distinct titles: %d (%s .. %s), in order: %s, most repeats of one title: %d, GBK titles readable: %s"
      % (len(titles), len(distinct), distinct[0] if distinct else "-", distinct[-1] if distinct else "-",
         in_order, max_repeat, gbk_ok))
raw = open(sys.argv[2], "rb").read()
n = len(raw) // 4
left = struct.unpack("<%dh" % (n * 2), raw[:n * 4])[0::2]
win = 441  # 10 ms
levels = [max(abs(v) for v in left[i:i + win]) for i in range(0, n - win, win)]
sound = [i for i, v in enumerate(levels) if v > 1000]
if not sound:
    print("no sound reached the sink")
else:
    first, last = sound[0], sound[-1]
    gap = longest = at = 0
    gaps = []
    for i, v in enumerate(levels[first:last + 1]):
        gap = gap + 1 if v <= 1000 else 0
        if gap == 11:
            gaps.append(i * 0.01)
        if gap > longest:
            longest, at = gap, i
    print("sound at the sink: %.1f s, longest gap inside it: %d ms (ending %.2f s after the sound began), "
          "gaps over 100 ms: %d %s" % ((last - first) * 0.01, longest * 10, at * 0.01, len(gaps),
                                        ["%.2f" % g for g in gaps]))
PY
q=$(tail -n 1 "$work/quillet.time" | awk '{printf "%.2f", $1 + $2}')
m=$(tail -n 1 "$work/mpg123.time" | awk '{printf "%.2f", $1 + $2}')
echo "CPU over the run: quillet-play $q s, mpg123 -o pulse $m s"
