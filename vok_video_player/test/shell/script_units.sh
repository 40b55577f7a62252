#!/usr/bin/env bash
# The unit tests of the Python programs in scripts/: the bench's report and the JUnit counter.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/../../.." && pwd)"
cd "$ROOT/scripts"
exec /usr/bin/python3 -m unittest discover -s tests -t .
