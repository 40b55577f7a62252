#!/usr/bin/env bash
# The packaging of every catkin package here, as catkin_lint sees it: any error or warning fails
# (notices, the linter's style hints, do not).
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../../.." && pwd)"
# shellcheck source=../../../scripts/lib/ros_env.sh
source "$ROOT/scripts/lib/ros_env.sh"
command -v catkin_lint > /dev/null || { echo "catkin_lint.sh: catkin_lint is not installed" >&2; exit 1; }
catkin_lint -W1 --strict "$ROOT"
