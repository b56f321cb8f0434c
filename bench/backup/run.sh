#!/usr/bin/env bash
# Backup benchmark: restic (default compression and --compression max), borg,
# and Tarn, each with its repository on an SFTP/SSH server started here on
# 127.0.0.1. See README.md; scripts/bench-backup builds Tarn's driver and runs
# this with the "tarn" column set up.
#
#   ./run.sh                 full run (~1 GiB dataset, 3 runs)
#   QUICK=1 ./run.sh         ~100 MiB dataset
#
# Settings (environment):
#   BENCH_WORK     work folder (default ${TMPDIR:-/tmp}/tarn-backup-bench)
#   BENCH_RESULTS  results folder (default $BENCH_WORK/results/<stamp>[-quick])
#   QUICK=1        ~100 MiB dataset instead of ~1 GiB
#   RUNS=3         runs per tool (medians are reported)
#   CHECK_RUNS     runs that include the full check (default RUNS; 2 is allowed)
#   TOOLS          default "restic restic-max borg tarn"
#   BASELINE       column the ratios are taken against (default restic)
#   COLD_UNCHANGED=1  also measure an unchanged backup with the cache cleared
#   LIMITS=1       measure the machine's physical limits first
#   LIMIT_RUNS=3   repetitions of each physical-limit measurement
#   BENCH_PORT     first port tried for sshd (default 2299)
#   BENCH_USER     test user for the SFTP/SSH server (default tarnbkbench)
#   BORG_ENCRYPTION  borg init mode (default repokey, what borg's docs say to use)
#   KEEP_USER=1    do not delete the test user at the end (if this run created it)
#   KEEP_REPOS=1   keep each run's repositories (disk: about 1 GiB per repo)
#   TARN_INIT_CMD, TARN_BACKUP_CMD, TARN_RESTORE_CMD, TARN_CHECK_CMD: see README.md
set -uo pipefail
umask 022

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
W=${BENCH_WORK:-${TMPDIR:-/tmp}/tarn-backup-bench}
QUICK=${QUICK:-0}
RUNS=${RUNS:-3}
CHECK_RUNS=${CHECK_RUNS:-$RUNS}
TOOLS=${TOOLS:-"restic restic-max borg tarn"}
BASELINE=${BASELINE:-restic}
COLD_UNCHANGED=${COLD_UNCHANGED:-1}
LIMITS=${LIMITS:-1}
LIMIT_RUNS=${LIMIT_RUNS:-3}
PORT=${BENCH_PORT:-2299}
BUSER=${BENCH_USER:-tarnbkbench}
PASSWORD=${BENCH_PASSWORD:-bench-password-not-secret}
BORG_ENCRYPTION=${BORG_ENCRYPTION:-repokey}
KEEP_USER=${KEEP_USER:-0}
KEEP_REPOS=${KEEP_REPOS:-0}
PY=${PYTHON:-python3}
SEED=${BENCH_SEED:-1}
MUTATE_SEED=${BENCH_MUTATE_SEED:-2}

if [ "$QUICK" = 1 ]; then SCALE=0.1; else SCALE=1.0; fi
STAMP=$(date +%Y%m%d-%H%M%S)
RES=${BENCH_RESULTS:-$W/results/$STAMP$([ "$QUICK" = 1 ] && echo -quick)}
LOGS=$RES/logs
CSV=$RES/raw.csv
DATA=$W/data/base-scale$SCALE-seed$SEED     # pristine dataset (kept between runs)
SRC=$W/src                                  # the folder every tool backs up
RESTORE=$W/restore
HOMEDIR=$W/home                             # the test user's home (server side)
REPOS=$HOMEDIR/repos
SSHD_DIR=$W/sshd
SSH_DIR=$W/ssh
SSHCFG=$SSH_DIR/config
SSHD_PID=
USER_CREATED=0
T_START=$(date +%s)

