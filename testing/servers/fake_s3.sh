#!/usr/bin/env bash
# Makes our fake S3 store (region correction, redirects, error documents in
# 200 replies, throttling, a store that ignores Range) known to the tests.
# Each test starts private instances with the faults it needs, so nothing
# runs here; start checks that the script runs and names it.
#   fake_s3.sh start RUNDIR   writes RUNDIR/fake_s3.env
#   fake_s3.sh stop RUNDIR
set -euo pipefail
cmd="${1:-}"
run="${2:-}"
[ -n "$cmd" ] && [ -n "$run" ] || { echo "usage: $0 start|stop RUNDIR" >&2; exit 2; }
script="$(cd "$(dirname "$0")/.." && pwd)/fake_s3/fake_s3.py"

case "$cmd" in
  start)
    python3 "$script" --help >/dev/null || { echo "fake_s3: the script does not run" >&2; exit 1; }
    mkdir -p "$run"
    echo "TARN_FAKE_S3_SCRIPT=$script" > "$run/fake_s3.env"
    ;;
  stop) rm -f "$run/fake_s3.env" ;;
  *) echo "usage: $0 start|stop RUNDIR" >&2; exit 2 ;;
esac
