#!/usr/bin/env python3
"""Populate a mounted test volume from a plan read on stdin.

Usage: tree.py ROOT < PLAN

A plan has one command per line, fields separated by '|' (a character that
Windows names cannot hold, so names may carry spaces and any other text).
Blank lines and lines starting with '#' are skipped.

  dir|PATH                              mkdir -p
  file|PATH|SIZE                        file with tagged content (see content());
                                        missing parent folders are made
  stream|PATH|NAME|SIZE                 alternate data stream via xattr user.NAME
  sparse|PATH|SIZE|OFF+LEN,OFF+LEN...   only the listed byte ranges are written
  many|DIR|FIRST|COUNT|SMALL|LARGE|EVERY
                                        files number FIRST.. FIRST+COUNT-1 in DIR;
                                        every EVERY-th has LARGE bytes, the
                                        others SMALL bytes
  fill|DIR|MIN|MAX|LEAVE                filler files of MIN..MAX bytes until the
                                        free space drops below LEAVE bytes, or
                                        until the volume is full when LEAVE is 0
  mixed|DIR|COUNT|CLUSTER               COUNT files of mixed sizes in DIR (empty,
                                        resident, one cluster, a few clusters,
                                        a few dozen clusters), names and sizes
                                        drawn from a generator seeded by DIR
  backwards|PATH|SIZE|CHUNK             a new file written CHUNK bytes at a time
                                        from the last piece to the first, as a
                                        download client may: ntfs-3g gives each
                                        piece clusters after the previous one,
                                        so every piece is a fragment, in
                                        descending order on disk
  append|PATH|SIZE                      extend a file to SIZE bytes (the content
                                        continues where it stopped)
  truncate|PATH|SIZE                    shrink a file (frees its clusters)
  times|PATH                            deterministic times on PATH
  times-all                             deterministic times on everything below
                                        ROOT, files before their folders
  rm|PATH                               rm -r
  reuse|DIR|PREFIX|RECORD|SIZE|MAX      create DIR/PREFIX-NNN.txt files until one
                                        gets MFT record RECORD (ntfs-3g inode
                                        numbers are record numbers); fails after
                                        MAX files

Paths are relative to ROOT.  Content and times depend only on the path, so a
rebuild with the same plan yields the same data.
"""
import errno
import hashlib
import os
import random
import shutil
import struct
import sys

BLOCK = 512
# FILETIME of 2014-01-01 00:00:00 UTC
FT_2014 = (1388534400 + 11644473600) * 10**7
FT_DAY = 86400 * 10**7


def content(tag, size):
    """Data whose every 512-byte block names its file and its own offset.

    A block read from the wrong cluster, or twice, or from another file, shows
    up as a wrong line; the padding keeps the images compressible."""
    out = bytearray()
    head_tag = tag.encode("utf-8")
    off = 0
    while off < size:
        head = b"<%010d> " % off + head_tag
        head = head[:BLOCK - 40]
        line = head + b" " + b"." * (BLOCK - len(head) - 2) + b"\n"
        out += line
        off += BLOCK
    return bytes(out[:size])


def times_for(path):
    """(creation, last write, last access) as FILETIME, distinct per path,
    with non-zero sub-second digits so that precision loss is visible."""
    h = hashlib.sha256(path.encode("utf-8")).digest()
    n = [int.from_bytes(h[i:i + 8], "little") for i in range(0, 24, 8)]
    cr = FT_2014 + n[0] % (3000 * FT_DAY)
    mt = cr + 1 + n[1] % (700 * FT_DAY)
    at = mt + 1 + n[2] % (90 * FT_DAY)
    return cr, mt, at


def set_times(full, rel):
    os.setxattr(full, "system.ntfs_times", struct.pack("<3Q", *times_for(rel)))


