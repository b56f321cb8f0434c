#!/usr/bin/env bash
# Starts or stops Debian's lighttpd with mod_webdav on 127.0.0.1: Basic
# authentication under /dav on one plain port. lighttpd writes an upload to
# a temporary named after its target, so a name near 255 bytes is created
# but its content is refused with 500.
#   lighttpd_webdav.sh start RUNDIR   writes RUNDIR/lighttpd_webdav.env
#   lighttpd_webdav.sh stop RUNDIR
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib/process.sh"
. "$(dirname "${BASH_SOURCE[0]}")/lib/http.sh"
cmd="${1:-}"
run="${2:-}"
[ -n "$cmd" ] && [ -n "$run" ] || { echo "usage: $0 start|stop RUNDIR" >&2; exit 2; }
dir="$run/lighttpd_webdav"
pidfile="$dir/lighttpd.pid"
user="tarn"
password="tarn-lighttpd-secret"

stop() {
  stop_pid "$pidfile"
}

start() {
  stop
  mkdir -p "$dir"/{data,tmp,logs,www}
  local port
  port="$(free_port)"
  htpasswd -bc "$dir/htpasswd" "$user" "$password" 2>/dev/null
  chown -R www-data:www-data "$dir/data" "$dir/tmp" "$dir/logs"
  cat > "$dir/lighttpd.conf" <<CONF
server.modules = ("mod_alias", "mod_auth", "mod_authn_file", "mod_webdav")
server.document-root = "$dir/www"
server.bind = "127.0.0.1"
server.port = $port
server.username = "www-data"
server.groupname = "www-data"
server.errorlog = "$dir/logs/error.log"
server.upload-dirs = ("$dir/tmp")
server.max-request-size = 0
alias.url = ("/dav" => "$dir/data")
\$HTTP["url"] =~ "^/dav(/|\$)" {
  webdav.activate = "enable"
  webdav.is-readonly = "disable"
}
auth.backend = "htpasswd"
auth.backend.htpasswd.userfile = "$dir/htpasswd"
auth.require = ("/dav" => ("method" => "basic", "realm" => "tarn", "require" => "valid-user"))
CONF
  lighttpd -tt -f "$dir/lighttpd.conf"
  lighttpd -D -f "$dir/lighttpd.conf" &
  echo $! > "$pidfile"
  wait_for_dav lighttpd_webdav "http://127.0.0.1:$port/dav/" "$user:$password" "$dir/logs/error.log"
  cat > "$run/lighttpd_webdav.env" <<ENV
TARN_DAV_LIGHTTPD_URL=http://127.0.0.1:$port/dav
TARN_DAV_LIGHTTPD_USER=$user
TARN_DAV_LIGHTTPD_PASSWORD=$password
TARN_DAV_LIGHTTPD_DIR=$dir/data
ENV
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop RUNDIR" >&2; exit 2 ;;
esac
