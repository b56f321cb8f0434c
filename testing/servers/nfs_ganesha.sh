#!/usr/bin/env bash
# Starts or stops an NFS version 3 server (NFS-Ganesha with the VFS back-end)
# for the NFS back-end's tests.
#   nfs_ganesha.sh start RUNDIR   serves RUNDIR/nfs/export as /export on
#                                 127.0.0.1 and writes RUNDIR/nfs_ganesha.env
#   nfs_ganesha.sh stop RUNDIR    stops what start started (idempotent)
# The portmapper is shared: it is started only when none answers, and then
# stopped again by the same script.
set -euo pipefail
. "$(dirname "${BASH_SOURCE[0]}")/lib/process.sh"

cmd="${1:-}"
run="${2:-}"
if [ -z "$cmd" ] || [ -z "$run" ]; then
  echo "usage: $0 start|stop RUNDIR" >&2
  exit 2
fi
mkdir -p "$run"
run="$(cd "$run" && pwd)"
dir="$run/nfs"
nfs_port=2049
mnt_port=20048


portmap_up() { rpcinfo -p 127.0.0.1 >/dev/null 2>&1; }

case "$cmd" in
  start)
    mkdir -p "$dir/export" "$dir/recovery" /run/rpcbind /var/run/ganesha
    chmod 777 "$dir/export"
    if ! portmap_up; then
      rpcbind -f >"$dir/rpcbind.log" 2>&1 &
      echo $! > "$dir/rpcbind.pid"
      for _ in $(seq 1 50); do
        portmap_up && break
        sleep 0.1
      done
      portmap_up || { echo "nfs_ganesha: rpcbind did not start" >&2; exit 1; }
    fi
    if [ -f "$dir/ganesha.pid" ] && alive "$(tr -dc 0-9 < "$dir/ganesha.pid")"; then
      echo "nfs_ganesha: already running" >&2
    elif rpcinfo -T tcp 127.0.0.1 nfs 3 >/dev/null 2>&1; then
      # Its export would not be ours, and ours could not bind the port.
      echo "nfs_ganesha: another NFS server already answers on 127.0.0.1" >&2
      exit 1
    else
      cat > "$dir/ganesha.conf" <<CONF
NFS_CORE_PARAM {
  Protocols = 3;
  Bind_addr = 127.0.0.1;
  NFS_Port = $nfs_port;
  MNT_Port = $mnt_port;
  Enable_NLM = false;
  Enable_RQUOTA = false;
  Mount_Path_Pseudo = true;
}
NFSV4 {
  Graceless = true;
  RecoveryBackend = fs;
  RecoveryRoot = "$dir/recovery";
}
EXPORT {
  Export_Id = 1;
  Path = "$dir/export";
  Pseudo = /export;
  Protocols = 3;
  Transports = TCP, UDP;
  Access_Type = RW;
  Squash = No_Root_Squash;
  SecType = sys;
  PrivilegedPort = true;
  FSAL { Name = VFS; }
}
CONF
      ganesha.nfsd -F -f "$dir/ganesha.conf" -L "$dir/ganesha.log" -p "$dir/ganesha.pid" >"$dir/ganesha.out" 2>&1 &
      echo $! > "$dir/ganesha.pid"
    fi
    ready=0
    for _ in $(seq 1 300); do
      if rpcinfo -T tcp 127.0.0.1 mountd 3 >/dev/null 2>&1 && rpcinfo -T tcp 127.0.0.1 nfs 3 >/dev/null 2>&1; then
        ready=1
        break
      fi
      alive "$(tr -dc 0-9 < "$dir/ganesha.pid")" || break
      sleep 0.1
    done
    if [ "$ready" != 1 ]; then
      echo "nfs_ganesha: server did not come up; log follows" >&2
      tail -n 30 "$dir/ganesha.log" >&2 || true
      exit 1
    fi
    cat > "$run/nfs_ganesha.env" <<ENV
TARN_NFS_HOST=127.0.0.1
TARN_NFS_EXPORT=/export
TARN_NFS_EXPORT_DIR=$dir/export
ENV
    ;;
  stop)
    stop_pid "$dir/ganesha.pid"
    stop_pid "$dir/rpcbind.pid"
    rm -f "$run/nfs_ganesha.env"
    ;;
  *)
    echo "usage: $0 start|stop RUNDIR" >&2
    exit 2
    ;;
esac
