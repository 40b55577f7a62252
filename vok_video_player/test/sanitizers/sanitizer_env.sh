# Sourced by scripts/test and scripts/stress: how the sanitizer builds run and how their reports
# are found. Reports go to files in a log folder, so that a report fails the run even where the
# process around it ended well.

# vok_sanitizer_env KIND LOG_DIR: exports the options for KIND (thread or address).
vok_sanitizer_env() {
  local kind=$1 logs=$2 here
  here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
  rm -rf "$logs"
  mkdir -p "$logs"
  chmod 1777 "$logs"  # tests run some nodes as an unprivileged user
  export VOK_SANITIZER="$kind"
  export TSAN_OPTIONS="suppressions=$here/tsan.supp log_path=$logs/tsan second_deadlock_stack=1"
  export ASAN_OPTIONS="log_path=$logs/asan detect_leaks=1 detect_stack_use_after_return=1"
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
