# shellcheck shell=bash
# Common settings and helpers for the drive benchmark. Sourced by run.sh.
# Everything machine-specific lives under $WORK (BENCH_WORK); nothing here
# names a path of this machine other than system paths.

export LC_ALL=C
set -o pipefail

: "${BENCH_DIR:?BENCH_DIR must be set by run.sh}"

WORK=${BENCH_WORK:-${TMPDIR:-/tmp}/tarn-drive-bench}
QUICK=${QUICK:-0}
RUNS=${RUNS:-3}
DAV_PORT=${BENCH_DAV_PORT:-18080}
SSH_PORT=${BENCH_SSH_PORT:-18022}
DAV_USER=${BENCH_DAV_USER:-bench}
DAV_PASS=${BENCH_DAV_PASS:-bench-pass}
SFTP_USER=${BENCH_SFTP_USER:-tarnbench}
SEED=${BENCH_SEED:-20240601}
DROP_CACHES=${BENCH_DROP_CACHES:-0}
UPLOAD_TIMEOUT=${BENCH_UPLOAD_TIMEOUT:-600}   # seconds to wait for the server to hold an upload
CMD_TIMEOUT=${BENCH_CMD_TIMEOUT:-900}         # seconds for any single timed client command
MOUNT_TIMEOUT=${BENCH_MOUNT_TIMEOUT:-30}
POLL=${BENCH_POLL:-0.2}                       # seconds between server-side polls
PY=${PYTHON:-}
if [[ -z $PY ]]; then
  if [[ -x /usr/bin/python3 ]]; then PY=/usr/bin/python3; else PY=python3; fi
fi

ALL_SYSTEMS="rclone-dav rclone-sftp davfs2 sshfs bindfs tarn"

# The tarn column: this tree's release build, mounting one drive in the
# foreground; an unmount from outside ends the process once it has flushed.
TARN_EXE=${TARN_EXE:-$(cd "$BENCH_DIR/../.." && pwd)/build/release/cli/tarn}
if [[ -z ${TARN_MOUNT_CMD:-} && -x $TARN_EXE ]]; then
  TARN_DEFAULT_CMD=1
  TARN_MOUNT_CMD="'$TARN_EXE' mount --foreground '$WORK/cfg/tarn-${TARN_PROTO:-dav}.json'"
  TARN_UMOUNT_CMD=${TARN_UMOUNT_CMD:-fusermount3 -u}
fi
# The drive's own machine-wide folders (known SSH hosts, logs) stay in the
# work folder.
export TARN_ROOT=${TARN_ROOT:-$WORK/tarn-root}
ALL_WORKLOADS="a b c e d f g h"
SYSTEMS=${SYSTEMS:-$ALL_SYSTEMS}
WORKLOADS=${WORKLOADS:-$ALL_WORKLOADS}

if [[ $QUICK == 1 ]]; then
  MODE=quick
  BIG_MB=${BIG_MB:-64}; TEXT_MB=${TEXT_MB:-16}
  TREE_FILES=${TREE_FILES:-500}; TREE_DIRS=${TREE_DIRS:-10}
  LIST_N=${LIST_N:-1000}; FIO_TIME=${FIO_TIME:-3}
  GIT_FILES=${GIT_FILES:-500}; SAVE_COUNT=${SAVE_COUNT:-50}
else
  MODE=full
  BIG_MB=${BIG_MB:-1024}; TEXT_MB=${TEXT_MB:-256}
  TREE_FILES=${TREE_FILES:-5000}; TREE_DIRS=${TREE_DIRS:-50}
  LIST_N=${LIST_N:-10000}; FIO_TIME=${FIO_TIME:-10}
  GIT_FILES=${GIT_FILES:-3000}; SAVE_COUNT=${SAVE_COUNT:-200}
fi
BIG_BYTES=$((BIG_MB * 1048576))
TEXT_BYTES=$((TEXT_MB * 1048576))

