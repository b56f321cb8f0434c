# HTTP helpers shared by the test-server scripts (sourced, not run).

# A TCP port on 127.0.0.1 that nothing listens on right now.
free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

# Waits up to 10 s for a WebDAV server to answer PROPFIND of URL with
# USER:PASSWORD; fails, showing LOG, when it never does. NAME is the script's.
wait_for_dav() {
  local name="$1" url="$2" credentials="$3" log="$4"
  for _ in $(seq 100); do
    curl -sf -o /dev/null -X PROPFIND -H 'Depth: 0' -u "$credentials" "$url" && return 0
    sleep 0.1
  done
  echo "$name: server does not answer" >&2
  cat "$log" >&2 || true
  return 1
}