def write_new(full, data):
    os.makedirs(os.path.dirname(full), exist_ok=True)
    fd = os.open(full, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
    try:
        view = memoryview(data)
        while view:
            n = os.write(fd, view[:1 << 20])
            view = view[n:]
    finally:
        os.close(fd)


EXTENSIONS = "txt doc pdf jpg png csv log bin xml odt".split()
WORDS = ("budget review minutes draft invoice summary archive photo "
         "backup report notes schedule contract ledger").split()


class Runner:
    def __init__(self, root):
        self.root = root.rstrip("/")

    def full(self, rel):
        return self.root + "/" + rel

    def cmd_dir(self, path):
        os.makedirs(self.full(path), exist_ok=True)

    def cmd_file(self, path, size):
        write_new(self.full(path), content(path, int(size)))

    def cmd_stream(self, path, name, size):
        os.setxattr(self.full(path), "user." + name, content(path + ":" + name, int(size)))

    def cmd_sparse(self, path, size, ranges):
        data = content(path, int(size))
        os.makedirs(os.path.dirname(self.full(path)), exist_ok=True)
        fd = os.open(self.full(path), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        try:
            for r in ranges.split(","):
                off, ln = (int(x) for x in r.split("+"))
                os.pwrite(fd, data[off:off + ln], off)
            os.ftruncate(fd, int(size))
        finally:
            os.close(fd)

    def cmd_many(self, d, first, count, small, large, every):
        first, count, small, large, every = (int(x) for x in (first, count, small, large, every))
        os.makedirs(self.full(d), exist_ok=True)
        for i in range(first, first + count):
            # long names fill index blocks fast: the index needs many blocks
            r = random.Random(f"{d}/{i}")
            name = f"{i:05d} " + " ".join(r.choice(WORDS) for _ in range(6)) + ".txt"
            rel = d + "/" + name
            write_new(self.full(rel), content(rel, large if i % every == 0 else small))

    def cmd_mixed(self, d, count, cl):
        count, cl = int(count), int(cl)
        os.makedirs(self.full(d), exist_ok=True)
        r = random.Random(d)
        for i in range(count):
            name = f"{r.choice(WORDS)} {r.choice(WORDS)} {i:03d}.{r.choice(EXTENSIONS)}"
            x = r.random()
            if x < 0.04:
                size = 0
            elif x < 0.36:
                size = r.randint(1, 450)        # resident next to a short name
            elif x < 0.66:
                size = r.randint(700, max(700, cl))  # 650 B no longer fit
            elif x < 0.95:
                size = r.randint(cl + 1, 24 * cl)
            else:
                size = r.randint(25 * cl, 90 * cl)
            rel = d + "/" + name
            write_new(self.full(rel), content(rel, size))

    def cmd_backwards(self, path, size, chunk):
        size, chunk = int(size), int(chunk)
        data = content(path, size)
        os.makedirs(os.path.dirname(self.full(path)), exist_ok=True)
        fd = os.open(self.full(path), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
        try:
            os.ftruncate(fd, size)
            for off in reversed(range(0, size, chunk)):
                os.pwrite(fd, data[off:off + chunk], off)
        finally:
            os.close(fd)

    def cmd_append(self, path, size):
        full = self.full(path)
        old = os.path.getsize(full)
        with open(full, "ab") as fh:
            fh.write(content(path, int(size))[old:])

    def cmd_fill(self, d, lo, hi, leave):
        lo, hi, leave = int(lo), int(hi), int(leave)
        os.makedirs(self.full(d), exist_ok=True)
        r = random.Random(d)
        i = 0
        while True:
            st = os.statvfs(self.root)
            if leave and st.f_bavail * st.f_frsize < leave:
                break
            rel = f"{d}/F{i:05d}.bin"
            size = r.randint(lo, hi)
            try:
                fd = os.open(self.full(rel), os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644)
            except OSError as e:
                if e.errno != errno.ENOSPC:
                    raise
                break
            data = content(rel, size)
            pos, full = 0, False
            chunk = 1 << 16
            while pos < size:
                try:
                    pos += os.write(fd, data[pos:pos + chunk])
                except OSError as e:
                    if e.errno != errno.ENOSPC:
                        raise
                    if chunk <= BLOCK:
                        full = True
                        break
                    chunk //= 2
            os.close(fd)
            i += 1
            if full:
                break
        print(f"fill {d}: {i} files", file=sys.stderr)

    def cmd_truncate(self, path, size):
        os.truncate(self.full(path), int(size))

    def cmd_times(self, path):
        set_times(self.full(path), path)

    def cmd_times_all(self):
        for top, dirs, files in os.walk(self.root, topdown=False):
            rel_top = os.path.relpath(top, self.root)
            for f in files:
                rel = f if rel_top == "." else rel_top + "/" + f
                set_times(self.full(rel), rel)
            if rel_top != ".":
                set_times(top, rel_top)

    def cmd_rm(self, path):
        p = self.full(path)
        if os.path.isdir(p):
            shutil.rmtree(p)
        else:
            os.unlink(p)

    def cmd_reuse(self, d, prefix, record, size, most):
        record, most = int(record), int(most)
        for i in range(most):
            rel = f"{d}/{prefix}-{i:03d}.txt"
            self.cmd_file(rel, size)
            self.cmd_times(rel)
            ino = os.stat(self.full(rel)).st_ino
            print(f"reuse: {rel} got record {ino}", file=sys.stderr)
            if ino == record:
                return
        sys.exit(f"reuse: no new file took record {record} after {most} tries")


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    run = Runner(sys.argv[1])
    for n, line in enumerate(sys.stdin, 1):
        line = line.rstrip("\n")
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        cmd, *args = line.split("|")
        fn = getattr(run, "cmd_" + cmd.strip().replace("-", "_"), None)
        if fn is None:
            sys.exit(f"plan line {n}: unknown command {cmd!r}")
        try:
            fn(*args)
        except TypeError as e:
            sys.exit(f"plan line {n}: {e}")


if __name__ == "__main__":
    main()