case "$W" in /*) ;; *) echo "BENCH_WORK must be an absolute path" >&2; exit 2 ;; esac
case "$W" in *[[:space:]]*) echo "BENCH_WORK must not contain spaces" >&2; exit 2 ;; esac

mkdir -p "$W" "$LOGS" && chmod 755 "$W"
echo "tool,run,step,metric,value" >"$CSV"

log() { printf '%s %s\n' "$(date +%H:%M:%S)" "$*" | tee -a "$RES/run.log" >&2; }
csv() { echo "$1,$2,$3,$4,$5" >>"$CSV"; }
die() { log "FATAL: $*"; exit 1; }

# ------------------------------------------------------------------ install

ensure_packages() {
  local missing=()
  command -v restic >/dev/null || missing+=(restic)
  command -v borg >/dev/null || missing+=(borgbackup)
  [ -x /usr/sbin/sshd ] || missing+=(openssh-server)
  command -v ssh >/dev/null || missing+=(openssh-client)
  [ -x /usr/bin/time ] || missing+=(time)
  command -v openssl >/dev/null || missing+=(openssl)
  command -v diff >/dev/null || missing+=(diffutils)
  command -v "$PY" >/dev/null || missing+=(python3)
  [ ${#missing[@]} -eq 0 ] && return 0
  log "installing: ${missing[*]}"
  if [ ! -e /usr/sbin/policy-rc.d ]; then
    # keep apt from starting system services (e.g. the packaged sshd)
    printf '#!/bin/sh\nexit 101\n' >/usr/sbin/policy-rc.d && chmod 755 /usr/sbin/policy-rc.d
    log "created /usr/sbin/policy-rc.d (exit 101)"
  fi
  DEBIAN_FRONTEND=noninteractive apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" \
      >>"$LOGS/apt.log" 2>&1 || die "apt-get install failed (see $LOGS/apt.log)"
}

# ------------------------------------------------------------------ SSH/SFTP server

ensure_user() {
  if id -u "$BUSER" >/dev/null 2>&1; then
    # only reuse a user that this harness made
    getent passwd "$BUSER" | cut -d: -f5 | grep -q '^tarn backup bench' ||
      die "user $BUSER exists and was not made by this harness; set BENCH_USER"
    usermod -d "$HOMEDIR" "$BUSER" || die "usermod failed"
  else
    useradd --system --no-create-home --home-dir "$HOMEDIR" --shell /bin/sh \
      --password '*' --comment 'tarn backup bench (temporary)' "$BUSER" || die "useradd failed"
    USER_CREATED=1
    log "created user $BUSER (home $HOMEDIR)"
  fi
  mkdir -p "$HOMEDIR/.ssh" "$REPOS"
  chown -R "$BUSER:" "$HOMEDIR"
  chmod 755 "$HOMEDIR" "$REPOS"
  chmod 700 "$HOMEDIR/.ssh"
}

port_free() { [ -z "$(ss -Htln "sport = :$1" 2>/dev/null)" ]; }

start_sshd() {
  mkdir -p /run/sshd "$SSHD_DIR" "$SSH_DIR"
  chmod 700 "$SSH_DIR"
  [ -f "$SSHD_DIR/ssh_host_ed25519_key" ] ||
    ssh-keygen -q -t ed25519 -N '' -C bench-host -f "$SSHD_DIR/ssh_host_ed25519_key"
  [ -f "$SSH_DIR/id_ed25519" ] ||
    ssh-keygen -q -t ed25519 -N '' -C bench-client -f "$SSH_DIR/id_ed25519"
  install -o "$BUSER" -m 600 "$SSH_DIR/id_ed25519.pub" "$HOMEDIR/.ssh/authorized_keys"
  local p
  for p in $(seq "$PORT" $((PORT + 30))); do port_free "$p" && break; done
  port_free "$p" || die "no free port near $PORT"
  PORT=$p
  cat >"$SSHD_DIR/sshd_config" <<EOF
# generated by run.sh; serves only 127.0.0.1
ListenAddress 127.0.0.1:$PORT
HostKey $SSHD_DIR/ssh_host_ed25519_key
PidFile $SSHD_DIR/sshd.pid
AuthorizedKeysFile .ssh/authorized_keys
AllowUsers $BUSER
PubkeyAuthentication yes
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin no
UsePAM no
StrictModes yes
X11Forwarding no
AllowTcpForwarding no
AllowAgentForwarding no
PrintMotd no
MaxStartups 50:30:100
MaxSessions 20
LogLevel INFO
Subsystem sftp internal-sftp
EOF
  /usr/sbin/sshd -t -f "$SSHD_DIR/sshd_config" || die "sshd config test failed"
  /usr/sbin/sshd -D -f "$SSHD_DIR/sshd_config" -E "$SSHD_DIR/sshd.log" &
  SSHD_PID=$!
  printf '[127.0.0.1]:%s %s\n' "$PORT" "$(cut -d' ' -f1,2 "$SSHD_DIR/ssh_host_ed25519_key.pub")" \
    >"$SSH_DIR/known_hosts"
  cat >"$SSHCFG" <<EOF
# generated by run.sh; used by restic (sftp.command), borg (BORG_RSH) and tarn
Host 127.0.0.1
  HostName 127.0.0.1
  Port $PORT
  User $BUSER
  IdentityFile $SSH_DIR/id_ed25519
  IdentitiesOnly yes
  UserKnownHostsFile $SSH_DIR/known_hosts
  StrictHostKeyChecking yes
  BatchMode yes
  Compression no
  ControlMaster no
  ControlPath none
  LogLevel ERROR
EOF
  local i
  for i in $(seq 50); do
    ssh -F "$SSHCFG" 127.0.0.1 true 2>/dev/null && break
    kill -0 "$SSHD_PID" 2>/dev/null || die "sshd exited (see $SSHD_DIR/sshd.log)"
    sleep 0.2
  done
  ssh -F "$SSHCFG" 127.0.0.1 true || die "cannot log in to the test sshd"
  log "sshd pid $SSHD_PID on 127.0.0.1:$PORT, user $BUSER"
}

cleanup() {
  local rc=$?
  if [ -n "$SSHD_PID" ] && kill -0 "$SSHD_PID" 2>/dev/null; then
    kill "$SSHD_PID" 2>/dev/null
    wait "$SSHD_PID" 2>/dev/null
    log "stopped sshd pid $SSHD_PID"
  fi
  if [ "$KEEP_REPOS" != 1 ]; then rm -rf "$REPOS"/* "$RESTORE" "$SRC" 2>/dev/null; fi
  if [ "$USER_CREATED" = 1 ] && [ "$KEEP_USER" != 1 ]; then
    userdel "$BUSER" 2>/dev/null && log "deleted user $BUSER"
  fi
  exit $rc
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ------------------------------------------------------------------ measuring

# measure TOOL RUN STEP CMD...: wall time, peak RSS and CPU of CMD (with its
# children, e.g. the ssh client); output goes to the step's log. CMD may be an
# exported shell function: it runs in "bash -c" under /usr/bin/time. Peak RSS is
# that of the largest single process (GNU time reports the children's maximum).
measure() {
  local tool=$1 run=$2 step=$3
  shift 3
  local base="$LOGS/$tool-r$run-$step" t0 t1 ns rss cpu
  # load average just before the step: other work on the machine skews timings
  csv "$tool" "$run" "$step" load1 "$(cut -d' ' -f1 /proc/loadavg)"
  sampler_start "$base.server"
  t0=$(date +%s%N)
  /usr/bin/time -v -o "$base.time" bash -c '"$@"' measured "$@" >"$base.log" 2>&1
  M_RC=$?
  t1=$(date +%s%N)
  csv "$tool" "$run" "$step" server_cpu_s "$(sampler_stop "$base.server")"
  rm -f "$base.server"
  ns=$((t1 - t0))
  M_WALL=$(awk -v n="$ns" 'BEGIN { printf "%.3f", n / 1e9 }')
  rss=$(awk -F': ' '/Maximum resident set size/ { printf "%.1f", $2 / 1024 }' "$base.time")
  cpu=$(awk -F': ' '/User time/ { u = $2 } /System time/ { s = $2 } END { printf "%.2f", u + s }' "$base.time")
  csv "$tool" "$run" "$step" wall_s "$M_WALL"
  csv "$tool" "$run" "$step" maxrss_mib "${rss:-0}"
  csv "$tool" "$run" "$step" cpu_s "${cpu:-0}"
  csv "$tool" "$run" "$step" rc "$M_RC"
  if [ "$M_RC" != 0 ]; then
    log "  $tool run $run $step FAILED rc=$M_RC (log: $base.log)"
    tail -n 5 "$base.log" | sed 's/^/    | /' | tee -a "$RES/run.log" >&2
  else
    log "  $tool run $run $step: ${M_WALL}s, peak ${rss} MiB, cpu ${cpu}s"
  fi
  return "$M_RC"
}

# Server-side CPU (sshd session processes with internal-sftp, borg serve): while a
# step runs, a sampler reads utime+stime of every process below the sshd master
# every 0.25 s; the figure is the sum of each process's last sample. Approximate:
# it misses up to 0.25 s of CPU per process and processes shorter than that.
# (The sshd master's cutime does not work: the session processes' CPU does not
# reach it.)
CLK_TCK=$(getconf CLK_TCK)
sampler_loop() { # OUT
  local p line
  while :; do
    for p in $(ps -e -o pid=,ppid= | awk -v root="$SSHD_PID" '{ par[$1] = $2 }
        END { for (p in par) { q = par[p]; d = 0
                while (q != root && (q in par) && d < 30) { q = par[q]; d++ }
                if (q == root) print p } }'); do
      read -r line 2>/dev/null <"/proc/$p/stat" && echo "$p $line"
    done
    sleep 0.25
  done >"$1"
}
sampler_start() { sampler_loop "$1" & SAMPLER_PID=$!; }
sampler_stop() { # OUT -> seconds
  kill "$SAMPLER_PID" 2>/dev/null
  wait "$SAMPLER_PID" 2>/dev/null
  awk -v hz="$CLK_TCK" '{ t[$1] = $15 + $16 } END { for (p in t) s += t[p]; printf "%.2f", s / hz }' "$1"
}

mbps() { awk -v b="$1" -v s="$2" 'BEGIN { if (s > 0) printf "%.1f", b / s / 1e6; else print 0 }'; }
repo_bytes() { du -sb "$1" 2>/dev/null | cut -f1; }
mib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1048576 }'; }

# ------------------------------------------------------------------ tools

repo_path() { echo "$REPOS/$1"; }
cache_dir() { echo "$W/cache/$1"; }

restic_run() { # TOOL ARGS...
  local tool=$1
  shift
  env RESTIC_PASSWORD="$PASSWORD" RESTIC_CACHE_DIR="$(cache_dir "$tool")" \
    restic -o sftp.command="ssh -F $SSHCFG $BUSER@127.0.0.1 -s sftp" \
    -r "sftp:$BUSER@127.0.0.1:$(repo_path "$tool")" "$@"
}
borg_url() { echo "ssh://$BUSER@127.0.0.1:$PORT$(repo_path "$1")"; }
borg_run() { # TOOL ARGS...
  local tool=$1
  shift
  env BORG_PASSPHRASE="$PASSWORD" BORG_BASE_DIR="$(cache_dir "$tool")" \
    BORG_RSH="ssh -F $SSHCFG" BORG_RELOCATED_REPO_ACCESS_IS_OK=yes borg "$@"
}
borg_extract_in() { # DIR TOOL ARCHIVE: borg extracts into the current folder
  cd "$1" && borg_run "$2" extract "$3"
}
tarn_url() { echo "sftp://$BUSER@127.0.0.1:$PORT$(repo_path "$1")"; }
tarn_run() { # CMDSTRING ARGS...: runs the string with bash, ARGS as $1.. and BENCH_* set
  local cmd=$1
  shift
  env BENCH_REPO_URL="$(tarn_url tarn)" BENCH_REPO_PATH="$(repo_path tarn)" \
    BENCH_SFTP_HOST=127.0.0.1 BENCH_SFTP_PORT="$PORT" BENCH_SFTP_USER="$BUSER" \
    BENCH_SSH_KEY="$SSH_DIR/id_ed25519" BENCH_SSH_KNOWN_HOSTS="$SSH_DIR/known_hosts" \
    BENCH_SSH_CONFIG="$SSHCFG" BENCH_PASSWORD="$PASSWORD" BENCH_CACHE_DIR="$(cache_dir tarn)" \
    bash -c "$cmd" tarn "$@"
}

tool_available() {
  case $1 in
    restic) command -v restic >/dev/null ;;
    restic-max) command -v restic >/dev/null && restic backup --help 2>/dev/null | grep -q -- '--compression' ;;
    borg) command -v borg >/dev/null ;;
    tarn) [ -n "${TARN_BACKUP_CMD:-}" ] ;;
    *) return 1 ;;
  esac
}

do_init() { # TOOL RUN
  case $1 in
    restic | restic-max) measure "$1" "$2" init restic_run "$1" init ;;
    borg) measure "$1" "$2" init borg_run "$1" init --encryption="$BORG_ENCRYPTION" "$(borg_url "$1")" ;;
    tarn)
      if [ -n "${TARN_INIT_CMD:-}" ]; then
        measure tarn "$2" init tarn_run "$TARN_INIT_CMD" "$(tarn_url tarn)" "$(cache_dir tarn)"
      fi ;;
  esac
}
do_backup() { # TOOL RUN STEP TAG
  case $1 in
    restic) measure "$1" "$2" "$3" restic_run "$1" backup --tag "$4" "$SRC" ;;
    restic-max) measure "$1" "$2" "$3" restic_run "$1" backup --compression max --tag "$4" "$SRC" ;;
    borg) measure "$1" "$2" "$3" borg_run "$1" create --stats "$(borg_url "$1")::$4" "$SRC" ;;
    tarn) measure tarn "$2" "$3" tarn_run "$TARN_BACKUP_CMD" "$(tarn_url tarn)" "$SRC" "$(cache_dir tarn)" "$4" ;;
  esac
}
do_restore() { # TOOL RUN TAG TARGET
  case $1 in
    restic | restic-max) measure "$1" "$2" restore restic_run "$1" restore latest --target "$4" ;;
    borg) measure "$1" "$2" restore borg_extract_in "$4" "$1" "$(borg_url "$1")::$3" ;;
    tarn) measure tarn "$2" restore tarn_run "$TARN_RESTORE_CMD" "$(tarn_url tarn)" "$4" "$(cache_dir tarn)" ;;
  esac
}
do_check() { # TOOL RUN
  case $1 in
    restic | restic-max) measure "$1" "$2" check restic_run "$1" check --read-data ;;
    borg) measure "$1" "$2" check borg_run "$1" check --info --verify-data "$(borg_url "$1")" ;;
    tarn) [ -n "${TARN_CHECK_CMD:-}" ] && measure tarn "$2" check tarn_run "$TARN_CHECK_CMD" "$(tarn_url tarn)" "$(cache_dir tarn)" ;;
  esac
}
clear_cache() { # TOOL: what a "cold" run starts without
  case $1 in
    borg) rm -rf "$(cache_dir "$1")/.cache" ;;  # keep .config (security info)
    *) rm -rf "$(cache_dir "$1")" && mkdir -p "$(cache_dir "$1")" ;;
  esac
}

settle() { sync; sleep 1; }

# one complete run of one tool: init, 3 backups (+1 cold), restore, check
run_tool() {
  local tool=$1 run=$2 repo b0 b1 b2 srcb target cmp
  repo=$(repo_path "$tool")
  log "== $tool, run $run"
  rm -rf "$SRC" "$RESTORE" "$repo" "$(cache_dir "$tool")"
  cp -a "$DATA" "$SRC"
  mkdir -p "$(cache_dir "$tool")"
  settle

  do_init "$tool" "$run" || return 1
  case $tool in restic | restic-max)
    restic_run "$tool" cat config >"$LOGS/$tool-r$run-repo-config.json" 2>&1
    csv "$tool" "$run" init repo_version \
      "$(sed -n 's/.*"version": *\([0-9]*\).*/\1/p' "$LOGS/$tool-r$run-repo-config.json" | head -1)" ;;
  esac

  srcb=$SRC_BYTES
  do_backup "$tool" "$run" backup1 first || return 1
  csv "$tool" "$run" backup1 mbps "$(mbps "$srcb" "$M_WALL")"
  settle
  b1=$(repo_bytes "$repo")
  csv "$tool" "$run" backup1 repo_mib "$(mib "$b1")"

  do_backup "$tool" "$run" backup2 unchanged
  settle

  if [ "$COLD_UNCHANGED" = 1 ]; then
    clear_cache "$tool"
    do_backup "$tool" "$run" backup2cold unchanged-cold
    settle
  fi

  "$PY" "$HERE/gen_dataset.py" mutate "$SRC" --scale "$SCALE" --seed "$MUTATE_SEED" \
    >"$LOGS/$tool-r$run-mutate.log" 2>&1 || die "mutate failed"
  settle
  b0=$(repo_bytes "$repo")
  do_backup "$tool" "$run" backup3 changed
  settle
  b2=$(repo_bytes "$repo")
  csv "$tool" "$run" backup3 growth_mib "$(mib $((b2 - b0)))"
  csv "$tool" "$run" backup3 repo_mib "$(mib "$b2")"

  target=$RESTORE/$tool
  rm -rf "$target" && mkdir -p "$target"
  if [ "$tool" = tarn ] && [ -z "${TARN_RESTORE_CMD:-}" ]; then
    log "  restore skipped (TARN_RESTORE_CMD not set)"
  elif do_restore "$tool" "$run" changed "$target"; then
    csv "$tool" "$run" restore mbps "$(mbps "$CHANGED_BYTES" "$M_WALL")"
    settle
    cmp=$target
    [ -d "$target/${SRC#/}" ] && cmp=$target/${SRC#/}
    if diff -r --no-dereference "$SRC" "$cmp" >"$LOGS/$tool-r$run-verify.log" 2>&1; then
      csv "$tool" "$run" restore verified 1
      log "  restore is byte-identical to the source"
    else
      csv "$tool" "$run" restore verified 0
      log "  RESTORE DIFFERS from the source (see $LOGS/$tool-r$run-verify.log)"
    fi
    # informational: mode and mtime of regular files
    if diff <(cd "$SRC" && find . -type f -printf '%p %m %T@\n' | sort) \
      <(cd "$cmp" && find . -type f -printf '%p %m %T@\n' | sort) >"$LOGS/$tool-r$run-meta.log" 2>&1; then
      csv "$tool" "$run" restore meta_ok 1
    else
      csv "$tool" "$run" restore meta_ok 0
    fi
  else
    csv "$tool" "$run" restore verified 0
  fi
  rm -rf "$target"

  if [ "$run" -le "$CHECK_RUNS" ]; then
    do_check "$tool" "$run"
  fi
  [ "$KEEP_REPOS" = 1 ] || rm -rf "$repo"
  return 0
}

