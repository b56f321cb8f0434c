#!/usr/bin/env bash
# Starts or stops Debian's nginx with its WebDAV modules (the built-in dav
# module for PUT, DELETE, MKCOL, COPY and MOVE, and the dav-ext module for
# PROPFIND and OPTIONS) on 127.0.0.1: Basic authentication under /dav on one
# plain port. nginx answers COPY and MOVE onto a new name with 204, wants
# folder URLs with their slash, and refuses PROPPATCH and LOCK.
#   nginx_webdav.sh start RUNDIR   writes RUNDIR/nginx_webdav.env
#   nginx_webdav.sh stop RUNDIR
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib/process.sh"
. "$(dirname "${BASH_SOURCE[0]}")/lib/http.sh"
cmd="${1:-}"
run="${2:-}"
[ -n "$cmd" ] && [ -n "$run" ] || { echo "usage: $0 start|stop RUNDIR" >&2; exit 2; }
dir="$run/nginx_webdav"
pidfile="$dir/nginx.pid"
user="tarn"
password="tarn-nginx-secret"

stop() {
  stop_pid "$pidfile"
}

start() {
  stop
  mkdir -p "$dir"/{data,tmp,logs}
  local port
  port="$(free_port)"
  htpasswd -bc "$dir/htpasswd" "$user" "$password" 2>/dev/null
  # Uploads land in the temporary folder first and are renamed into place:
  # both on one file system, both the workers'.
  chown -R www-data:www-data "$dir/data" "$dir/tmp"
  cat > "$dir/nginx.conf" <<CONF
load_module /usr/lib/nginx/modules/ngx_http_dav_ext_module.so;
user www-data www-data;
worker_processes 2;
daemon off;
pid $pidfile;
error_log $dir/logs/error.log warn;
events { worker_connections 256; }
http {
  include /etc/nginx/mime.types;
  default_type application/octet-stream;
  access_log $dir/logs/access.log;
  client_body_temp_path $dir/tmp/body;
  proxy_temp_path $dir/tmp/proxy;
  fastcgi_temp_path $dir/tmp/fastcgi;
  uwsgi_temp_path $dir/tmp/uwsgi;
  scgi_temp_path $dir/tmp/scgi;
  server {
    listen 127.0.0.1:$port;
    location /dav/ {
      alias $dir/data/;
      dav_methods PUT DELETE MKCOL COPY MOVE;
      dav_ext_methods PROPFIND OPTIONS;
      dav_access user:rw group:rw all:r;
      client_max_body_size 0;
      auth_basic "tarn";
      auth_basic_user_file $dir/htpasswd;
    }
  }
}
CONF
  nginx -t -q -c "$dir/nginx.conf" -e "$dir/logs/error.log"
  nginx -c "$dir/nginx.conf" -e "$dir/logs/error.log" &
  echo $! > "$pidfile"
  wait_for_dav nginx_webdav "http://127.0.0.1:$port/dav/" "$user:$password" "$dir/logs/error.log"
  cat > "$run/nginx_webdav.env" <<ENV
TARN_DAV_NGINX_URL=http://127.0.0.1:$port/dav
TARN_DAV_NGINX_USER=$user
TARN_DAV_NGINX_PASSWORD=$password
TARN_DAV_NGINX_DIR=$dir/data
ENV
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop RUNDIR" >&2; exit 2 ;;
esac
