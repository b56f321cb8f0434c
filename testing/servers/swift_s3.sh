#!/usr/bin/env bash
# Starts or stops an S3-compatible store for the S3 back-end's tests: an
# OpenStack Swift proxy with the s3api middleware (Signature Version 4,
# ListObjectsV2, multipart uploads, copies) over one account, container and
# object server, with memcached, all on free ports of 127.0.0.1.
#   swift_s3.sh start RUNDIR   writes RUNDIR/swift_s3.env
#   swift_s3.sh stop RUNDIR
# The env file names the endpoint, the keys, the region and a bucket made
# for the tests; every test writes below a folder of its own in it.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib/process.sh"
. "$(dirname "${BASH_SOURCE[0]}")/lib/http.sh"
cmd="${1:-}"
run="${2:-}"
[ -n "$cmd" ] && [ -n "$run" ] || { echo "usage: $0 start|stop RUNDIR" >&2; exit 2; }
mkdir -p "$run"
run="$(cd "$run" && pwd)"
dir="$run/swift_s3"
access_key="test:tester"
secret_key="testing"
region="us-east-1"
bucket="tarn-test"
servers=(account container object proxy)

stop() {
  for s in "${servers[@]}"; do stop_pid "$dir/$s.pid"; done
  stop_pid "$dir/memcached.pid"
  rm -f "$run/swift_s3.env"
}

# One storage server's config; the proxy gets its own below.
storage_conf() {
  local name="$1" port="$2"
  cat > "$dir/$name-server.conf" <<CONF
[DEFAULT]
bind_ip = 127.0.0.1
bind_port = $port
workers = 0
user = swift
swift_dir = $dir
devices = $dir/devices
mount_check = false
log_name = $name-server
log_facility = LOG_LOCAL0
log_level = WARNING

[pipeline:main]
pipeline = $name-server

[app:$name-server]
use = egg:swift#$name
CONF
}

start() {
  stop
  rm -rf "$dir"
  mkdir -p "$dir/devices/d1" "$dir/logs"
  chmod 755 "$dir"
  local mc_port acct_port cont_port obj_port proxy_port
  mc_port="$(free_port)"
  acct_port="$(free_port)"
  cont_port="$(free_port)"
  obj_port="$(free_port)"
  proxy_port="$(free_port)"
  [ "$(printf '%s\n' "$mc_port" "$acct_port" "$cont_port" "$obj_port" "$proxy_port" | sort -u | wc -l)" = 5 ] ||
    { echo "swift_s3: port collision, try again" >&2; exit 1; }

  cat > "$dir/swift.conf" <<CONF
[swift-hash]
swift_hash_path_suffix = tarn-test-$RANDOM$RANDOM
swift_hash_path_prefix = tarn-test

[storage-policy:0]
name = Policy-0
default = yes
CONF
  local ring port
  for ring in account container object; do
    case "$ring" in
      account) port="$acct_port" ;;
      container) port="$cont_port" ;;
      object) port="$obj_port" ;;
    esac
    (cd "$dir" && swift-ring-builder "$ring.builder" create 6 1 1 >/dev/null &&
      swift-ring-builder "$ring.builder" add "r1z1-127.0.0.1:$port/d1" 100 >/dev/null &&
      swift-ring-builder "$ring.builder" rebalance >/dev/null)
    storage_conf "$ring" "$port"
  done
  cat > "$dir/proxy-server.conf" <<CONF
[DEFAULT]
bind_ip = 127.0.0.1
bind_port = $proxy_port
workers = 0
user = swift
swift_dir = $dir
log_name = proxy-server
log_level = WARNING

[pipeline:main]
pipeline = catch_errors gatekeeper proxy-logging cache listing_formats s3api tempauth copy slo dlo proxy-logging proxy-server

[app:proxy-server]
use = egg:swift#proxy
account_autocreate = true

[filter:catch_errors]
use = egg:swift#catch_errors

[filter:gatekeeper]
use = egg:swift#gatekeeper

[filter:proxy-logging]
use = egg:swift#proxy_logging

[filter:cache]
use = egg:swift#memcache
memcache_servers = 127.0.0.1:$mc_port

[filter:listing_formats]
use = egg:swift#listing_formats

[filter:s3api]
use = egg:swift#s3api
location = $region
s3_acl = false

[filter:tempauth]
use = egg:swift#tempauth
user_test_tester = $secret_key .admin
user_test_reader = reading

[filter:copy]
use = egg:swift#copy

[filter:slo]
use = egg:swift#slo

[filter:dlo]
use = egg:swift#dlo
CONF
  chown -R swift:swift "$dir/devices"
  chown swift:swift "$dir"

  memcached -u memcache -l 127.0.0.1 -p "$mc_port" -U 0 -m 64 >"$dir/logs/memcached.log" 2>&1 &
  echo $! > "$dir/memcached.pid"
  for s in "${servers[@]}"; do
    "swift-$s-server" "$dir/$s-server.conf" >"$dir/logs/$s.log" 2>&1 &
    echo $! > "$dir/$s.pid"
  done

  # Ready when tempauth hands out a token and the test bucket can be made
  # through the Swift API (the S3 side needs a signature for that).
  local url="http://127.0.0.1:$proxy_port" token="" storage=""
  for _ in $(seq 300); do
    local headers
    headers="$(curl -s -o /dev/null -D - -H "X-Auth-User: $access_key" -H "X-Auth-Key: $secret_key" \
      "$url/auth/v1.0" 2>/dev/null || true)"
    token="$(printf '%s' "$headers" | tr -d '\r' | sed -n 's/^[Xx]-[Aa]uth-[Tt]oken: //p')"
    storage="$(printf '%s' "$headers" | tr -d '\r' | sed -n 's/^[Xx]-[Ss]torage-[Uu]rl: //p')"
    [ -n "$token" ] && curl -sf -o /dev/null -X PUT -H "X-Auth-Token: $token" "$storage/$bucket" && break
    token=""
    for s in "${servers[@]}"; do
      alive "$(tr -dc 0-9 < "$dir/$s.pid")" || { echo "swift_s3: $s server ended" >&2; cat "$dir/logs/$s.log" >&2; exit 1; }
    done
    sleep 0.1
  done
  [ -n "$token" ] || { echo "swift_s3: the proxy does not answer" >&2; tail -n 30 "$dir"/logs/*.log >&2; exit 1; }

  cat > "$run/swift_s3.env" <<ENV
TARN_S3_URL=$url
TARN_S3_ACCESS_KEY=$access_key
TARN_S3_SECRET_KEY=$secret_key
TARN_S3_REGION=$region
TARN_S3_BUCKET=$bucket
ENV
}

case "$cmd" in
  start) start ;;
  stop) stop ;;
  *) echo "usage: $0 start|stop RUNDIR" >&2; exit 2 ;;
esac
