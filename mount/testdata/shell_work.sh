#!/usr/bin/env bash
# Everyday shell work on a mounted drive, each step checking its result:
#   shell_work.sh DRIVE_FOLDER LOCAL_FOLDER
# DRIVE_FOLDER is an empty folder on the drive, LOCAL_FOLDER a local one.
# KEEPS_TIMES=1 when the server keeps the times it is given. With
# UPLOAD_WAIT=1 the script can wait for the drive's uploads: it makes
# LOCAL_FOLDER/want-idle and the test answers with LOCAL_FOLDER/idle once
# every upload has landed.
set -euo pipefail
drive=$1
here=$2
cd "$drive"

step() { printf '  %s\n' "$*"; }

# Until the files' times are final: their uploads have landed (a server that
# cannot keep times stamps each file then, in whole seconds) and the clock is
# past the second of the newest. The kernel may still show a time from
# before the upload: the second the uploads were over by counts too.
times_final() {
  local newest landed=0
  if [ "${UPLOAD_WAIT:-0}" = 1 ]; then
    touch "$here/want-idle"
    until [ -e "$here/idle" ]; do sleep 0.05; done
    rm -f "$here/idle"
    landed=$(date +%s)
  fi
  newest=$( (stat -c %Y "$@"; echo "$landed") | sort -n | tail -1)
  until [ "$(date +%s)" -gt "$newest" ]; do sleep 0.05; done
}

step "write and read back"
printf 'hello\n' > a.txt
[ "$(cat a.txt)" = hello ]

step "cp in and out of a file of many blocks"
head -c 3000000 /dev/urandom > "$here/big.bin"
cp "$here/big.bin" big.bin
cmp big.bin "$here/big.bin"
cp big.bin "$here/back.bin"
cmp "$here/back.bin" "$here/big.bin"

step "ls"
[ "$(ls | tr '\n' ' ')" = "a.txt big.bin " ]
[ "$(stat -c %s big.bin)" = 3000000 ]

step "mv within a folder, into a folder, of a folder, over a file"
mkdir sub
mv a.txt b.txt
mv b.txt sub/b.txt
[ ! -e a.txt ] && [ ! -e b.txt ] && [ "$(cat sub/b.txt)" = hello ]
mv sub sub2
[ -f sub2/b.txt ] && [ ! -e sub ]
printf 'new\n' > c.txt
mv c.txt sub2/b.txt
[ "$(cat sub2/b.txt)" = new ] && [ ! -e c.txt ]

step "truncate shorter and longer"
truncate -s 1000 big.bin
[ "$(stat -c %s big.bin)" = 1000 ]
cmp -n 1000 big.bin "$here/big.bin"
truncate -s 5000 big.bin
[ "$(tail -c 4000 big.bin | tr -d '\0' | wc -c)" = 0 ]

step "touch"
touch empty
[ -f empty ] && [ ! -s empty ]
touch -d '2001-02-03 04:05:06 UTC' empty
if [ "${KEEPS_TIMES:-0}" = 1 ]; then [ "$(stat -c %Y empty)" = 981173106 ]; fi

step "append"
printf 'one\n' > log
printf 'two\n' >> log
[ "$(cat log)" = "$(printf 'one\ntwo')" ]

step "rm and rmdir"
rm empty
[ ! -e empty ]
if rmdir sub2 2>/dev/null; then echo "rmdir of a full folder succeeded"; exit 1; fi
[ -f sub2/b.txt ]
rm sub2/b.txt
rmdir sub2
[ ! -e sub2 ]

step "a C project built with make"
mkdir proj
cd proj
cat > greet.h <<'C'
const char* greeting(void);
C
cat > greet.c <<'C'
#include "greet.h"
const char* greeting(void) { return "hello from the drive"; }
C
cat > main.c <<'C'
#include <stdio.h>
#include "greet.h"
int main(void) { puts(greeting()); return 0; }
C
printf 'hello: main.o greet.o\n\tcc -o $@ $^\n%%.o: %%.c greet.h\n\tcc -c -o $@ $<\n' > Makefile
make -s
[ "$(./hello)" = "hello from the drive" ]
# Nothing is stale, where the server keeps times: one that cannot stamps
# each file when its upload lands, in no set order.
if [ "${KEEPS_TIMES:-0}" = 1 ]; then [ -z "$(make -s -q || echo stale)" ]; fi
# A change rebuilds, once it is later than what was built.
times_final greet.c greet.h main.c main.o greet.o hello
sed -i 's/from the drive/again/' greet.c
make -s
[ "$(./hello)" = "hello again" ]
cd ..

step "clean up"
rm -r proj big.bin log
[ -z "$(ls)" ] || { ls; exit 1; }
