#!/usr/bin/env bash
# Starts or stops OpenSSH's sshd for the SFTP back-end's tests.
#   sshd.sh start RUNDIR   serves SFTP on 127.0.0.1 (one port with every
#                          authentication method, one with keyboard-interactive
#                          instead of password, one whose SFTP server refuses
#                          the space, fsync and atomic rename extensions) for
#                          the user
#                          "tarntest", makes
#                          client keys of every supported kind and writes
#                          RUNDIR/sshd.env
#   sshd.sh stop RUNDIR    stops what start started (idempotent)
# The test user is a system account created once, with a random password
# made once per machine. Everything else lives under RUNDIR/sshd, except when the
# test user cannot enter RUNDIR: then the served folder and authorized_keys
# go to a folder in its home that stop removes again.
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
dir="$run/sshd"
user=tarntest
sshd_bin=/usr/sbin/sshd


port_busy() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

free_port() {
  local p
  for p in $(seq "$1" "$(($1 + 200))"); do
    if ! port_busy "$p" && [ "$p" != "${2:-0}" ]; then
      echo "$p"
      return 0
    fi
  done
  return 1
}

# In a subshell: a failed redirection of exec may end a non-interactive shell.
answers_ssh() {
  (
    exec 3<>"/dev/tcp/127.0.0.1/$1" || exit 1
    line=""
    IFS= read -r -t 2 line <&3 || true
    [[ "$line" == SSH-2.0-* ]]
  ) 2>/dev/null
}