# ------------------------------------------------------------------ physical limits

read_all() { find "$1" -type f -print0 | xargs -0 cat >/dev/null; }
timed_s() { # CMD...: prints wall seconds
  local t0 t1
  t0=$(date +%s%N)
  "$@" >/dev/null 2>&1
  t1=$(date +%s%N)
  awk -v n=$((t1 - t0)) 'BEGIN { printf "%.3f", n / 1e9 }'
}
tar_pipe() { tar -C "$1" -cf - . | cat >/dev/null; }  # tar skips reading when writing straight to /dev/null
tar_ssh() { tar -C "$1" -cf - . | ssh -F "$SSHCFG" 127.0.0.1 'cat >/dev/null'; }
tar_ssh_aes() { tar -C "$1" -cf - . | ssh -F "$SSHCFG" -c aes128-gcm@openssh.com 127.0.0.1 'cat >/dev/null'; }
ossl() { # ALG: bytes/s for 16 KiB blocks, one thread
  openssl speed -mr -seconds 2 -bytes 16384 -evp "$1" 2>/dev/null | awk -F: '/^\+F:/ { print $4; exit }'
}

limits() {
  local i s can_drop=0
  log "== physical limits ($LIMIT_RUNS runs each)"
  if sync && (echo 3 >/proc/sys/vm/drop_caches) 2>/dev/null; then can_drop=1; fi
  read_all "$DATA"
  for i in $(seq "$LIMIT_RUNS"); do
    s=$(timed_s read_all "$DATA"); csv machine "$i" limit read_warm_mbps "$(mbps "$DATA_BYTES" "$s")"
    if [ "$can_drop" = 1 ]; then
      sync; echo 3 >/proc/sys/vm/drop_caches
      s=$(timed_s read_all "$DATA"); csv machine "$i" limit read_cold_mbps "$(mbps "$DATA_BYTES" "$s")"
    fi
    s=$(timed_s tar_pipe "$DATA"); csv machine "$i" limit tar_mbps "$(mbps "$DATA_BYTES" "$s")"
    s=$(timed_s tar_ssh "$DATA"); csv machine "$i" limit tar_ssh_mbps "$(mbps "$DATA_BYTES" "$s")"
    s=$(timed_s tar_ssh_aes "$DATA"); csv machine "$i" limit tar_ssh_aes_mbps "$(mbps "$DATA_BYTES" "$s")"
    s=$(ossl aes-256-gcm); csv machine "$i" limit aes256gcm_mbps "$(mbps "${s:-0}" 1)"
    s=$(ossl sha256); csv machine "$i" limit sha256_mbps "$(mbps "${s:-0}" 1)"
  done
  [ "$can_drop" = 1 ] || log "  drop_caches not permitted: no cold-read figure"
}

