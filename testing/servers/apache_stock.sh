#!/usr/bin/env bash
# Starts or stops Apache 2 as Debian ships it (its default modules with their
# default settings, mod_dir among them) with only mod_dav added, on
# 127.0.0.1: Basic authentication under /dav on one plain port. With mod_dir
# a folder URL without its trailing slash answers 301, which the WebDAV
# back-end must cope with.
#   apache_stock.sh start RUNDIR   writes RUNDIR/apache_stock.env
#   apache_stock.sh stop RUNDIR
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib/process.sh"
. "$(dirname "${BASH_SOURCE[0]}")/lib/http.sh"
cmd="${1:-}"
run="${2:-}"
[ -n "$cmd" ] && [ -n "$run" ] || { echo "usage: $0 start|stop RUNDIR" >&2; exit 2; }
dir="$run/apache_stock"
pidfile="$dir/apache.pid"
user="tarn"
password="tarn-stock-secret"

# The modules a fresh Debian install enables, then what "a2enmod dav_fs" adds.
default_modules="access_compat alias auth_basic authn_core authn_file authz_core authz_host authz_user
  autoindex deflate dir env filter mime mpm_event negotiation reqtimeout setenvif status"
dav_modules="dav dav_fs"

stop() {
  stop_pid "$pidfile"
}

start() {
  stop
  mkdir -p "$dir"/{data,lock,logs,runtime}
  local port
  port="$(free_port)"
  htpasswd -bc "$dir/htpasswd" "$user" "$password" 2>/dev/null
  chown -R www-data:www-data "$dir/data" "$dir/lock"

  local available=/etc/apache2/mods-available
  {
    cat <<CONF
ServerRoot "$dir"
ServerName localhost
PidFile "$pidfile"
DefaultRuntimeDir "$dir/runtime"
Mutex file:$dir/runtime default
ErrorLog "$dir/logs/error.log"
LogLevel warn
User www-data
Group www-data
Listen 127.0.0.1:$port
Timeout 300
KeepAlive On
MaxKeepAliveRequests 100
KeepAliveTimeout 5
CONF
    # Each module is loaded and configured from Debian's own files, as
    # a2enmod would, except the lock database, which lives in the run folder.
    for m in $default_modules $dav_modules; do
      sed -n 's/^[[:space:]]*\(LoadModule .*\)/\1/p' "$available/$m.load"
    done
    for m in $default_modules; do
      if [ -f "$available/$m.conf" ]; then echo "Include $available/$m.conf"; fi
    done
    cat <<CONF
DavLockDB "$dir/lock/DavLock"
Alias /dav "$dir/data"
<Directory "$dir/data">
  Dav On
  AuthType Basic
  AuthName "tarn"
  AuthUserFile "$dir/htpasswd"
  Require valid-user
</Directory>
CONF
  } > "$dir/apache.conf"
  apache2 -f "$dir/apache.conf" -k start
  wait_for_dav apache_stock "http://127.0.0.1:$port/dav/" "$user:$password" "$dir/logs/error.log"
  cat > "$run/apache_stock.env" <<ENV
TARN_DAV_STOCK_URL=http://127.0.0.1:$port/dav
TARN_DAV_STOCK_USER=$user
TARN_DAV_STOCK_PASSWORD=$password
ENV
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop RUNDIR" >&2; exit 2 ;;
esac
