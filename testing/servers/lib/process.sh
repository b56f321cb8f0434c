# Process helpers shared by the test-server scripts (sourced, not run).

# True while PID runs; a zombie still answers kill -0, so read its state.
alive() {
  local pid="$1"
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null || return 1
  local state
  state="$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null || echo Z)"
  [ "$state" != "Z" ]
}

# Stops the process whose pid FILE recorded: TERM, then KILL after 5 s.
stop_pid() {
  local file="$1"
  [ -f "$file" ] || return 0
  local pid
  pid="$(tr -dc 0-9 < "$file")"
  if alive "$pid"; then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 50); do
      alive "$pid" || break
      sleep 0.1
    done
    if alive "$pid"; then kill -KILL "$pid" 2>/dev/null || true; fi
  fi
  rm -f "$file"
}
