# Sourced by scripts/test and scripts/stress: how the node is built and run under a sanitizer, and
# how the reports are found. Only the node and its libraries are instrumented; the test programs
# of the plain build drive it (VOK_NODE_UNDER_TEST). Reports go to files in a log folder, so that
# a report fails the run even where the process around it ended well.

# vok_sanitizer_build ROOT WS KIND TARGET...: builds TARGETs of the package under KIND (thread or
# address) in workspace WS, standing alone (no overlay of another workspace).
vok_sanitizer_build() {
  local root=$1 ws=$2 kind=$3 pkg link
  shift 3
  mkdir -p "$ws/src"
  for pkg in "$root"/*/package.xml; do
    ln -sfn "$(dirname "$pkg")" "$ws/src/$(basename "$(dirname "$pkg")")"
  done
  for link in "$ws"/src/*; do
    [[ -L "$link" && ! -e "$link" ]] && rm -f "$link"
  done
  if [[ -f "$ws/build/Makefile" && ! -f "$ws/build/build.ninja" ]]; then rm -rf "$ws/build"; fi
  (
    # On the ROS alone (a sourced ROS of its own, or Debian's), not over the plain workspace.
    if [[ -n "${VOK_ROS_PREFIX:-}" ]]; then export CMAKE_PREFIX_PATH="$VOK_ROS_PREFIX"; else unset CMAKE_PREFIX_PATH; fi
    cd "$ws" && catkin_make --use-ninja -j2 "$@" --cmake-args -DPYTHON_EXECUTABLE=/usr/bin/python3 \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCATKIN_ENABLE_TESTING=ON -DVOK_SANITIZE="$kind"
  )
}

# vok_sanitizer_env KIND LOG_DIR: exports the options for KIND (thread or address).
vok_sanitizer_env() {
  local kind=$1 logs=$2 here
  here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
  rm -rf "$logs"
  mkdir -p "$logs"
  chmod 1777 "$logs"  # tests run some nodes as an unprivileged user
  export VOK_SANITIZER="$kind"
  export TSAN_OPTIONS="suppressions=$here/tsan.supp log_path=$logs/tsan second_deadlock_stack=1 history_size=7"
  export ASAN_OPTIONS="log_path=$logs/asan detect_leaks=1 detect_stack_use_after_return=1"
  # Matched suppressions are not listed: the list would fill the log that must stay empty.
  export LSAN_OPTIONS="suppressions=$here/lsan.supp print_suppressions=0"
  export UBSAN_OPTIONS="log_path=$logs/ubsan print_stacktrace=1 halt_on_error=1"
}

# vok_sanitizer_reports LOG_DIR: prints the head of every report; false when there is any.
vok_sanitizer_reports() {
  local logs=$1 found=0 report
  for report in "$logs"/*san.*; do
    [[ -s "$report" ]] || continue
    found=1
    echo "sanitizer report $report:"
    head -n 40 "$report"
  done
  [[ $found -eq 0 ]]
}

# vok_tsan_probe PROBE: proves that the ThreadSanitizer check can fail. Runs the race probe (a
# deliberate race on the player's playlist through the real pose callback) against a rosmaster of
# its own, with the project's suppressions; true when ThreadSanitizer reports that race.
vok_tsan_probe() {
  local probe=$1 here port status=0 output
  here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
  port="$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
  (
    rosmaster --core -p "$port" > /dev/null 2>&1 &
    master=$!
    trap 'kill "$master" 2> /dev/null; wait "$master" 2> /dev/null' EXIT
    ROS_MASTER_URI="http://localhost:$port" \
      TSAN_OPTIONS="suppressions=$here/tsan.supp halt_on_error=1 exitcode=66" \
      timeout 60 "$probe" 2>&1
  ) > "$probe.log" || status=$?
  output="$(cat "$probe.log")"
  echo "race probe: exit status $status; $(grep -c 'WARNING: ThreadSanitizer' "$probe.log") report(s)"
  # The report names the pose callback's side of the race by the callback itself or, when TSan
  # restores only the top of that stack, by the playlist the callback was building.
  grep -m 3 -E 'WARNING: ThreadSanitizer|vok::(VOKVideoPlayer::pose_callback|own_playlist|build_playlist)' "$probe.log" | cut -c1-120
  [[ $status -eq 66 && "$output" == *"WARNING: ThreadSanitizer: data race"* ]] &&
    grep -q -E 'vok::(VOKVideoPlayer::pose_callback|own_playlist|build_playlist)' "$probe.log"
}
