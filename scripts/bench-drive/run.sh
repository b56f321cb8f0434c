#!/usr/bin/env bash
# Drive benchmark: rclone mount (WebDAV, SFTP), davfs2, sshfs, bindfs and
# tarn (this tree's release build, or TARN_MOUNT_CMD), against Apache WebDAV
# and OpenSSH SFTP on 127.0.0.1.
#
#   ./run.sh [all]     set up servers + dataset, run every workload RUNS times,
#                      print the table, stop everything (default)
#   ./run.sh deps      install the Debian packages it needs (as root)
#   ./run.sh build     build tarn in release mode for the tarn column
#   ./run.sh setup     generate the dataset and start the servers, leave them up
#   ./run.sh bench     like all, but leave the servers running afterwards
#   ./run.sh report [RESULTS_DIR]   re-print the table of a finished run
#   ./run.sh teardown  unmount everything and stop the servers
#
# Settings (environment): BENCH_WORK (work folder, default
# ${TMPDIR:-/tmp}/tarn-drive-bench), QUICK=1, RUNS=3, SYSTEMS, WORKLOADS,
# TARN_MOUNT_CMD/TARN_UMOUNT_CMD; see README.md for the rest.
set -u
BENCH_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export BENCH_DIR
# shellcheck source=lib/common.sh
. "$BENCH_DIR/lib/common.sh"
# shellcheck source=lib/servers.sh
. "$BENCH_DIR/lib/servers.sh"
# shellcheck source=lib/systems.sh
. "$BENCH_DIR/lib/systems.sh"
# shellcheck source=lib/workloads.sh
. "$BENCH_DIR/lib/workloads.sh"

DEBIAN_PACKAGES="git apache2 apache2-utils openssh-server openssh-client rclone davfs2 sshfs bindfs fuse3 fio python3 curl iproute2 util-linux coreutils findutils"

cmd_deps() {
  [[ $(id -u) == 0 ]] || die "deps must run as root"
  if [[ ! -e /usr/sbin/policy-rc.d ]]; then
    # keep apt from starting the system apache2/ssh services
    printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d
    chmod 0755 /usr/sbin/policy-rc.d
    log "created /usr/sbin/policy-rc.d (exit 101)"
  fi
  apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $DEBIAN_PACKAGES
}

