#!/usr/bin/env python3
"""FAT test volumes: fill them through mtools from a plan, record their
manifests from the directory entries, check them with The Sleuth Kit.

  fat.py plan IMG STAGE < PLAN        run a plan (below) against IMG with mtools;
                                      STAGE is a scratch folder for the sources
  fat.py record IMG OUT --entries E   manifest of the live tree; E (JSON) keeps
                                      each row's directory entry slots and chain
  fat.py finalize IMG --pre PRE --entries E --deleted LIST --out OUT
                                      after the deletions: vanished rows become
                                      deleted (their entries must be marked
                                      0xE5 and otherwise unchanged)
  fat.py verify IMG MANIFEST --scratch DIR [--report R] [checks]
  fat.py survivors OLD NEW MANIFEST --entries E [--report R]
  fat.py geometry IMG                 one line for the build notes

Plan lines ('|'-separated, '#' comments; paths relative to the root):

  dir|PATH                    mmd, parents first
  file|PATH|SIZE              mcopy of a file with tagged content (tree.py's)
  mixed|DIR|COUNT             COUNT files of drawn names (long, upper-case 8.3,
                              lower-case 8.3) and sizes (empty, under a cluster,
                              exactly one, a few, a few dozen clusters), six
                              to an mcopy run, so that the folder's clusters
                              come between the files' data as it grows
  fill|DIR|COUNT|SIZE         COUNT filler files F00000.BIN.. of SIZE bytes
  punch|DIR                   mdel every other file of DIR in cluster order
  hint|N|unknown              set the FAT32 FSInfo next-free hint (mtools
                              starts its search for free clusters there)
  times-all                   deterministic creation, write and access
                              times on every live entry (and on the '.' and
                              '..' entries of each folder: the folder's own)
  rm|PATH                     mdel (file) or mdeltree (folder)

Content and times depend only on the path (tree.py's content() and
times_for()), so a rebuild gives the same data, names and times; mtools is
deterministic, so the clusters are the same too.

Manifest columns: those of lib/manifest.py plus `shortname`; for FAT,
record = first cluster (0 for an empty file), parent = first cluster of the
containing folder (0 for the root), mtime = (write date << 16) | write time,
crtime = (creation date << 16) | creation time, atime = access date << 16
(the words as the entry holds them), fragments = runs of the cluster chain
(0 when empty; folders too), attrlist = n, shortname = the 8.3 name as
stored ("BASE.EXT", upper case; the first byte as it was before deletion).
"""
import argparse
import collections
import datetime
import hashlib
import json
import os
import random
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import manifest as ntfsman  # noqa: E402  (tsk(), FLS_RE, md5_file(), finish())
from tree import content, times_for  # noqa: E402

COLUMNS = ntfsman.COLUMNS + ["shortname"]
FT_UNIX = 11644473600 * 10**7
SOURCE_DATE_EPOCH = "1500000000"     # what mtools and mmd take as "now"


def die(msg):
    sys.exit("fat.py: ERROR: " + msg)


# --------------------------------------------------------------------------
# reading a FAT volume


def lfn_checksum(name11):
    s = 0
    for b in name11:
        s = ((((s & 1) << 7) | (s >> 1)) + b) & 0xFF
    return s


def short_name(e, first=None):
    """(stored 8.3 name, name as shown with the NT lower-case flags)"""
    raw = bytearray(e[0:11])
    if first is not None:
        raw[0] = first
    elif raw[0] == 0x05:          # a name starting with 0xE5 is stored as 0x05
        raw[0] = 0xE5
    base = raw[0:8].decode("cp850").rstrip(" ")
    ext = raw[8:11].decode("cp850").rstrip(" ")
    stored = base + ("." + ext if ext else "")
    shown_base = base.lower() if e[12] & 0x08 else base
    shown_ext = ext.lower() if e[12] & 0x10 else ext
    return stored, shown_base + ("." + shown_ext if shown_ext else "")


def lfn_units(e):
    return [struct.unpack_from("<H", e, o)[0] for o in
            (1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30)]


class Entry:
    """A short directory entry with the long-name entries in front of it."""
    __slots__ = ("off", "raw", "lfn_offs", "lfn_raw", "deleted", "name", "stored",
                 "long", "lfn_terminated", "attr", "first", "size")


