#!/usr/bin/env bash
# Starts or stops rclone's WebDAV server over a local folder on 127.0.0.1,
# with Basic authentication under /dav. It is a peer for the WebDAV tests
# only: a common server that ignores If-None-Match and answers MKCOL of an
# existing folder with 201.
#   rclone_webdav.sh start RUNDIR   writes RUNDIR/rclone_webdav.env
#   rclone_webdav.sh stop RUNDIR
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib/process.sh"
. "$(dirname "${BASH_SOURCE[0]}")/lib/http.sh"
cmd="${1:-}"
run="${2:-}"
[ -n "$cmd" ] && [ -n "$run" ] || { echo "usage: $0 start|stop RUNDIR" >&2; exit 2; }
dir="$run/rclone_webdav"
pidfile="$dir/rclone.pid"
user="tarn"
password="tarn-rclone-secret"

stop() {
  stop_pid "$pidfile"
}

start() {
  stop
  mkdir -p "$dir"/{data,cache}
  : > "$dir/rclone.conf"
  local port
  port="$(free_port)"
  rclone serve webdav "$dir/data" --addr "127.0.0.1:$port" --baseurl /dav \
    --user "$user" --pass "$password" --config "$dir/rclone.conf" --cache-dir "$dir/cache" \
    --log-file "$dir/rclone.log" &
  echo $! > "$pidfile"
  wait_for_dav rclone_webdav "http://127.0.0.1:$port/dav/" "$user:$password" "$dir/rclone.log"
  cat > "$run/rclone_webdav.env" <<ENV
TARN_DAV_RCLONE_URL=http://127.0.0.1:$port/dav
TARN_DAV_RCLONE_USER=$user
TARN_DAV_RCLONE_PASSWORD=$password
ENV
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop RUNDIR" >&2; exit 2 ;;
esac