# ------------------------------------------------------------------ main

versions() {
  {
    echo "date: $(date -Is)"
    echo "host: $(uname -srm); $(nproc) cpus; $(awk '/MemTotal/ {printf "%.1f GiB", $2/1048576}' /proc/meminfo)"
    echo "cpu: $(awk -F': ' '/model name/ {print $2; exit}' /proc/cpuinfo)"
    echo "restic: $(restic version 2>&1)"
    echo "borg: $(borg --version 2>&1)"
    echo "openssh: $(ssh -V 2>&1)"
    echo "openssl: $(openssl version 2>&1)"
    echo "tar: $(tar --version | head -1)"
    echo "python: $("$PY" --version 2>&1)"
    echo "ssh cipher: $(ssh -v -F "$SSHCFG" 127.0.0.1 true 2>&1 | grep -m1 'kex: client->server cipher' | sed 's/.*cipher: //')"
    echo "settings: QUICK=$QUICK SCALE=$SCALE RUNS=$RUNS CHECK_RUNS=$CHECK_RUNS TOOLS=\"$TOOLS\" COLD_UNCHANGED=$COLD_UNCHANGED BORG_ENCRYPTION=$BORG_ENCRYPTION"
    echo "tarn: backup=${TARN_BACKUP_CMD:-<unset>} restore=${TARN_RESTORE_CMD:-<unset>} check=${TARN_CHECK_CMD:-<unset>} init=${TARN_INIT_CMD:-<unset>}"
  } >"$RES/versions.txt"
  sed 's/^/  /' "$RES/versions.txt" | tee -a "$RES/run.log" >&2
}