class Fat:
    def __init__(self, path, offset=0):
        self.path, self.offset = path, offset
        self.fh = open(path, "rb")
        self.fh.seek(offset)
        b = self.fh.read(512)
        if b[510:512] != b"\x55\xaa":
            die(f"{path}@{offset}: no boot sector signature")
        self.bps, self.spc, self.reserved, self.nfats, self.rootents, tot16, _media, fatsz16 = \
            struct.unpack_from("<HBHBHHBH", b, 11)
        if self.bps not in (512, 1024, 2048, 4096) or not self.spc or self.spc & (self.spc - 1):
            die(f"{path}@{offset}: not a FAT boot sector")
        self.hidden = struct.unpack_from("<I", b, 28)[0]
        tot32 = struct.unpack_from("<I", b, 32)[0]
        self.fatsz = fatsz16 or struct.unpack_from("<I", b, 36)[0]
        self.total = tot16 or tot32
        self.root_secs = (self.rootents * 32 + self.bps - 1) // self.bps
        self.first_data = self.reserved + self.nfats * self.fatsz + self.root_secs
        self.nclusters = (self.total - self.first_data) // self.spc
        # the type follows from the cluster count alone
        self.type = 12 if self.nclusters < 4085 else 16 if self.nclusters < 65525 else 32
        if (fatsz16 == 0) != (self.type == 32):
            die(f"{path}@{offset}: FAT{self.type} by cluster count ({self.nclusters}), "
                f"but the 16-bit FAT size is {fatsz16}")
        self.cs = self.bps * self.spc
        self.root_cluster = struct.unpack_from("<I", b, 44)[0] if self.type == 32 else 0
        self.fsinfo = struct.unpack_from("<H", b, 48)[0] if self.type == 32 else 0
        self.serial = struct.unpack_from("<I", b, 67 if self.type == 32 else 39)[0]
        self.label = b[71:82] if self.type == 32 else b[43:54]
        self.fh.seek(offset + self.reserved * self.bps)
        self.fat = self.fh.read(self.fatsz * self.bps)
        self.eoc = {12: 0xFF8, 16: 0xFFF8, 32: 0x0FFFFFF8}[self.type]

    def read(self, off, n):
        self.fh.seek(self.offset + off)
        return self.fh.read(n)

    def next(self, c):
        if self.type == 12:
            v = struct.unpack_from("<H", self.fat, c + c // 2)[0]
            return v >> 4 if c & 1 else v & 0xFFF
        if self.type == 16:
            return struct.unpack_from("<H", self.fat, 2 * c)[0]
        return struct.unpack_from("<I", self.fat, 4 * c)[0] & 0x0FFFFFFF

    def chain(self, first):
        out, seen, c = [], set(), first
        while True:
            if c < 2 or c >= self.nclusters + 2 or c in seen:
                die(f"{self.path}: bad chain from {first} at {c}")
            out.append(c)
            seen.add(c)
            n = self.next(c)
            if n >= self.eoc:
                return out
            if n == 0:
                die(f"{self.path}: chain from {first} runs into free cluster {c}")
            c = n

    def cluster_off(self, c):
        return (self.first_data + (c - 2) * self.spc) * self.bps

    def dir_slots(self, first):
        """[(offset in the volume, 32 bytes)] of a folder (first 0: the root)."""
        if first == 0 and self.type != 32:
            base = (self.reserved + self.nfats * self.fatsz) * self.bps
            data = self.read(base, self.rootents * 32)
            return [(base + 32 * i, data[32 * i:32 * i + 32]) for i in range(self.rootents)]
        out = []
        for c in self.chain(first or self.root_cluster):
            base = self.cluster_off(c)
            data = self.read(base, self.cs)
            out += [(base + 32 * i, data[32 * i:32 * i + 32]) for i in range(self.cs // 32)]
        return out

    def entries(self, first, deleted=False):
        """Entries of a folder ('.', '..' and the volume label left out)."""
        out, pending = [], []
        for off, e in self.dir_slots(first):
            if e[0] == 0:
                break
            if e[11] & 0x3F == 0x0F:
                pending.append((off, e))
                continue
            lfn, pending = pending, []
            is_del = e[0] == 0xE5
            if e[11] & 0x08 or e[0:2] in (b". ", b".."):
                continue
            if is_del and not deleted:
                continue
            x = Entry()
            x.off, x.raw, x.deleted, x.attr = off, bytes(e), is_del, e[11]
            x.first = struct.unpack_from("<H", e, 26)[0]
            if self.type == 32:
                x.first |= struct.unpack_from("<H", e, 20)[0] << 16
            x.size = struct.unpack_from("<I", e, 28)[0]
            x.stored, x.name = short_name(e)
            # long-name entries that belong to this one: the run right in
            # front of it, last part first, all with its checksum
            x.lfn_offs, x.lfn_raw, x.long, x.lfn_terminated = [], [], None, None
            want = None if is_del else lfn_checksum(e[0:11])
            parts = []
            for k, (loff, le) in enumerate(reversed(lfn)):
                seq = le[0]
                if (want is not None and le[13] != want) or (parts and le[13] != parts[0][1][13]):
                    break
                if not is_del and (seq & 0x1F) != k + 1:
                    break
                parts.append((loff, le))
                if not is_del and seq & 0x40:
                    break
            if parts and (is_del or parts[-1][1][0] & 0x40):
                units = [u for _o, le in parts for u in lfn_units(le)]
                n = units.index(0) if 0 in units else len(units)
                x.lfn_terminated = 0 in units
                x.long = struct.pack(f"<{n}H", *units[:n]).decode("utf-16-le")
                x.lfn_offs = [o for o, _ in parts]
                x.lfn_raw = [bytes(le) for _o, le in parts]
                x.name = x.long
            out.append(x)
        return out

    def walk(self):
        """[(path, Entry, parent first cluster)] of the live tree, folders before their contents."""
        out = []

        def visit(first, prefix, depth):
            if depth > 64:
                die("folder loop")
            for x in self.entries(first):
                p = prefix + x.name
                out.append((p, x, first))
                if x.attr & 0x10:
                    visit(x.first, p + "/", depth + 1)

        visit(0, "", 0)
        return out


def runs(chain):
    return sum(1 for i, c in enumerate(chain) if i == 0 or c != chain[i - 1] + 1)


def times_of(e):
    ctime, cdate, adate, _hi, mtime, mdate = struct.unpack_from("<HHHHHH", e, 14)
    return (mdate << 16) | mtime, (cdate << 16) | ctime, adate << 16


def fat_words(ft):
    """(date, time, 10 ms units within the 2 s of the time word) of a FILETIME."""
    t = datetime.datetime(1601, 1, 1) + datetime.timedelta(microseconds=ft // 10)
    date = ((t.year - 1980) << 9) | (t.month << 5) | t.day
    time = (t.hour << 11) | (t.minute << 5) | (t.second // 2)
    return date, time, (t.second % 2) * 100 + t.microsecond // 10000


def decode_words(date, time=0):
    """datetime of a FAT date and time word"""
    return datetime.datetime(1980 + (date >> 9), (date >> 5) & 15, date & 31,
                             time >> 11, (time >> 5) & 63, 2 * (time & 31))


# --------------------------------------------------------------------------
# plans through mtools


class Runner:
    def __init__(self, img, stage):
        self.img, self.stage = img, stage
        self.env = dict(os.environ, MTOOLS_SKIP_CHECK="1", LC_ALL="C.UTF-8", TZ="UTC",
                        SOURCE_DATE_EPOCH=SOURCE_DATE_EPOCH)
        self.dirs = {""}
        for p, x, _parent in Fat(img).walk():
            if x.attr & 0x10:
                self.dirs.add(p)

    def mtools(self, *args):
        p = subprocess.run([args[0], "-i", self.img, *args[1:]], env=self.env,
                           stdin=subprocess.DEVNULL, capture_output=True, text=True)
        if p.returncode != 0 or "rror" in p.stderr:
            die(f"{' '.join(args)}: {p.stderr.strip() or p.returncode}")

    def ensure(self, d):
        if d in self.dirs:
            return
        parent = d.rsplit("/", 1)[0] if "/" in d else ""
        self.ensure(parent)
        self.mtools("mmd", "::/" + d)
        self.dirs.add(d)

    def stage_file(self, rel, size):
        src = os.path.join(self.stage, rel)
        os.makedirs(os.path.dirname(src), exist_ok=True)
        with open(src, "wb") as fh:
            fh.write(content(rel, size))
        return src

    def copy_many(self, d, files, batch=200):
        """files: [(name, size)], copied in this order, BATCH to an mcopy run."""
        self.ensure(d)
        srcs = [self.stage_file(f"{d}/{n}" if d else n, s) for n, s in files]
        for i in range(0, len(srcs), batch):
            self.mtools("mcopy", *srcs[i:i + batch], "::/" + d + ("/" if d else ""))

    def cmd_dir(self, path):
        self.ensure(path)

    def cmd_file(self, path, size):
        d = path.rsplit("/", 1)[0] if "/" in path else ""
        self.ensure(d)
        self.mtools("mcopy", self.stage_file(path, int(size)), "::/" + path)

    def cmd_mixed(self, d, count):
        count = int(count)
        cs = Fat(self.img).cs
        r = random.Random(d)
        files = []
        for i in range(count):
            w, ext = r.choice(WORDS), r.choice(EXTENSIONS)
            style = r.random()
            if style < 0.25:
                name = f"{w[:5].upper()}{i:03d}.{ext.upper()}"     # 8.3 only
            elif style < 0.4:
                name = f"{w[:5]}{i:03d}.{ext}"                     # 8.3, lower-case flags
            else:
                name = f"{w} {r.choice(WORDS)} {i:03d}.{ext}"
            x = r.random()
            if x < 0.05:
                size = 0
            elif x < 0.4:
                size = r.randint(1, cs - 1)
            elif x < 0.45:
                size = cs
            elif x < 0.9:
                size = r.randint(cs + 1, 8 * cs)
            else:
                size = r.randint(9 * cs, 40 * cs)
            files.append((name, size))
        # mcopy adds the clusters a folder grows by when it is done: a few
        # files per run put them between the files' data
        self.copy_many(d, files, batch=6)

    def cmd_fill(self, d, count, size):
        self.copy_many(d, [(f"F{i:05d}.BIN", int(size)) for i in range(int(count))])

    def cmd_punch(self, d):
        fat = Fat(self.img)
        first = 0
        if d:
            hit = [x for p, x, _ in fat.walk() if p == d]
            if not hit:
                die(f"punch: no folder {d}")
            first = hit[0].first
        files = sorted(((x.first, x) for x in fat.entries(first) if not x.attr & 0x10 and x.first),
                       key=lambda t: t[0])
        doomed = [x for i, (_c, x) in enumerate(files) if i % 2 == 1]
        # what record needs to list them: they were deleted before it runs
        with open(os.path.join(self.stage, "punched.jsonl"), "a", encoding="utf-8") as fh:
            for x in doomed:
                fh.write(json.dumps(dict(path=f"{d}/{x.name}", entry=x.off, raw=x.raw.hex(),
                                         parent=first, chain=fat.chain(x.first))) + "\n")
        names = ["::/" + d + "/" + x.name for x in doomed]
        for i in range(0, len(names), 200):
            self.mtools("mdel", *names[i:i + 200])
        print(f"punch {d}: {len(doomed)} of {len(files)} files deleted", file=sys.stderr)

    def cmd_hint(self, value):
        fat = Fat(self.img)
        if fat.type != 32:
            die("hint: not FAT32")
        base = fat.fsinfo * fat.bps
        sig = fat.read(base, 512)
        if sig[0:4] != b"RRaA" or sig[484:488] != b"rrAa":
            die("hint: no FSInfo sector")
        v = 0xFFFFFFFF if value == "unknown" else int(value)
        with open(self.img, "r+b") as fh:
            fh.seek(base + 492)
            fh.write(struct.pack("<I", v))

    def cmd_times_all(self):
        fat = Fat(self.img)
        with open(self.img, "r+b") as fh:
            for p, x, _parent in fat.walk():
                cr, mt, at = times_for(p)
                cdate, ctime, tenth = fat_words(cr)
                mdate, mtime, _ = fat_words(mt)
                adate, _, _ = fat_words(at)
                offs = [x.off]
                if x.attr & 0x10:
                    dots = [o for o, e in fat.dir_slots(x.first)[:2]]
                    offs += dots
                for o in offs:
                    fh.seek(o + 13)
                    fh.write(struct.pack("<BHHH", tenth, ctime, cdate, adate))
                    fh.seek(o + 22)
                    fh.write(struct.pack("<HH", mtime, mdate))

    def cmd_rm(self, path):
        hit = [x for p, x, _ in Fat(self.img).walk() if p == path]
        if not hit:
            die(f"rm: no {path}")
        self.mtools("mdeltree" if hit[0].attr & 0x10 else "mdel", "::/" + path)


WORDS = ("budget review minutes draft invoice summary archive photo backup report "
         "notes schedule contract ledger").split()
EXTENSIONS = "txt doc pdf jpg png csv log bin xml odt".split()


def cmd_plan(a):
    run = Runner(a.image, a.stage)
    for n, line in enumerate(sys.stdin, 1):
        line = line.rstrip("\n")
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        cmd, *args = line.split("|")
        fn = getattr(run, "cmd_" + cmd.strip().replace("-", "_"), None)
        if fn is None:
            die(f"plan line {n}: unknown command {cmd!r}")
        try:
            fn(*args)
        except TypeError as e:
            die(f"plan line {n}: {e}")


# --------------------------------------------------------------------------
# manifests


def live_rows(fat, check_content=True):
    """(rows, entries) of the live tree; every file's data, read along its
    chain, must be the tagged content its path was written with."""
    rows, ents, errs = [], {}, []
    for p, x, parent in fat.walk():
        is_dir = bool(x.attr & 0x10)
        mt, cr, at = times_of(x.raw)
        chain = fat.chain(x.first) if x.first else []
        row = dict(path=p, kind="dir" if is_dir else "file", size=0 if is_dir else x.size,
                   md5="-", mtime=mt, crtime=cr, atime=at, record=x.first, parent=parent,
                   fragments=runs(chain), attrlist="n", state="live", shortname=x.stored)
        if is_dir:
            if not chain:
                errs.append(f"{p}: folder without a cluster")
        else:
            if len(chain) != (x.size + fat.cs - 1) // fat.cs:
                errs.append(f"{p}: {len(chain)} clusters for {x.size} bytes")
            data = b"".join(fat.read(fat.cluster_off(c), fat.cs) for c in chain)[:x.size]
            row["md5"] = hashlib.md5(data).hexdigest()
            if check_content and data != content(p, x.size):
                errs.append(f"{p}: data read along the chain is not what was written")
        rows.append(row)
        ents[p] = dict(entry=x.off, raw=x.raw.hex(), lfn=x.lfn_offs, lfn_raw=[r.hex() for r in x.lfn_raw],
                       lfn_terminated=x.lfn_terminated, chain=chain)
    if errs:
        for e in errs[:50]:
            print("  " + e, file=sys.stderr)
        die(f"{len(errs)} problems in the live tree")
    return rows, ents


def write_tsv(path, rows):
    ntfsman.write_tsv(path, rows, COLUMNS)


def read_tsv(path):
    return ntfsman.read_tsv(path, COLUMNS)


def mtools_listing(img, scratch):
    """{path: md5 or None for a folder} as mtools itself copies the tree out."""
    env = dict(os.environ, MTOOLS_SKIP_CHECK="1", LC_ALL="C.UTF-8")
    os.makedirs(scratch, exist_ok=True)
    p = subprocess.run(["mcopy", "-s", "-n", "-i", img, "::/*", scratch + "/"], env=env,
                       stdin=subprocess.DEVNULL, capture_output=True, text=True)
    if p.returncode != 0:
        die(f"mcopy -s out of {img}: {p.stderr.strip()}")
    out = {}
    for top, dirs, files in os.walk(scratch):
        rel = os.path.relpath(top, scratch)
        for d in dirs:
            out[d if rel == "." else rel + "/" + d] = None
        for f in files:
            out[f if rel == "." else rel + "/" + f] = ntfsman.md5_file(os.path.join(top, f))
    return out


def punched_rows(fat, path):
    """Rows of the files a punch step deleted before the manifest was taken:
    deleted, or reused once another file holds one of their clusters."""
    rows, ents, errs = [], {}, []
    with open(path, encoding="utf-8") as fh:
        for line in fh:
            p = json.loads(line)
            raw, chain = bytes.fromhex(p["raw"]), p["chain"]
            now = fat.read(p["entry"], 32)
            if now[0] != 0xE5 or now[1:] != raw[1:]:
                errs.append(f"{p['path']}: its entry is no longer the deleted one")
            size = struct.unpack_from("<I", raw, 28)[0]
            mt, cr, at = times_of(raw)
            reused = any(fat.next(c) != 0 for c in chain)
            rows.append(dict(path=p["path"], kind="file", size=size,
                             md5=hashlib.md5(content(p["path"], size)).hexdigest(),
                             mtime=mt, crtime=cr, atime=at, record=chain[0], parent=p["parent"],
                             fragments=runs(chain), attrlist="n",
                             state="reused" if reused else "deleted", shortname=short_name(raw)[0]))
            ents[p["path"]] = dict(entry=p["entry"], raw=p["raw"], lfn=[], lfn_raw=[],
                                   lfn_terminated=None, chain=chain)
    if errs:
        die("; ".join(errs[:10]))
    return rows, ents


def cmd_record(a):
    fat = Fat(a.image)
    rows, ents = live_rows(fat)
    if a.punched and os.path.exists(a.punched):
        prows, pents = punched_rows(fat, a.punched)
        rows += prows
        ents.update(pents)
    if a.scratch:
        got = mtools_listing(a.image, a.scratch)
        want = {r["path"]: (None if r["kind"] == "dir" else r["md5"]) for r in rows if r["state"] == "live"}
        if got != want:
            diff = sorted(set(got.items()) ^ set(want.items()), key=str)[:10]
            die(f"mtools copies out a different tree: {diff}")
    write_tsv(a.out, rows)
    with open(a.entries, "w", encoding="utf-8") as fh:
        json.dump(ents, fh)
    print(f"record: {len(rows)} rows -> {a.out}", file=sys.stderr)


def cmd_finalize(a):
    fat = Fat(a.image)
    pre = {r["path"]: r for r in read_tsv(a.pre)}
    with open(a.entries, encoding="utf-8") as fh:
        ents = json.load(fh)
    rows, now_ents = live_rows(fat)
    now = {r["path"]: r for r in rows}
    deleted_roots = [l.rstrip("\n") for l in open(a.deleted, encoding="utf-8") if l.strip()]
    created = set()
    if a.created:
        created = {l.rstrip("\n") for l in open(a.created, encoding="utf-8") if l.strip()}

    def under_deleted(p):
        return any(p == d or p.startswith(d + "/") for d in deleted_roots)

    errs = []
    gone = {p for p, r in pre.items() if r["state"] == "live"} - set(now)
    if gone != {p for p, r in pre.items() if r["state"] == "live" and under_deleted(p)}:
        errs.append(f"vanished: {sorted(gone)[:10]}; meant to be deleted: {deleted_roots}")
    if set(now) - set(pre) != created:
        errs.append(f"new items {sorted(set(now) - set(pre))[:10]} != created {sorted(created)[:10]}")
    out = []
    for p, r in pre.items():
        e = ents[p]
        if r["state"] != "live":
            # deleted before the manifest was taken (punched fillers)
            if fat.read(e["entry"], 32) != bytes([0xE5]) + bytes.fromhex(e["raw"])[1:]:
                errs.append(f"{p}: its deleted entry changed")
            out.append(r)
            continue
        if p in now:
            for c in COLUMNS:
                if now[p][c] != r[c]:
                    errs.append(f"{p}: {c} changed from {r[c]} to {now[p][c]}")
            if now_ents[p]["raw"] != e["raw"]:
                errs.append(f"{p}: directory entry changed")
            out.append(now[p])
            continue
        # deleted: the first byte of every slot is 0xE5, the rest as it was,
        # and the chain is free in the FAT
        raw = fat.read(e["entry"], 32)
        if raw[0] != 0xE5 or raw[1:] != bytes.fromhex(e["raw"])[1:]:
            errs.append(f"{p}: entry at {e['entry']} is not the old one marked deleted")
        for off, old in zip(e["lfn"], e["lfn_raw"]):
            lr = fat.read(off, 32)
            if lr[0] != 0xE5 or lr[1:] != bytes.fromhex(old)[1:]:
                errs.append(f"{p}: long-name entry at {off} is not the old one marked deleted")
        busy = [c for c in e["chain"] if fat.next(c) != 0]
        if busy:
            errs.append(f"{p}: clusters {busy[:5]} still allocated")
        out.append(dict(r, state="deleted"))
    for p in created:
        if p in now:
            out.append(now[p])
            ents[p] = now_ents[p]
    if errs:
        for e in errs[:50]:
            print("  " + e, file=sys.stderr)
        die(f"finalize: {len(errs)} problems")
    write_tsv(a.out, out)
    with open(a.entries, "w", encoding="utf-8") as fh:
        json.dump(ents, fh)
    c = collections.Counter((r["state"], r["kind"]) for r in out)
    print("finalize: " + ", ".join(f"{s}/{k}: {n}" for (s, k), n in sorted(c.items())), file=sys.stderr)


# --------------------------------------------------------------------------
# The Sleuth Kit as an oracle


def parse_istat(txt):
    info = {"sectors": [], "times": {}}
    sect = False
    for line in txt.split("\n"):
        if line.startswith("Sectors:"):
            sect = True
        elif sect:
            info["sectors"] += [int(x) for x in line.split()]
        elif line.startswith("Name: "):
            info["name"] = line[6:]
        elif line.startswith("Size: "):
            info["size"] = int(line[6:])
        else:
            for key in ("Written", "Accessed", "Created"):
                if line.startswith(key + ":\t"):
                    info["times"][key] = line.split("\t", 1)[1].replace(" (UTC)", "")
        if line in ("Allocated", "Not Allocated"):
            info["allocated"] = line == "Allocated"
    return info


def tsk_time(words, with_time=True, tenth=0):
    """How istat prints a FAT date (and time) word; it adds the whole
    seconds of the creation time's 10 ms units and drops the rest."""
    d, t = words >> 16, words & 0xFFFF
    if d == 0:
        return "0000-00-00 00:00:00"
    dt = decode_words(d, t if with_time else 0) + datetime.timedelta(seconds=tenth // 100)
    return dt.strftime("%Y-%m-%d %H:%M:%S")


def cmd_verify(a):
    img, off = a.image, a.offset
    rows = read_tsv(a.manifest)
    fat = Fat(img, off * 512)
    oargs = ["-o", str(off)] if off else []
    errs, facts = [], []
    fls = collections.defaultdict(list)
    for line in ntfsman.tsk(["fls", "-r", "-p", *oargs, img]).split("\n"):
        m = ntfsman.FLS_RE.match(line)
        if m:
            typ, star, ino, _t, _i, realloc, path = m.groups()
            fls[path].append(dict(type=typ, deleted=bool(star), inode=int(ino), path=path))
    live = [r for r in rows if r["state"] == "live"]
    gone = [r for r in rows if r["state"] != "live"]
    inode, truncated = {}, {}
    for r in live:
        ents = [e for e in fls.get(r["path"], []) if not e["deleted"]]
        if not ents and len(r["path"].rsplit("/", 1)[-1]) > 240:
            # TSK cuts long names short; take the one listed name the row's path starts with
            cut = [p for p in fls if r["path"].startswith(p) and p.count("/") == r["path"].count("/")
                   and len(p.rsplit("/", 1)[-1]) > 200]
            if len(cut) == 1:
                ents = [e for e in fls[cut[0]] if not e["deleted"]]
                truncated[cut[0]] = r["path"]
        want = "d/d" if r["kind"] == "dir" else "r/r"
        if len(ents) != 1 or ents[0]["type"] != want:
            errs.append(f"fls: live {r['path']} listed as {ents}")
            continue
        inode[r["path"]] = ents[0]["inode"]
    listed = {p for p, l in fls.items() for e in l if not e["deleted"] and not p.startswith("$")
              and "(Volume Label Entry)" not in p}
    extra = listed - {r["path"] for r in live} - set(truncated)
    if extra:
        errs.append(f"fls lists live items the manifest lacks: {sorted(extra)[:10]}")
    facts.append(f"fls -r -p: all {len(live)} live rows listed at their path, as file or folder, nothing else"
                 + "".join(f"; fls shows the name of {full} ({len(full.rsplit('/', 1)[-1])} characters) cut "
                           f"to {len(cut.rsplit('/', 1)[-1])}" for cut, full in truncated.items()))

    def cluster_of(sector):
        return (sector - fat.first_data) // fat.spc + 2

    with open(a.entries, encoding="utf-8") as fh:
        slots = json.load(fh)

    def check_istat(r):
        txt = ntfsman.tsk(["istat", *oargs, img, str(inode[r["path"]])])
        return r, parse_istat(txt)

    from concurrent.futures import ThreadPoolExecutor
    nfrag = 0
    with ThreadPoolExecutor(max_workers=2) as ex:
        for r, info in ex.map(check_istat, [r for r in live if r["path"] in inode]):
            p = r["path"]
            # istat lists the sectors of the chain it follows in the FAT
            clusters = []
            for s in info["sectors"]:
                if s == 0:          # istat pads the last cluster's unused sectors with 0
                    continue
                c = cluster_of(s)
                if not clusters or clusters[-1] != c:
                    clusters.append(c)
            first = clusters[0] if clusters else 0
            if first != r["record"]:
                errs.append(f"istat {p}: first cluster {first} != record {r['record']}")
            if runs(clusters) != r["fragments"]:
                errs.append(f"istat {p}: {runs(clusters)} runs != fragments {r['fragments']}")
            nfrag += r["fragments"] > 1
            if info.get("name", "").upper() != r["shortname"].upper():
                errs.append(f"istat {p}: name {info.get('name')!r} != short name {r['shortname']!r}")
            if r["kind"] == "file" and info.get("size") != r["size"]:
                errs.append(f"istat {p}: size {info.get('size')} != {r['size']}")
            # istat adds the creation 10 ms units as a fraction; the manifest holds the words only
            tenth = bytes.fromhex(slots[p]["raw"])[13]
            want = {"Written": tsk_time(r["mtime"]), "Accessed": tsk_time(r["atime"], False),
                    "Created": tsk_time(r["crtime"], tenth=tenth)}
            got = dict(info["times"])
            for k in want:
                if got.get(k) != want[k]:
                    errs.append(f"istat {p}: {k} {got.get(k)} != {want[k]}")
    facts.append(f"istat: first cluster, cluster runs, short name, size and times (write time to 2 s, access "
                 f"date, creation time to the second) of all {len(inode)} live rows match "
                 f"({nfrag} with 2 or more runs)")

    # contents through icat
    nfiles = 0
    for r in live:
        if r["kind"] == "file" and r["path"] in inode:
            data = ntfsman.tsk(["icat", *oargs, img, str(inode[r["path"]])], text=False)
            if hashlib.md5(data).hexdigest() != r["md5"]:
                errs.append(f"icat {r['path']}: md5 differs")
            nfiles += 1
    facts.append(f"icat: md5 of all {nfiles} live files match")

    # deleted rows: fls -d by name at their path, and where TSK starts them
    # without a long name TSK shows a deleted 8.3 name with '_' for its lost
    # first byte, in the item's own name and in those of deleted folders above it
    deleted_fls = collections.defaultdict(list)
    for path, l in fls.items():
        for e in l:
            if e["deleted"]:
                deleted_fls[path.count("/")].append(e)

    def same_name(theirs, ours):
        a_, b_ = theirs.split("/"), ours.split("/")
        return len(a_) == len(b_) and all(x == y or (x[:1] == "_" and x[1:] == y[1:]) for x, y in zip(a_, b_))

    exact, short, first_ok, notes = 0, 0, 0, []
    for r in gone:
        ents = [e for e in fls.get(r["path"], []) if e["deleted"]]
        if ents:
            exact += 1
        else:
            ents = [e for e in deleted_fls[r["path"].count("/")] if same_name(e["path"], r["path"])]
            if not ents:
                notes.append(r["path"])
                continue
            short += 1
        info = parse_istat(ntfsman.tsk(["istat", *oargs, img, str(ents[0]["inode"])]))
        if r["size"] and info["sectors"] and cluster_of(info["sectors"][0]) == r["record"]:
            first_ok += 1
        elif r["size"] == 0 and r["kind"] == "file":
            first_ok += 1
        elif r["kind"] == "dir" and info["sectors"] and cluster_of(info["sectors"][0]) == r["record"]:
            first_ok += 1
        else:
            errs.append(f"istat {r['path']} (deleted): starts at {info['sectors'][:1]}, record {r['record']}")
    facts.append(f"fls -r -p -d: of {len(gone)} deleted and reused rows, {exact} are listed at their own "
                 f"path (long names rebuilt from the deleted long-name entries) and {short} with '_' for the "
                 f"lost first character of 8.3 names in the path; all {first_ok} with their first cluster "
                 f"(istat)"
                 + (f"; not listed: {', '.join(notes)}" if notes else ""))

    if fat.type == 32:
        facts.append(f"root folder: clusters {describe_runs(fat.chain(fat.root_cluster))}")
    by_path = {r["path"]: r for r in rows}
    for p in a.fragmented:
        r = by_path.get(p)
        if r is None or r["fragments"] < 2:
            errs.append(f"{p}: not fragmented ({r and r['fragments']})")
        else:
            facts.append(f"fragmented: {p} ({r['state']}): {r['fragments']} runs, chain "
                         f"{describe_runs(slots[p]['chain'])}")
    for p in a.lfn_exact:
        r, e = by_path.get(p), slots.get(p)
        name = p.rsplit("/", 1)[-1]
        if e is None or not e["lfn"] or e["lfn_terminated"] or len(e["lfn"]) * 13 != len(name.encode("utf-16-le")) // 2:
            errs.append(f"{p}: wanted long-name entries filled to the last character, without a terminator")
        else:
            facts.append(f"long name of {len(name)} UTF-16 units: {p} ({r['state']}): {len(e['lfn'])} long-name "
                         f"entries, no 0x0000 terminator, no 0xFFFF padding")
    for p in a.short_only:
        r, e = by_path.get(p), slots.get(p)
        if e is None or e["lfn"]:
            errs.append(f"{p}: wanted no long-name entry")
        else:
            raw = bytes.fromhex(e["raw"])
            facts.append(f"8.3 only: {p} ({r['state']}): no long-name entry; stored {raw[0:11]!r}, "
                         f"case flags 0x{raw[12]:02x}; the slot in front of it has attributes "
                         f"0x{fat.read(e['entry'] - 32, 32)[11]:02x}")
    for p in a.multi_cluster_dir:
        r, e = by_path.get(p), slots.get(p)
        if r is None or r["kind"] != "dir" or len(e["chain"]) < 2:
            errs.append(f"{p}: wanted a folder of more than one cluster")
        else:
            n = len([x for x in rows if x["parent"] == r["record"] and x["state"] == "live"])
            facts.append(f"folder of {len(e['chain'])} clusters: {p} ({n} live entries), chain "
                         f"{describe_runs(e['chain'])}")
    for p in a.high:
        r = by_path.get(p)
        if r is None or r["record"] <= 0xFFFF:
            errs.append(f"{p}: wanted a first cluster above 65535")
        else:
            facts.append(f"first cluster above 65535: {p} ({r['state']}): {r['record']}")
    ntfsman.finish(errs, facts, a.report, "verify")


def describe_runs(chain):
    out, start = [], None
    for i, c in enumerate(chain):
        if start is None:
            start = c
        if i + 1 == len(chain) or chain[i + 1] != c + 1:
            out.append(f"{start}" if start == c else f"{start}-{c}")
            start = None
    return ", ".join(out)


# --------------------------------------------------------------------------
# what survives a reformat


def dir_signature(block):
    """A folder's first cluster: '.' and '..' entries, both folders."""
    return (block[0:11] == b".          " and block[11] & 0x10
            and block[32:43] == b"..         " and block[43] & 0x10)


def cmd_survivors(a):
    old, new = Fat(a.old), Fat(a.new)
    if (old.cs, old.first_data, old.nclusters) != (new.cs, new.first_data, new.nclusters):
        die("the reformat changed the geometry")
    rows = read_tsv(a.manifest)
    with open(a.entries, encoding="utf-8") as fh:
        ents = json.load(fh)
    facts, errs = [], []
    if a.after_format:
        # mkfs.fat must have written only the reserved sectors, the FATs and
        # the new root folder's cluster
        fresh = Fat(a.after_format)
        start = old.cluster_off(3)
        with open(a.old, "rb") as f1, open(a.after_format, "rb") as f2:
            b1, b2 = f1.read(), f2.read()
        if b1[start:] != b2[start:]:
            errs.append("mkfs.fat changed the data area beyond cluster 2")
        changed = [s for s in range(start // 512) if b1[s * 512:(s + 1) * 512] != b2[s * 512:(s + 1) * 512]]
        facts.append(f"mkfs.fat over the old volume changed {len(changed)} of the {start // 512} sectors before "
                     f"cluster 3 (boot sectors, FSInfo, FATs, cluster 2 = the root folder) and nothing from "
                     f"cluster 3 on; new serial {fresh.serial:08X}")

    def same(c):
        o = old.cluster_off(c)
        return old.read(o, old.cs) == new.read(o, new.cs)

    def sig_count(fat):
        n = 0
        for c in range(2, fat.nclusters + 2):
            if dir_signature(fat.read(fat.cluster_off(c), 64)):
                n += 1
        return n

    dirs = [r for r in rows if r["kind"] == "dir"]
    whole = [r["path"] for r in dirs if all(same(c) for c in ents[r["path"]]["chain"])]
    first = [r["path"] for r in dirs if same(r["record"])]
    lost = []
    for r in dirs:
        if r["path"] in first:
            continue
        chain = ents[r["path"]]["chain"]
        rest = sum(same(c) for c in chain[1:])
        lost.append(f"{r['path']} ({r['state']}" + (f"; {rest} of its {len(chain) - 1} later clusters left, "
                                                    f"entries without '.' and '..')" if rest else ")"))
    if len(first) * 2 < len(dirs):
        errs.append(f"only {len(first)} of {len(dirs)} old folders keep their first cluster")
    facts.append(f"old folders: {len(first)} of {len(dirs)} still have their first cluster ('.' and '..') "
                 f"unchanged, {len(whole)} all their clusters; overwritten: {', '.join(lost) or 'none'}")
    facts.append(f"clusters that start with '.' and '..' folder entries: {sig_count(old)} before the "
                 f"format, {sig_count(new)} after (the new volume's own folders included)")
    intact, part, none = [], [], []
    for r in rows:
        if r["kind"] != "file" or not r["record"]:
            continue
        chain = ents[r["path"]]["chain"]
        k = sum(same(c) for c in chain)
        if k == len(chain):
            intact.append(r["path"])
        elif k:
            part.append(f"{r['path']} ({r['state']}, {k} of {len(chain)} clusters left)")
        else:
            none.append(r["path"])
    by_dir = collections.Counter(x.rsplit("/", 1)[0] if "/" in x else "(root)" for x in none)
    facts.append(f"old files with data: {len(intact)} keep every cluster; overwritten in part: "
                 f"{'; '.join(part) or 'none'}; overwritten entirely: {len(none)} ("
                 + ", ".join(f"{n} in {d}" for d, n in sorted(by_dir.items())) + ")")
    frag = [r for r in rows if r["kind"] == "file" and r["fragments"] > 1]
    facts.append("old fragmented files (their chains went with the old FAT): " + "; ".join(
        f"{r['path']} ({r['state']}, {r['fragments']} runs: {describe_runs(ents[r['path']]['chain'])})"
        for r in frag))
    ntfsman.finish(errs, facts, a.report, "survivors")


def cmd_geometry(a):
    f = Fat(a.image, a.offset * 512)
    print(f"FAT{f.type}, {f.bps}-byte sectors, {f.cs}-byte clusters, {f.nclusters} clusters, "
          f"{f.reserved} reserved sectors, {f.nfats} FATs of {f.fatsz} sectors, "
          + (f"{f.rootents} root entries, " if f.type != 32 else f"root cluster {f.root_cluster}, ")
          + f"data from sector {f.first_data}, hidden sectors {f.hidden}, serial {f.serial:08X}, "
          f"label {f.label.decode('cp850').rstrip()!r}")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = ap.add_subparsers(dest="cmd", required=True)
    p = sub.add_parser("plan")
    p.add_argument("image")
    p.add_argument("stage")
    p = sub.add_parser("record")
    p.add_argument("image")
    p.add_argument("out")
    p.add_argument("--entries", required=True)
    p.add_argument("--scratch", help="empty folder: mtools copies the tree out there for a cross-check")
    p.add_argument("--punched", help="the list a punch step wrote (STAGE/punched.jsonl)")
    p = sub.add_parser("finalize")
    p.add_argument("image")
    p.add_argument("--pre", required=True)
    p.add_argument("--entries", required=True)
    p.add_argument("--deleted", required=True)
    p.add_argument("--created")
    p.add_argument("--out", required=True)
    p = sub.add_parser("verify")
    p.add_argument("image")
    p.add_argument("manifest")
    p.add_argument("--entries", required=True)
    p.add_argument("--offset", type=int, default=0, help="sector of the volume in the image")
    p.add_argument("--report")
    p.add_argument("--fragmented", action="append", default=[])
    p.add_argument("--lfn-exact", action="append", default=[])
    p.add_argument("--short-only", action="append", default=[])
    p.add_argument("--multi-cluster-dir", action="append", default=[])
    p.add_argument("--high", action="append", default=[])
    p = sub.add_parser("survivors")
    p.add_argument("old")
    p.add_argument("new")
    p.add_argument("manifest")
    p.add_argument("--after-format", help="the image right after the format, before the new files")
    p.add_argument("--entries", required=True)
    p.add_argument("--report")
    p = sub.add_parser("geometry")
    p.add_argument("image")
    p.add_argument("--offset", type=int, default=0)
    a = ap.parse_args()
    globals()["cmd_" + a.cmd.replace("-", "_")](a)


if __name__ == "__main__":
    main()
