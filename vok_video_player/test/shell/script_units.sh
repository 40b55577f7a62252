#!/usr/bin/env bash
# The unit tests of the Python programs: the bench's report and the JUnit counter in scripts/,
# and make_media_folder's sizes, clip measures and name matching.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../../.." && pwd)"
cd "$ROOT/scripts"
exec /usr/bin/python3 -m unittest discover -s tests -t .