case "$cmd" in
  start)
    [ -x "$sshd_bin" ] || { echo "sshd: $sshd_bin missing (install openssh-server)" >&2; exit 1; }
    if [ -f "$dir/sshd.pid" ] && alive "$(tr -dc 0-9 < "$dir/sshd.pid")"; then
      echo "sshd: already running" >&2
      exit 0
    fi
    if [ -f "$dir/outside" ]; then rm -rf "$(cat "$dir/outside")"; fi
    rm -rf "$dir"
    mkdir -p "$dir/keys" /run/sshd
    chmod 755 "$dir" "$dir/keys"

    if ! id -u "$user" >/dev/null 2>&1; then
      useradd --system --create-home --home-dir "/home/$user" --shell /bin/bash "$user"
    fi
    # One random password per machine, kept for later runs, so that test runs
    # side by side do not change it under each other.
    pwfile="/home/$user/.test-password"
    if [ ! -s "$pwfile" ]; then
      (umask 077; echo "pw-$(od -An -N9 -tx1 /dev/urandom | tr -d ' \n')" > "$pwfile.new")
      mv "$pwfile.new" "$pwfile"
      echo "$user:$(cat "$pwfile")" | chpasswd
    fi
    chown root:root "$pwfile"
    chmod 600 "$pwfile"
    password="$(cat "$pwfile")"
    # The server reads authorized_keys and serves files as the test user; when
    # a parent of RUNDIR is closed to that user, both live in its home.
    shared="$dir/shared"
    mkdir -p "$shared"
    chmod 755 "$shared"
    if ! runuser -u "$user" -- test -x "$shared"; then
      shared="/home/$user/run-$(printf '%s' "$run" | sha256sum | cut -c1-16)"
      rm -rf "$shared"
      mkdir -p "$shared"
      chmod 755 "/home/$user" "$shared"
      echo "$shared" > "$dir/outside"
    fi
    mkdir -p "$shared/data"
    chown "$user:" "$shared/data"
    chmod 755 "$shared/data"
    if ! runuser -u "$user" -- test -w "$shared/data"; then
      echo "sshd: $user cannot write to $shared/data" >&2
      exit 1
    fi

    ssh-keygen -q -t ecdsa -N '' -f "$dir/host_ecdsa" -C host
    ssh-keygen -q -t ed25519 -N '' -f "$dir/host_ed25519" -C host

    passphrase="kp-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
    k="$dir/keys"
    ssh-keygen -q -t ed25519 -N '' -f "$k/ed25519" -C ed25519
    ssh-keygen -q -t ecdsa -b 256 -N '' -f "$k/ecdsa" -C ecdsa
    ssh-keygen -q -t ecdsa -b 384 -N '' -f "$k/ecdsa384" -C ecdsa384
    ssh-keygen -q -t ecdsa -b 521 -N '' -f "$k/ecdsa521" -C ecdsa521
    ssh-keygen -q -t rsa -b 3072 -N '' -f "$k/rsa" -C rsa
    ssh-keygen -q -t rsa -b 2048 -m PEM -N '' -f "$k/rsa_pem" -C rsa_pem
    ssh-keygen -q -t ecdsa -b 256 -m PKCS8 -N '' -f "$k/ecdsa_pkcs8" -C ecdsa_pkcs8
    ssh-keygen -q -t ed25519 -N "$passphrase" -f "$k/ed25519_enc" -C ed25519_enc
    ssh-keygen -q -t rsa -b 2048 -N "$passphrase" -f "$k/rsa_enc" -C rsa_enc
    ssh-keygen -q -t rsa -b 2048 -m PEM -N "$passphrase" -f "$k/rsa_pem_enc" -C rsa_pem_enc
    ssh-keygen -q -t ed25519 -N '' -f "$k/unlisted" -C unlisted
    chmod 644 "$k"/*
    for name in ed25519 ecdsa ecdsa384 ecdsa521 rsa rsa_pem ecdsa_pkcs8 ed25519_enc rsa_enc rsa_pem_enc; do
      cat "$k/$name.pub"
    done > "$shared/authorized_keys"
    chmod 644 "$shared/authorized_keys"

    port="$(free_port "${TARN_SSHD_PORT:-22220}")"
    kbd_port="$(free_port "$((port + 1))" "$port")"
    limited_port="$(free_port "$((kbd_port + 1))" "$kbd_port")"
    cat > "$dir/sshd_config" <<CONF
ListenAddress 127.0.0.1:$port
ListenAddress 127.0.0.1:$kbd_port
ListenAddress 127.0.0.1:$limited_port
HostKey $dir/host_ecdsa
HostKey $dir/host_ed25519
PidFile $dir/sshd.pid
AllowUsers $user
AuthorizedKeysFile $shared/authorized_keys
StrictModes no
PubkeyAuthentication yes
PasswordAuthentication yes
KbdInteractiveAuthentication yes
UsePAM yes
PermitRootLogin no
MaxAuthTries 30
MaxStartups 200
MaxSessions 50
LogLevel VERBOSE
Subsystem sftp internal-sftp
Match LocalPort $kbd_port
  PasswordAuthentication no
Match LocalPort $limited_port
  ForceCommand internal-sftp -P statvfs,fstatvfs,fsync,posix-rename
CONF
    "$sshd_bin" -t -f "$dir/sshd_config"
    "$sshd_bin" -f "$dir/sshd_config" -E "$dir/sshd.log"
    for _ in $(seq 1 100); do
      answers_ssh "$port" && answers_ssh "$kbd_port" && answers_ssh "$limited_port" && break
      sleep 0.1
    done
    if ! answers_ssh "$port"; then
      echo "sshd: no answer on port $port; log:" >&2
      cat "$dir/sshd.log" >&2 || true
      exit 1
    fi
    cat > "$run/sshd.env" <<ENV
SFTP_HOST=127.0.0.1
SFTP_PORT=$port
SFTP_KBD_PORT=$kbd_port
SFTP_LIMITED_PORT=$limited_port
SFTP_USER=$user
SFTP_PASSWORD=$password
SFTP_ROOT=$shared/data
SFTP_KEY_PASSPHRASE=$passphrase
SFTP_KEY_ED25519=$k/ed25519
SFTP_KEY_ECDSA=$k/ecdsa
SFTP_KEY_ECDSA384=$k/ecdsa384
SFTP_KEY_ECDSA521=$k/ecdsa521
SFTP_KEY_RSA=$k/rsa
SFTP_KEY_RSA_PEM=$k/rsa_pem
SFTP_KEY_ECDSA_PKCS8=$k/ecdsa_pkcs8
SFTP_KEY_ED25519_ENC=$k/ed25519_enc
SFTP_KEY_RSA_ENC=$k/rsa_enc
SFTP_KEY_RSA_PEM_ENC=$k/rsa_pem_enc
SFTP_KEY_UNLISTED=$k/unlisted
ENV
    ;;
  stop)
    stop_pid "$dir/sshd.pid"
    rm -f "$run/sshd.env"
    if [ -f "$dir/outside" ]; then
      rm -rf "$(cat "$dir/outside")"
      rm -f "$dir/outside"
    fi
    ;;
  *)
    echo "usage: $0 start|stop RUNDIR" >&2
    exit 2
    ;;
esac
