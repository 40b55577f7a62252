#!/usr/bin/env bash
# Runs scripts/demo headless on a short route (room A, the gap, room B) and checks its report:
# the pictures exist as PNG files, both rooms were entered and logged, the frame count fits the
# tour's length, the per-item counts add up to it at about 30 frames per second, and no process
# of the run is left behind. It asks for the rviz view with no display, which must say so and
# leave the run as it is without the view.
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../../.." && pwd)"
WS="${VOK_WS:-$ROOT/build}"
OUT="$(mktemp -d /tmp/vok_demo_test.XXXXXX)"
LOG="$OUT.log"
trap 'rm -rf "$OUT" "$LOG"' EXIT

fail() { echo "demo.sh: FAIL: $*" >&2; exit 1; }

build=()
[[ -x "$WS/devel/lib/vok_video_player/tour" && -x "$WS/devel/lib/vok_video_player/camera_recorder" ]] &&
  build=(--no-build)
# A:3, the gap for 1 s, B:3 at 1.5 m/s: about 9.7 s of tour.
env -u DISPLAY "$ROOT/scripts/demo" --out "$OUT" --route "A:3 AB:1 B:3" --seed 11 --rviz \
  "${build[@]}" > "$LOG" 2>&1 || { tail -n 40 "$LOG"; fail "scripts/demo exited with $?"; }
grep -q "^demo: --rviz needs a display and DISPLAY is not set" "$LOG" ||
  { cat "$LOG"; fail "no word that rviz cannot open without a display"; }
grep -q "Report: $OUT" "$LOG" || { cat "$LOG"; fail "the report's folder was not printed"; }
port="$(sed -n 's/.*starting a ROS master on port \([0-9]*\).*/\1/p' "$LOG")"
[[ -n "$port" ]] || { cat "$LOG"; fail "the master's port was not printed"; }

for f in floor_plan.png visit_01_A.png visit_02_B.png; do
  [[ -s "$OUT/$f" ]] || fail "$f is missing"
  [[ "$(head -c 8 "$OUT/$f" | od -An -tx1 | tr -d ' \n')" == 89504e470d0a1a0a ]] || fail "$f is no PNG"
done
[[ ! -e "$OUT/visit_03_"*.png ]] 2> /dev/null || fail "a third visit appeared on a two-room route"
summary="$OUT/summary.txt"
[[ -s "$summary" ]] || fail "summary.txt is missing"
grep -q "^Rooms entered: 2 by the tour, 2 logged by the player$" "$summary" ||
  { cat "$summary"; fail "rooms entered"; }
grep -q "^Playlists printed: 2$" "$summary" || { cat "$summary"; fail "playlists printed"; }

read -r frames before < <(sed -n 's/^Frames received: \([0-9]*\) ([0-9]* during the items above, \([0-9]*\) before the first)$/\1 \2/p' "$summary")
[[ -n "${frames:-}" ]] || { cat "$summary"; fail "no 'Frames received' line"; }
# 9.7 s at 30 frames per second is 291 frames; allow for a slow machine, not for a stalled stream.
((frames >= 200 && frames <= 330)) || { cat "$summary"; fail "$frames frames for a 9.7 s tour"; }
table="$(sed -n '/^Publish rate per item$/,$p' "$summary" | tail -n +3)"
sum=0
while read -r item plays count rate; do
  sum=$((sum + count))
  # An item cut short after a frame or two has no meaningful rate.
  ((count < 30)) || awk -v r="$rate" 'BEGIN { exit !(r >= 20 && r <= 40) }' ||
    fail "$item published at $rate frames/s"
done <<< "$table"
((sum == frames - before)) || { cat "$summary"; fail "items add up to $sum frames, not $((frames - before))"; }

# Every process the demo started, and the node that roslaunch started, must be gone.
mapfile -t pids < <(sed -n 's/^demo: .* runs as pid \([0-9]*\)$/\1/p' "$LOG"
  sed -n 's/.*started with pid \[\([0-9]*\)\].*/\1/p' "$OUT/logs/player.log")
((${#pids[@]} == 4)) || { cat "$LOG"; fail "expected 4 processes (master, recorder, roslaunch, node)"; }
for pid in "${pids[@]}"; do
  if ps -o stat= -p "$pid" | grep -qv '^Z'; then
    ps -o pid,args -p "$pid" >&2
    fail "process $pid of the demo is still running"
  fi
done
echo "demo.sh: report with $frames frames checked"