check_deps() {
  local missing=() c
  for c in git apache2 htpasswd /usr/sbin/sshd ssh-keygen sftp curl ss fio timeout mountpoint fusermount3 "$PY"; do
    have "$c" || missing+=("$c")
  done
  ((${#missing[@]} == 0)) || die "missing: ${missing[*]} (run: $0 deps)"
  [[ $(id -u) == 0 ]] || die "run as root (mounts, useradd, drop_caches)"
  [[ -e /dev/fuse ]] || die "/dev/fuse is missing"
}

new_results() {
  RESULTS_DIR=$RESULTS_ROOT/$(date +%Y%m%d-%H%M%S)-$MODE
  LOGDIR=$RESULTS_DIR/logs
  RAW_CSV=$RESULTS_DIR/raw.csv
  mkdir -p "$LOGDIR"
  ln -sfn "$RESULTS_DIR" "$RESULTS_ROOT/latest"
  echo "timestamp,mode,run,system,metric,value,unit,note" > "$RAW_CSV"
  {
    echo "started: $(date -Is)"
    echo "mode: $MODE runs=$RUNS big=${BIG_MB}MiB text=${TEXT_MB}MiB tree=$TREE_FILES/$TREE_DIRS list=$LIST_N fio=${FIO_TIME}s git=$GIT_FILES saves=$SAVE_COUNT x ${SAVE_KB}KiB"
    echo "systems: $SYSTEMS"
    echo "workloads: $WORKLOADS"
    echo "drop_caches: $DROP_CACHES"
    echo "kernel: $(uname -r); cpus: $(nproc); mem: $(free -g | awk '/^Mem:/{print $2}') GiB"
    echo "load at start: $(cut -d' ' -f1-3 /proc/loadavg)"
    echo "rclone: $(rclone version 2>/dev/null | head -n1)"
    echo "davfs2: $(mount.davfs --version 2>/dev/null | head -n1)"
    echo "sshfs: $(sshfs --version 2>&1 | grep -i 'sshfs version')"
    echo "bindfs: $(bindfs --version 2>/dev/null | head -n1)"
    echo "apache: $(apache2 -v 2>/dev/null | head -n1)"
    echo "openssh: $(ssh -V 2>&1)"
    echo "fio: $(fio --version 2>/dev/null)"
    echo "tarn: mount='${TARN_MOUNT_CMD:-}' umount='${TARN_UMOUNT_CMD:-}' proto=${TARN_PROTO:-dav}"
    echo "rclone flags: --vfs-cache-mode full --vfs-write-back ${RCLONE_WRITE_BACK:-1s} ${RCLONE_EXTRA_ARGS:-}"
    echo "davfs2 conf: use_locks 0, delay_upload ${DAVFS_DELAY_UPLOAD:-1}, cache_size ${DAVFS_CACHE_MB:-8192} MiB, buf_size ${DAVFS_BUF_SIZE:-64} KiB"
    echo "sshfs extra: ${SSHFS_EXTRA_ARGS:-}"
  } > "$RESULTS_DIR/meta.txt"
  log "results in $RESULTS_DIR"
}

setup() {
  mkdir -p "$WORK" "$RUNDIR"
  ensure_dataset
  start_servers
  write_client_configs
}

teardown() {
  log "teardown: unmounting and stopping servers"
  umount_all
  [[ -d ${DATA:-/nonexistent}/up ]] && find "$DATA/up" -mindepth 1 -delete 2>/dev/null
  stop_servers
}

bench() {
  local -a avail=() order=()
  local s reason run wl i n t0
  for s in $SYSTEMS; do
    if reason=$(sys_check "$s"); then avail+=("$s")
    else
      log "skipping $s: $reason"
      printf '%s,%s,0,%s,skipped,,,%s\n' "$(date +%Y-%m-%dT%H:%M:%S)" "$MODE" "$s" "$(csv_escape "$reason")" >> "$RAW_CSV"
    fi
  done
  ((${#avail[@]})) || die "no system to run"
  n=${#avail[@]}
  for ((run = 1; run <= RUNS; run++)); do
    # rotate the order each run so no system is always first or last
    order=()
    for ((i = 0; i < n; i++)); do order+=("${avail[$(((i + run - 1) % n))]}"); done
    for s in "${order[@]}"; do
      t0=$(now)
      log "run $run/$RUNS: $s ($WORKLOADS)"
      for wl in $WORKLOADS; do
        "wl_$wl" "$s" "$run"
      done
      sys_umount "$s"
      find "$DATA/up" -mindepth 1 -delete 2>/dev/null
      log "run $run/$RUNS: $s done in $(since "$t0") s"
    done
  done
}

report() {
  "$PY" "$BENCH_DIR/tools/report.py" "$RAW_CSV" "$RESULTS_DIR" "$SYSTEMS" "${TARN_PROTO:-dav}"
}

main() {
  local cmd=${1:-all}
  case $cmd in
    deps) cmd_deps; return ;;
    build)
      local root; root=$(cd "$BENCH_DIR/../.." && pwd)
      cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARN_BENCH=OFF >/dev/null &&
        cmake --build "$root/build/release" --target tarn
      return ;;
    report)
      RESULTS_DIR=${2:-$RESULTS_ROOT/latest}; RAW_CSV=$RESULTS_DIR/raw.csv
      [[ -f $RAW_CSV ]] || die "no $RAW_CSV"
      report; return ;;
    teardown) LOGDIR=$RUNDIR; mkdir -p "$LOGDIR"; teardown; return ;;
    setup|bench|all) ;;
    *) die "unknown command '$cmd' (all|deps|build|setup|bench|report|teardown)" ;;
  esac
  check_deps
  mkdir -p "$WORK"
  local lock=$WORK/.run.pid
  if [[ -f $lock ]] && pid_alive "$(cat "$lock")"; then die "another run (pid $(cat "$lock")) is using $WORK"; fi
  echo $$ > "$lock"
  new_results
  local t_start; t_start=$(now)
  if [[ $cmd == all ]]; then trap 'teardown; rm -f "$WORK/.run.pid"' EXIT
  else trap 'umount_all; rm -f "$WORK/.run.pid"' EXIT; fi
  trap 'exit 130' INT TERM
  setup
  [[ $cmd == setup ]] && { log "servers are up; '$0 teardown' stops them"; return; }
  local t_bench; t_bench=$(now)
  bench
  local total; total=$(since "$t_start")
  echo "finished: $(date -Is); setup+bench ${total}s (bench $(since "$t_bench")s); load $(cut -d' ' -f1-3 /proc/loadavg)" >> "$RESULTS_DIR/meta.txt"
  echo
  report
  echo
  log "raw: $RAW_CSV"
  log "summary: $RESULTS_DIR/summary.csv, $RESULTS_DIR/table.md"
  log "total time ${total}s"
}

main "$@"
