#!/usr/bin/env bash
# The fuzz targets for the player's reading of media files, each run once over its seeds and the
# findings kept as regression inputs: a finding that comes back fails the run.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../../.." && pwd)"
exec "$ROOT/scripts/fuzz" --replay