SRV=$WORK/srv
DATA=$SRV/data-$MODE          # the server-side folder: DAV root and SFTP path
GIT_DIRS=${GIT_DIRS:-30}
SAVE_KB=${SAVE_KB:-100}
GIT_PRISTINE=$SRV/git-$GIT_FILES  # the repository of (g), copied into DATA for each run
CFG=$WORK/cfg
CACHE=$WORK/cache
MNT=$WORK/mnt
RUNDIR=$WORK/run
RESULTS_ROOT=${BENCH_RESULTS:-$WORK/results}

log()  { printf '[%s] %s\n' "$(date +%H:%M:%S)" "$*" >&2; }
warn() { printf '[%s] WARNING: %s\n' "$(date +%H:%M:%S)" "$*" >&2; }
die()  { printf '[%s] ERROR: %s\n' "$(date +%H:%M:%S)" "$*" >&2; exit 1; }

# now: wall-clock seconds with microseconds (bash 5 builtin, no fork).
now() { printf '%s' "$EPOCHREALTIME"; }
# since T0 [T1]: elapsed seconds, 6 decimals.
since() { awk -v a="$1" -v b="${2:-$EPOCHREALTIME}" 'BEGIN{printf "%.6f", b-a}'; }
# fmt EXPR: evaluate an awk arithmetic expression, print with 3 decimals.
calc() { awk "BEGIN{printf \"%.3f\", $1}"; }

have() { command -v "$1" >/dev/null 2>&1; }

# pid_alive PID
pid_alive() { [[ -n ${1:-} ]] && kill -0 "$1" 2>/dev/null; }

# stop_pid PID [SECONDS]: TERM, wait, then KILL. Only for processes we started.
stop_pid() {
  local pid=$1 t=${2:-10} i
  pid_alive "$pid" || return 0
  kill -TERM "$pid" 2>/dev/null || true
  for ((i = 0; i < t * 10; i++)); do pid_alive "$pid" || return 0; sleep 0.1; done
  warn "pid $pid still alive after ${t}s, sending KILL"
  kill -KILL "$pid" 2>/dev/null || true
}

# wait_pid_exit PID SECONDS: wait for a process (not necessarily our child) to exit.
wait_pid_exit() {
  local pid=$1 t=${2:-30} i
  for ((i = 0; i < t * 10; i++)); do pid_alive "$pid" || return 0; sleep 0.1; done
  return 1
}

# drop_caches: flush dirty data; with BENCH_DROP_CACHES=1 also drop the
# kernel page/dentry/inode caches (client and server share this kernel, and so
# does anything else running on the machine). Off by default: a fresh FUSE
# mount starts with no page cache of its own, the client caches are emptied
# by sys_clear_cache, and the server's files are pre-read anyway.
drop_caches() {
  sync
  [[ $DROP_CACHES == 1 ]] || return 0
  if ! echo 3 > /proc/sys/vm/drop_caches 2>/dev/null; then
    warn "cannot write /proc/sys/vm/drop_caches; kernel caches not dropped"
    DROP_CACHES=0
  fi
}

# prewarm FILE|DIR...: read server-side data into the page cache so the
# server's disk is not what is measured.
prewarm() {
  local p
  for p in "$@"; do
    if [[ -d $p ]]; then
      find "$p" -type f -print0 | xargs -0 -r cat > /dev/null
      ls -lR "$p" > /dev/null
    elif [[ -e $p ]]; then
      cat "$p" > /dev/null
    fi
  done
}

# csv_escape STRING
csv_escape() { local s=${1//\"/\"\"}; s=${s//$'\n'/ }; printf '"%s"' "$s"; }

# record SYSTEM RUN METRIC VALUE UNIT [NOTE]
record() {
  local sys=$1 run=$2 metric=$3 value=$4 unit=$5 note=${6:-}
  printf '%s,%s,%s,%s,%s,%s,%s,%s\n' "$(date +%Y-%m-%dT%H:%M:%S)" "$MODE" "$run" "$sys" "$metric" \
    "$value" "$unit" "$(csv_escape "$note")" >> "$RAW_CSV"
  if [[ -n $value ]]; then log "  $sys run$run $metric = $value $unit${note:+ ($note)}"
  else log "  $sys run$run $metric FAILED: $note"; fi
}
