#!/usr/bin/env bash
# The tour and the camera recorder as a user runs them: bad command lines end with status 2, a
# missing master or player with status 1 and a message, a tour's poses arrive in the map frame at
# the asked rate, and a recording with no camera at all still gives a report.
set -euo pipefail
HERE="$(cd "$(dirname "$0")" && pwd)"
ROOT="$(cd "$HERE/../../.." && pwd)"
WS="${VOK_WS:-$ROOT/build}"
# shellcheck source=../../../scripts/lib/ros_env.sh
source "$ROOT/scripts/lib/ros_env.sh"
export ROS_HOSTNAME=localhost
unset ROS_IP
TOOLS="$WS/devel/lib/vok_video_player"
[[ -x "$TOOLS/tour" && -x "$TOOLS/camera_recorder" ]] || { echo "tour_tools.sh: build first" >&2; exit 1; }
set +u
# shellcheck disable=SC1091
source "$WS/devel/setup.bash"
set -u
TMP="$(mktemp -d)"
MASTER=""
cleanup() {
  if [[ -n "$MASTER" ]]; then
    kill -TERM "$MASTER" 2> /dev/null || true
    wait "$MASTER" 2> /dev/null || true
  fi
  rm -rf "$TMP"
}
trap cleanup EXIT
fail() { echo "tour_tools.sh: FAIL: $*" >&2; exit 1; }
expect_status() {  # status pattern command...
  local want="$1" pattern="$2" got=0
  shift 2
  timeout 20 "$@" > "$TMP/out" 2>&1 || got=$?
  ((got == want)) || { cat "$TMP/out"; fail "$* exited with $got, not $want"; }
  grep -q -- "$pattern" "$TMP/out" || { cat "$TMP/out"; fail "$* did not say '$pattern'"; }
}

PORT="$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("localhost", 0)); print(s.getsockname()[1])')"
export ROS_MASTER_URI="http://localhost:$PORT" ROS_LOG_DIR="$TMP/log"

expect_status 2 "cannot read waypoint 'G'" "$TOOLS/tour" --route "A G"
expect_status 2 "are not neighbours" "$TOOLS/tour" --route "AC"
expect_status 2 "the option '--out' is required" "$TOOLS/camera_recorder"
expect_status 1 "no ROS master at http://localhost:$PORT" "$TOOLS/tour" --route A --wait 1

rosmaster --core -p "$PORT" > /dev/null 2>&1 &
MASTER=$!
for _ in $(seq 100); do (exec 3<> "/dev/tcp/localhost/$PORT") 2> /dev/null && break; sleep 0.1; done

expect_status 1 "0 of 1 subscribers on /amcl_pose after 1 s" "$TOOLS/tour" --route A --wait 1

# A subscriber of its own: one second at (1, 2), in room D, at 20 poses a second.
rostopic echo -p /amcl_pose > "$TMP/poses.csv" 2> /dev/null &
ECHO=$!
expect_status 0 "done, in room D (Front Desk)" "$TOOLS/tour" --route "1,2:1" --rate 20 --wait 15
sleep 0.5
kill -TERM "$ECHO" 2> /dev/null || true
wait "$ECHO" 2> /dev/null || true
poses=$(grep -c ',map,' "$TMP/poses.csv" || true)
((poses >= 15 && poses <= 25)) || { head -3 "$TMP/poses.csv"; fail "$poses poses in 1 s at 20 Hz"; }
grep -q ',map,1.0,2.0,' "$TMP/poses.csv" || { head -3 "$TMP/poses.csv"; fail "poses not at (1, 2)"; }

# Nothing on the camera and no robot: the report says so instead of failing.
expect_status 0 "0 frames, 0 items, 0 room visits" "$TOOLS/camera_recorder" --out "$TMP/report" --seconds 1
grep -q "^Frames received: 0 " "$TMP/report/summary.txt" || fail "empty summary"
[[ -s "$TMP/report/floor_plan.png" ]] || fail "no floor plan for an empty recording"
echo "tour_tools.sh: passed"
