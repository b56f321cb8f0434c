#!/usr/bin/env bash
# Starts or stops Apache 2 with mod_dav on 127.0.0.1 for the WebDAV tests:
# Basic authentication under /dav and Digest under /ddav on a plain port, and
# /dav again over TLS with a self-signed certificate on a second port.
#   apache_webdav.sh start RUNDIR   writes RUNDIR/apache_webdav.env
#   apache_webdav.sh stop RUNDIR
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib/process.sh"
. "$(dirname "${BASH_SOURCE[0]}")/lib/http.sh"
cmd="${1:-}"
run="${2:-}"
[ -n "$cmd" ] && [ -n "$run" ] || { echo "usage: $0 start|stop RUNDIR" >&2; exit 2; }
dir="$run/apache_webdav"
pidfile="$dir/apache.pid"
user="tarn"
password="tarn-secret"
realm="tarn"

stop() {
  stop_pid "$pidfile"
}

start() {
  stop
  mkdir -p "$dir"/{data-basic,data-digest,lock,logs,runtime}
  local port tls_port
  port="$(free_port)"
  tls_port="$(free_port)"
  while [ "$tls_port" = "$port" ]; do tls_port="$(free_port)"; done

  if [ ! -f "$dir/cert.pem" ]; then
    openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj /CN=localhost \
      -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
      -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null
  fi
  htpasswd -bc "$dir/htpasswd" "$user" "$password" 2>/dev/null
  printf '%s:%s:%s\n' "$user" "$realm" \
    "$(printf '%s:%s:%s' "$user" "$realm" "$password" | md5sum | cut -d' ' -f1)" > "$dir/htdigest"
  chown -R www-data:www-data "$dir/data-basic" "$dir/data-digest" "$dir/lock"

  local mods=/usr/lib/apache2/modules
  cat > "$dir/apache.conf" <<CONF
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
Listen 127.0.0.1:$tls_port
LoadModule mpm_event_module $mods/mod_mpm_event.so
LoadModule authz_core_module $mods/mod_authz_core.so
LoadModule authz_user_module $mods/mod_authz_user.so
LoadModule authn_core_module $mods/mod_authn_core.so
LoadModule authn_file_module $mods/mod_authn_file.so
LoadModule auth_basic_module $mods/mod_auth_basic.so
LoadModule auth_digest_module $mods/mod_auth_digest.so
LoadModule mime_module $mods/mod_mime.so
LoadModule alias_module $mods/mod_alias.so
LoadModule headers_module $mods/mod_headers.so
LoadModule dav_module $mods/mod_dav.so
LoadModule dav_fs_module $mods/mod_dav_fs.so
LoadModule socache_shmcb_module $mods/mod_socache_shmcb.so
LoadModule ssl_module $mods/mod_ssl.so
TypesConfig /etc/mime.types
DavLockDB "$dir/lock/DavLock"
LimitRequestBody 0
KeepAlive On
MaxKeepAliveRequests 0
Timeout 60
Alias /dav "$dir/data-basic"
Alias /ddav "$dir/data-digest"
<Directory "$dir/data-basic">
  Dav On
  AuthType Basic
  AuthName "$realm"
  AuthUserFile "$dir/htpasswd"
  Require valid-user
</Directory>
<Directory "$dir/data-digest">
  Dav On
  AuthType Digest
  AuthName "$realm"
  AuthDigestProvider file
  AuthUserFile "$dir/htdigest"
  Require valid-user
</Directory>
SSLSessionCache "shmcb:$dir/runtime/ssl_scache(512000)"
<VirtualHost 127.0.0.1:$tls_port>
  SSLEngine on
  SSLCertificateFile "$dir/cert.pem"
  SSLCertificateKeyFile "$dir/key.pem"
</VirtualHost>
CONF
  apache2 -f "$dir/apache.conf" -k start
  for _ in $(seq 100); do
    if curl -s -o /dev/null -u "$user:$password" "http://127.0.0.1:$port/dav/" &&
       curl -s -o /dev/null --cacert "$dir/cert.pem" -u "$user:$password" "https://localhost:$tls_port/dav/"; then
      break
    fi
    sleep 0.1
  done
  curl -sf -o /dev/null -X PROPFIND -H 'Depth: 0' -u "$user:$password" "http://127.0.0.1:$port/dav/" ||
    { echo "apache_webdav: server does not answer" >&2; cat "$dir/logs/error.log" >&2 || true; exit 1; }
  cat > "$run/apache_webdav.env" <<ENV
TARN_DAV_URL=http://127.0.0.1:$port/dav
TARN_DAV_DIGEST_URL=http://127.0.0.1:$port/ddav
TARN_DAV_TLS_URL=https://localhost:$tls_port/dav
TARN_DAV_USER=$user
TARN_DAV_PASSWORD=$password
TARN_CA_FILE=$dir/cert.pem
TARN_DAV_DIR=$dir/data-basic
ENV
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop RUNDIR" >&2; exit 2 ;;
esac
