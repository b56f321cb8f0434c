#!/usr/bin/env bash
# Starts or stops rclone's WebDAV server over a local folder on 127.0.0.1,
# with Basic authentication under /dav. It is a peer for the WebDAV tests
# only: a common server that ignores If-None-Match and answers MKCOL of an
# existing folder with 201.
#   rclone_webdav.sh start RUNDIR   writes RUNDIR/rclone_webdav.env
#   rclone_webdav.sh stop RUNDIR
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib/process.sh"
cmd="${1:-}"
run="${2:-}"
[ -n "$cmd" ] && [ -n "$run" ] || { echo "usage: $0 start|stop RUNDIR" >&2; exit 2; }
dir="$run/rclone_webdav"
pidfile="$dir/rclone.pid"
user="tarn"
password="tarn-rclone-secret"

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

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
  for _ in $(seq 100); do
    curl -sf -o /dev/null -X PROPFIND -H 'Depth: 0' -u "$user:$password" "http://127.0.0.1:$port/dav/" && break
    alive "$(cat "$pidfile")" || break
    sleep 0.1
  done
  curl -sf -o /dev/null -X PROPFIND -H 'Depth: 0' -u "$user:$password" "http://127.0.0.1:$port/dav/" ||
    { echo "rclone_webdav: server does not answer" >&2; cat "$dir/rclone.log" >&2 || true; exit 1; }
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