file_bytes() { find "$1" -type f -printf '%s\n' | awk '{ s += $1 } END { printf "%d", s }'; }

main() {
  [ "$(id -u)" = 0 ] || die "run as root (needs useradd, sshd and drop_caches)"
  log "work folder $W, results $RES"
  ensure_packages
  local need=$((QUICK == 1 ? 2 : 8))
  local avail
  avail=$(df -P --block-size=1G "$W" | awk 'NR == 2 { print $4 }')
  [ "${avail:-0}" -ge "$need" ] || die "need about $need GiB free in $W (have ${avail} GiB)"

  # dataset (generated once per generator version, scale and seed)
  local gen_sum
  gen_sum=$(sha256sum "$HERE/gen_dataset.py" | cut -c1-16)
  if [ ! -f "$DATA.ok" ] || [ "$(cat "$DATA.ok")" != "$gen_sum" ]; then
    log "generating dataset (scale $SCALE) into $DATA"
    rm -rf "$DATA" "$DATA.ok"
    mkdir -p "$(dirname "$DATA")"
    local t0=$(date +%s)
    "$PY" "$HERE/gen_dataset.py" generate "$DATA" --scale "$SCALE" --seed "$SEED" >"$LOGS/generate.log" 2>&1 ||
      die "dataset generation failed (see $LOGS/generate.log)"
    echo "$gen_sum" >"$DATA.ok"
    log "  generated in $(($(date +%s) - t0)) s"
  fi
  DATA_BYTES=$(file_bytes "$DATA")
  SRC_BYTES=$DATA_BYTES
  csv dataset 0 dataset bytes "$DATA_BYTES"
  csv dataset 0 dataset files "$(find "$DATA" -type f | wc -l)"
  # size of the changed variant (for restore MB/s): apply the mutation to a scratch copy once
  rm -rf "$SRC" && cp -a "$DATA" "$SRC"
  "$PY" "$HERE/gen_dataset.py" mutate "$SRC" --scale "$SCALE" --seed "$MUTATE_SEED" \
    --manifest "$RES/mutation.json" >/dev/null || die "mutate failed"
  CHANGED_BYTES=$(file_bytes "$SRC")
  csv dataset 0 dataset changed_bytes "$CHANGED_BYTES"
  log "dataset: $(mib "$DATA_BYTES") MiB in $(find "$DATA" -type f | wc -l) files; changed variant $(mib "$CHANGED_BYTES") MiB"

  ensure_user
  start_sshd
  export W REPOS SSHCFG SSH_DIR BUSER PORT PASSWORD
  export -f repo_path cache_dir restic_run borg_url borg_run borg_extract_in tarn_url tarn_run
  versions

  [ "$LIMITS" = 1 ] && limits

  local tools=() t
  for t in $TOOLS; do
    if tool_available "$t"; then
      tools+=("$t")
    else
      log "skipping $t (not available / TARN_*_CMD not set)"
      csv "$t" 0 all skipped 1
    fi
  done
  local run k n=${#tools[@]}
  for run in $(seq "$RUNS"); do
    for k in $(seq 0 $((n - 1))); do
      t=${tools[$(((k + run - 1) % n))]}    # rotate the order from run to run
      run_tool "$t" "$run" || log "  $t run $run stopped early"
    done
  done

  log "total time $(($(date +%s) - T_START)) s"
  csv total 0 total wall_s $(($(date +%s) - T_START))
  BASELINE="$BASELINE" TOOLS="$TOOLS" "$HERE/table.sh" "$RES" | tee "$RES/table.md"
}

main "$@"
