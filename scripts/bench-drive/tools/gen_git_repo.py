#!/usr/bin/env python3
"""Writes a deterministic git repository of small text files.

Usage: gen_git_repo.py DEST FILES DIRS SEED

DEST/ gets FILES files of 1-8 KiB of text-like lines spread over DIRS
folders, committed once with fixed author, committer and dates, so that the
same arguments give the same commit id on every machine.
"""
import os
import random
import subprocess
import sys


def main():
    dest, files, dirs, seed = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
    rng = random.Random(seed)
    words = ["".join(rng.choice("abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 9)))
             for _ in range(2000)]
    os.makedirs(dest)
    for i in range(files):
        folder = os.path.join(dest, "src%02d" % (i % dirs))
        os.makedirs(folder, exist_ok=True)
        size = rng.randint(1024, 8192)
        lines, n = [], 0
        while n < size:
            line = " ".join(rng.choice(words) for _ in range(rng.randint(3, 12))) + "\n"
            lines.append(line)
            n += len(line)
        with open(os.path.join(folder, "file%04d.txt" % i), "w") as f:
            f.write("".join(lines)[:size])
    env = dict(os.environ, GIT_AUTHOR_NAME="bench", GIT_AUTHOR_EMAIL="bench@localhost",
               GIT_COMMITTER_NAME="bench", GIT_COMMITTER_EMAIL="bench@localhost",
               GIT_AUTHOR_DATE="2024-06-01T00:00:00Z", GIT_COMMITTER_DATE="2024-06-01T00:00:00Z")
    git = ["git", "-c", "init.defaultBranch=main", "-C", dest]
    subprocess.run(git + ["init", "-q"], check=True, env=env)
    subprocess.run(git + ["add", "-A"], check=True, env=env)
    subprocess.run(git + ["commit", "-q", "-m", "bench"], check=True, env=env)


if __name__ == "__main__":
    main()
