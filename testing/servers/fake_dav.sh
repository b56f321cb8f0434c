#!/usr/bin/env bash
# Starts or stops one shared instance of our fake WebDAV server (chunked
# uploads of the Nextcloud layout, PROPPATCH, quota) on 127.0.0.1.
#   fake_dav.sh start RUNDIR   writes RUNDIR/fake_dav.env
#   fake_dav.sh stop RUNDIR
# The env file also names the server script, so that tests which need a
# server of their own with injected faults can start private instances.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib/process.sh"
cmd="${1:-}"
run="${2:-}"
[ -n "$cmd" ] && [ -n "$run" ] || { echo "usage: $0 start|stop RUNDIR" >&2; exit 2; }
here="$(cd "$(dirname "$0")/.." && pwd)"
script="$here/fake_dav/fake_dav.py"
dir="$run/fake_dav"
pidfile="$dir/fake_dav.pid"

stop() {
  stop_pid "$pidfile"
}

start() {
  stop
  mkdir -p "$dir"
  python3 "$script" --bind 127.0.0.1 --user alice --quota 1000000000,24 > "$dir/port" 2> "$dir/stderr.log" &
  echo $! > "$pidfile"
  local port=""
  for _ in $(seq 100); do
    port="$(sed -n 's/^PORT //p' "$dir/port" 2>/dev/null || true)"
    [ -n "$port" ] && break
    sleep 0.05
  done
  [ -n "$port" ] || { echo "fake_dav: server did not start" >&2; cat "$dir/stderr.log" >&2; exit 1; }
  curl -sf -o /dev/null -X PROPFIND -H 'Depth: 0' "http://127.0.0.1:$port/remote.php/dav/files/alice/" ||
    { echo "fake_dav: server does not answer" >&2; exit 1; }
  cat > "$run/fake_dav.env" <<ENV
TARN_FAKE_DAV_URL=http://127.0.0.1:$port/remote.php/dav/files/alice
TARN_FAKE_DAV_SCRIPT=$script
ENV
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop RUNDIR" >&2; exit 2 ;;
esac
