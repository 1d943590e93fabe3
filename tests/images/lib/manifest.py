#!/usr/bin/env python3
"""Manifests of the NTFS test images, and their checks.

A manifest (<image>.manifest.tsv) is UTF-8, tab-separated, with one header
line naming the columns:

  path      relative to the volume root, '/'-separated, no leading slash; an
            alternate data stream is "file:stream"
  kind      file | dir | stream
  size      bytes of the unnamed $DATA (file), of the stream (stream), 0 (dir)
  md5       hex md5 of those bytes, "-" for a dir
  mtime     $STANDARD_INFORMATION last write, creation and last access times
  crtime    as FILETIME (100 ns units since 1601-01-01 UTC), in decimal; a
  atime     stream row repeats the times of its file
  record    MFT record number (of the base record)
  parent    MFT record number of the parent folder (5 = root)
  fragments physically contiguous pieces of the data (runs that follow each
            other on disk count once; sparse runs don't count); 0 if resident
            or empty; for a stream row, those of the stream; "-" for a dir
  attrlist  y if the record has an $ATTRIBUTE_LIST, else n
  state     live | deleted | reused (deleted, and its MFT record now belongs
            to another item, which has its own live row with that record)

Where the values come from.  `record` runs on the finished volume before
anything is deleted: it walks a read-only ntfs-3g mount (names, inode =
record number, contents, xattr system.ntfs_times, streams as user.* xattrs)
and checks every value against the $MFT decoded here from the image.
`finalize` runs after the deletions: rows that vanished from the mount
become deleted or reused, new items are added as live rows.  The times in a
manifest are the ones on disk in the final image, with one exception: a
folder's times change when entries are added to or removed from it, so the
times of every folder (live or deleted) are re-read from the final image; a
file's times must not change at all (finalize fails if they do).  A reused
row keeps the times it had before deletion, since its record now holds
another item.  `verify` checks a manifest against The Sleuth Kit (fls,
icat, istat), which reads the image independently of both ntfs-3g and this
file.
"""
import argparse
import collections
import datetime
import hashlib
import os
import re
import struct
import subprocess
import sys
from concurrent.futures import ThreadPoolExecutor

COLUMNS = ["path", "kind", "size", "md5", "mtime", "crtime", "atime", "record",
           "parent", "fragments", "attrlist", "state"]
FIRST_USER_RECORD = 24      # 16..23 are reserved by mkntfs, 24..26 are $Extend files
MASK48 = (1 << 48) - 1


def die(msg):
    sys.exit("manifest.py: ERROR: " + msg)


# --------------------------------------------------------------------------
# $MFT decoding


def decode_runs(b, off, end):
    """[(vcn, lcn or None for sparse, length)] of a mapping-pairs array."""
    runs, lcn, vcn = [], 0, 0
    while off < end and b[off]:
        h = b[off]
        nl, no = h & 0xF, h >> 4
        ln = int.from_bytes(b[off + 1:off + 1 + nl], "little")
        if no:
            lcn += int.from_bytes(b[off + 1 + nl:off + 1 + nl + no], "little", signed=True)
            runs.append((vcn, lcn, ln))
        else:
            runs.append((vcn, None, ln))
        vcn += ln
        off += 1 + nl + no
    return runs


class Attr:
    __slots__ = ("type", "name", "nonres", "value", "svcn", "runs", "dsize", "rec", "id")


class Record:
    __slots__ = ("no", "ok", "in_use", "is_dir", "base", "seq", "attrs")


class Entity:
    """A base record with the attributes of its extension records."""

    def __init__(self, rec):
        self.rec = rec
        self.attrs = []
        self.attrlist = False
        self.al_records = set()
        self.unlisted = set()

    def names(self):
        out = []
        for a in self.attrs:
            if a.type == 0x30 and not a.nonres and len(a.value) >= 0x42:
                v = a.value
                parent = struct.unpack_from("<Q", v, 0)[0] & MASK48
                n, ns = v[0x40], v[0x41]
                out.append((parent, v[0x42:0x42 + 2 * n].decode("utf-16-le", "replace"), ns))
        return out

    def si_times(self):
        for a in self.attrs:
            if a.type == 0x10 and not a.nonres:
                cr, mt, ch, at = struct.unpack_from("<4Q", a.value, 0)
                return cr, mt, at
        return None

    def streams(self):
        """{stream name ('' = unnamed): (size, resident, runs sorted by vcn)}"""
        ext = collections.defaultdict(list)
        for a in self.attrs:
            if a.type == 0x80:
                ext[a.name].append(a)
        out = {}
        for name, parts in ext.items():
            parts.sort(key=lambda a: a.svcn if a.nonres else 0)
            first = parts[0]
            if not first.nonres:
                out[name] = (len(first.value), True, [])
            else:
                out[name] = (first.dsize, False, [r for p in parts for r in p.runs])
        return out

    def index_root_records(self):
        return sorted({a.rec for a in self.attrs if a.type == 0x90 and a.name == "$I30"})


def fragments(runs):
    """(contiguous pieces, raw non-sparse runs)"""
    pieces = raw = 0
    prev_end = None
    for _vcn, lcn, ln in runs:
        if lcn is None:
            prev_end = None
            continue
        raw += 1
        if lcn != prev_end:
            pieces += 1
        prev_end = lcn + ln
    return pieces, raw


class Volume:
    def __init__(self, path):
        self.fh = open(path, "rb")
        boot = self.fh.read(512)
        if boot[3:11] != b"NTFS    ":
            die(f"{path}: no NTFS boot sector at offset 0")
        self.bps = struct.unpack_from("<H", boot, 0x0B)[0]
        spc = boot[0x0D]
        spc = spc if spc <= 0x80 else 1 << (256 - spc)
        self.cs = self.bps * spc
        mft_lcn = struct.unpack_from("<Q", boot, 0x30)[0]
        cpr = struct.unpack_from("<b", boot, 0x40)[0]
        self.rsz = cpr * self.cs if cpr > 0 else 1 << -cpr
        self.fh.seek(mft_lcn * self.cs)
        r0 = self.parse(0, bytearray(self.fh.read(self.rsz)))
        data = [a for a in r0.attrs if a.type == 0x80 and a.name == ""]
        if not r0.ok or len(data) != 1 or any(a.type == 0x20 for a in r0.attrs):
            die("$MFT record 0 is unreadable or has an attribute list (not handled)")
        raw = self.read_runs(data[0].runs, data[0].dsize)
        self.records = {}
        for no in range(len(raw) // self.rsz):
            rec = self.parse(no, bytearray(raw[no * self.rsz:(no + 1) * self.rsz]))
            if rec is not None:
                self.records[no] = rec
        self.ext_by_base = collections.defaultdict(list)
        for no, rec in self.records.items():
            if rec.base and rec.ok:
                self.ext_by_base[rec.base].append(no)
        self.entities = {}
        for no, rec in self.records.items():
            if rec.base == 0 and rec.ok:
                self.entities[no] = self.assemble(rec)

    def read_runs(self, runs, size):
        out = bytearray()
        for _vcn, lcn, ln in runs:
            if lcn is None:
                out += bytes(ln * self.cs)
            else:
                self.fh.seek(lcn * self.cs)
                out += self.fh.read(ln * self.cs)
        return bytes(out[:size])

    def parse(self, no, r):
        if r[:4] != b"FILE":
            return None
        rec = Record()
        rec.no, rec.ok = no, True
        usa_ofs, usa_cnt = struct.unpack_from("<HH", r, 4)
        usa = r[usa_ofs:usa_ofs + 2 * usa_cnt]
        for i in range(1, usa_cnt):
            if r[i * 512 - 2:i * 512] != usa[0:2]:
                rec.ok = False
            r[i * 512 - 2:i * 512] = usa[2 * i:2 * i + 2]
        rec.seq = struct.unpack_from("<H", r, 0x10)[0]
        flags = struct.unpack_from("<H", r, 0x16)[0]
        rec.in_use, rec.is_dir = bool(flags & 1), bool(flags & 2)
        rec.base = struct.unpack_from("<Q", r, 0x20)[0] & MASK48
        rec.attrs = []
        off = struct.unpack_from("<H", r, 0x14)[0]
        while off + 16 <= self.rsz:
            typ, ln = struct.unpack_from("<II", r, off)
            if typ == 0xFFFFFFFF or ln < 16 or off + ln > self.rsz:
                break
            a = Attr()
            a.type, a.rec = typ, no
            a.nonres, nlen = r[off + 8], r[off + 9]
            noff = struct.unpack_from("<H", r, off + 10)[0]
            a.id = struct.unpack_from("<H", r, off + 14)[0]
            a.name = r[off + noff:off + noff + 2 * nlen].decode("utf-16-le", "replace")
            if a.nonres:
                a.svcn = struct.unpack_from("<Q", r, off + 16)[0]
                rl = struct.unpack_from("<H", r, off + 32)[0]
                a.dsize = struct.unpack_from("<Q", r, off + 48)[0]
                a.runs = [(v + a.svcn, l, n) for v, l, n in decode_runs(r, off + rl, off + ln)]
                a.value = None
            else:
                vlen = struct.unpack_from("<I", r, off + 16)[0]
                voff = struct.unpack_from("<H", r, off + 20)[0]
                a.value = bytes(r[off + voff:off + voff + vlen])
                a.svcn, a.runs, a.dsize = 0, [], vlen
            rec.attrs.append(a)
            off += ln
        return rec

    def assemble(self, rec):
        ent = Entity(rec)
        al = [a for a in rec.attrs if a.type == 0x20]
        if not al:
            ent.attrs = list(rec.attrs)
            return ent
        ent.attrlist = True
        a = al[0]
        raw = a.value if not a.nonres else self.read_runs(a.runs, a.dsize)
        off = 0
        while off + 26 <= len(raw):
            ln = struct.unpack_from("<H", raw, off + 4)[0]
            if ln < 26:
                break
            ent.al_records.add(struct.unpack_from("<Q", raw, off + 16)[0] & MASK48)
            off += ln
        wanted = ent.al_records | {rec.no}
        if not rec.in_use:
            # ntfs-3g deletes attribute by attribute: the list of a deleted
            # base record may no longer name an extension record that still
            # holds the rest of the runlist
            ent.unlisted = {x for x in self.ext_by_base.get(rec.no, [])
                            if x not in wanted and not self.records[x].in_use}
            wanted |= ent.unlisted
        for no in sorted(wanted):
            x = self.records.get(no)
            if x is None or not x.ok:
                continue
            if no != rec.no and x.base != rec.no:
                continue
            ent.attrs.extend(x.attrs)
        return ent

    def path_of(self, no, depth=0):
        if no == 5:
            return ""
        ent = self.entities.get(no)
        if ent is None or depth > 64:
            return None
        nm = [n for n in ent.names() if n[2] != 2]
        if not nm:
            return None
        pp = self.path_of(nm[0][0], depth + 1)
        if pp is None:
            return None
        return nm[0][1] if pp == "" else pp + "/" + nm[0][1]


# --------------------------------------------------------------------------
# walking a read-only mount


def md5_file(p):
    h = hashlib.md5()
    with open(p, "rb") as fh:
        for chunk in iter(lambda: fh.read(1 << 20), b""):
            h.update(chunk)
    return h.hexdigest()


def walk_mount(vol, mnt):
    """Rows (dicts) of everything under the mount, checked against the $MFT."""
    rows = []
    errors = []

    def visit(rel, parent_ino):
        full = os.path.join(mnt, rel) if rel else mnt
        for name in sorted(os.listdir(full)):
            if not rel and name.startswith("$"):
                continue
            r = name if not rel else rel + "/" + name
            p = os.path.join(mnt, r)
            st = os.lstat(p)
            ino = st.st_ino
            is_dir = os.path.isdir(p)
            cr, mt, at, _change = struct.unpack("<4Q", os.getxattr(p, "system.ntfs_times"))
            ent = vol.entities.get(ino)
            if ent is None or not ent.rec.in_use:
                errors.append(f"{r}: inode {ino} is not an in-use base record")
                continue
            if (parent_ino, name) not in {(n[0], n[1]) for n in ent.names()}:
                errors.append(f"{r}: record {ino} has no $FILE_NAME {name!r} in {parent_ino}")
            if ent.si_times() != (cr, mt, at):
                errors.append(f"{r}: ntfs_times {(cr, mt, at)} != $STANDARD_INFORMATION {ent.si_times()}")
            if ent.rec.is_dir != is_dir:
                errors.append(f"{r}: directory flag differs")
            streams = ent.streams()
            row = dict(path=r, kind="dir" if is_dir else "file", size=0, md5="-",
                       mtime=mt, crtime=cr, atime=at, record=ino, parent=parent_ino,
                       fragments="-", attrlist="y" if ent.attrlist else "n", state="live")
            if not is_dir:
                size, resident, runs = streams.get("", (0, True, []))
                if size != st.st_size:
                    errors.append(f"{r}: $DATA size {size} != st_size {st.st_size}")
                pieces, raw = fragments(runs)
                if pieces != raw:
                    print(f"note: {r}: {raw} runs form {pieces} contiguous pieces", file=sys.stderr)
                row.update(size=st.st_size, md5=md5_file(p), fragments=0 if resident else pieces)
            rows.append(row)
            for x in sorted(os.listxattr(p)):
                if not x.startswith("user."):
                    continue
                sname = x[5:]
                val = os.getxattr(p, x)
                if sname not in streams:
                    errors.append(f"{r}: stream {sname!r} not in the $MFT")
                    continue
                ssize, sres, sruns = streams[sname]
                if ssize != len(val):
                    errors.append(f"{r}:{sname}: size {len(val)} != {ssize}")
                rows.append(dict(row, path=r + ":" + sname, kind="stream", size=len(val),
                                 md5=hashlib.md5(val).hexdigest(),
                                 fragments=0 if sres else fragments(sruns)[0]))
            named = {s for s in streams if s} - {x[5:] for x in os.listxattr(p) if x.startswith("user.")}
            if named and not is_dir:
                errors.append(f"{r}: streams {sorted(named)} not seen through the mount")
            if is_dir:
                visit(r, ino)

    visit("", 5)
    if errors:
        for e in errors[:50]:
            print("  " + e, file=sys.stderr)
        die(f"{len(errors)} mismatches between the mount and the $MFT")
    return rows


def write_tsv(path, rows, columns=COLUMNS):
    with open(path, "w", encoding="utf-8", newline="\n") as fh:
        fh.write("\t".join(columns) + "\n")
        for r in sorted(rows, key=lambda r: (r["path"], r["state"] != "live")):
            fh.write("\t".join(str(r[c]) for c in columns) + "\n")


def read_tsv(path, columns=COLUMNS):
    """Rows of a manifest with the numbers as ints ("-" fragments stay)."""
    with open(path, encoding="utf-8") as fh:
        head = fh.readline().rstrip("\n").split("\t")
        if head != columns:
            die(f"{path}: unexpected header {head}")
        rows = []
        for line in fh:
            v = line.rstrip("\n").split("\t")
            rows.append(dict(zip(columns, v)))
    for r in rows:
        for c in ("size", "mtime", "crtime", "atime", "record", "parent"):
            r[c] = int(r[c])
        if r["fragments"] != "-":
            r["fragments"] = int(r["fragments"])
    return rows


# --------------------------------------------------------------------------
# commands


def cmd_punch_list(a):
    """Every other live file under PREFIX, in the order of their first cluster."""
    vol = Volume(a.image)
    files = []
    for no, ent in vol.entities.items():
        if not ent.rec.in_use or ent.rec.is_dir or no < FIRST_USER_RECORD:
            continue
        p = vol.path_of(no)
        if p is None or not p.startswith(a.prefix):
            continue
        size, res, runs = ent.streams().get("", (0, True, []))
        real = [r for r in runs if r[1] is not None]
        if real:
            files.append((real[0][1], p))
    files.sort()
    for i, (_lcn, p) in enumerate(files):
        if i % 2 == 1:
            print(p)
    print(f"punch-list: {len(files)} files under {a.prefix}, {len(files) // 2} to punch", file=sys.stderr)


def cmd_record(a):
    vol = Volume(a.image)
    rows = walk_mount(vol, a.mount)
    write_tsv(a.out, rows)
    print(f"record: {len(rows)} rows -> {a.out}", file=sys.stderr)


def cmd_finalize(a):
    vol = Volume(a.image)
    pre = {r["path"]: r for r in read_tsv(a.pre)}
    now = {r["path"]: r for r in walk_mount(vol, a.mount)}
    deleted_roots = [l.rstrip("\n") for l in open(a.deleted, encoding="utf-8") if l.strip()]
    created = {l.rstrip("\n") for l in open(a.created, encoding="utf-8") if l.strip()}

    def under_deleted(p):
        base = p.split(":")[0]
        return any(base == d or base.startswith(d + "/") for d in deleted_roots)

    gone = set(pre) - set(now)
    expected_gone = {p for p in pre if under_deleted(p)}
    errs = []
    if gone != expected_gone:
        errs.append(f"vanished but not deleted on purpose: {sorted(gone - expected_gone)[:10]}; "
                    f"meant to be deleted but still there: {sorted(expected_gone - gone)[:10]}")
    if set(now) - set(pre) != created:
        errs.append(f"new items {sorted(set(now) - set(pre))[:10]} != created {sorted(created)[:10]}")
    by_record = {r["record"]: r for r in now.values() if r["kind"] != "stream"}
    out = []
    for p, r in pre.items():
        if p in now:
            n = now[p]
            for c in ("kind", "size", "md5", "record", "parent", "fragments", "attrlist"):
                if n[c] != r[c]:
                    errs.append(f"{p}: {c} changed from {r[c]} to {n[c]}")
            if r["kind"] != "dir" and any(n[c] != r[c] for c in ("mtime", "crtime", "atime")):
                errs.append(f"{p}: file times changed")
            out.append(n)
            continue
        r = dict(r)
        owner = by_record.get(r["record"])
        if owner is not None:
            r["state"] = "reused"
        else:
            ent = vol.entities.get(r["record"])
            if ent is None or ent.rec.in_use:
                errs.append(f"{p}: record {r['record']} is not a free base record")
            else:
                times = ent.si_times()
                if r["kind"] == "dir":
                    r["crtime"], r["mtime"], r["atime"] = times
                elif times != (r["crtime"], r["mtime"], r["atime"]):
                    errs.append(f"{p}: times of the deleted file changed on disk")
            r["state"] = "deleted"
        out.append(r)
    for p in created:
        if p in now:
            out.append(now[p])
    if errs:
        for e in errs[:50]:
            print("  " + e, file=sys.stderr)
        die(f"finalize: {len(errs)} problems")
    write_tsv(a.out, out)
    c = collections.Counter((r["state"], r["kind"]) for r in out)
    print("finalize: " + ", ".join(f"{s}/{k}: {n}" for (s, k), n in sorted(c.items())), file=sys.stderr)


# --------------------------------------------------------------------------
# The Sleuth Kit as an oracle

FLS_RE = re.compile(r"^(\S+)\s+(\*\s+)?(\d+)(?:-(\d+)-(\d+))?(\(realloc\))?:\t(.*)$")
TSK_TIME_RE = re.compile(r"(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)\.(\d{9}) \(UTC\)")


def tsk(args, text=True):
    env = dict(os.environ, TZ="UTC")
    p = subprocess.run(args, capture_output=True, env=env)
    if p.returncode != 0:
        die(f"{' '.join(args)} failed: {p.stderr.decode(errors='replace')[:300]}")
    return p.stdout.decode("utf-8", "replace") if text else p.stdout


def tsk_filetime(s):
    m = TSK_TIME_RE.search(s)
    if not m:
        return None
    y, mo, d, h, mi, se, ns = (int(x) for x in m.groups())
    unix = int(datetime.datetime(y, mo, d, h, mi, se, tzinfo=datetime.timezone.utc).timestamp())
    return (unix + 11644473600) * 10**7 + ns // 100


def parse_istat(txt):
    """SI times, attribute-list entries and the cluster lists of each attribute."""
    info = {"times": {}, "al": [], "attrs": [], "allocated": None}
    m = re.search(r"^(Allocated|Not Allocated) (File|Directory)", txt, re.M)
    if m:
        info["allocated"] = m.group(1) == "Allocated"
    sect = None
    cur = None
    for line in txt.split("\n"):
        if line.startswith("$STANDARD_INFORMATION Attribute Values"):
            sect = "si"
        elif line.startswith("$FILE_NAME Attribute Values"):
            sect = "fn"
        elif line.startswith("$ATTRIBUTE_LIST Attribute Values"):
            sect = "al"
        elif line.startswith("Attributes:"):
            sect = "attrs"
        elif sect == "si":
            for key, col in (("Created:", "crtime"), ("File Modified:", "mtime"), ("Accessed:", "atime")):
                if line.startswith(key):
                    info["times"][col] = tsk_filetime(line)
        elif sect == "al":
            m = re.match(r"Type: (\d+)-(\d+)\s+MFT Entry: (\d+)\s+VCN: (\d+)", line)
            if m:
                info["al"].append(tuple(int(x) for x in m.groups()))
        elif sect == "attrs":
            m = re.match(r"Type: (\S+) \((\d+)-(\d+)\)\s+Name: (.*?)\s+(Resident|Non-Resident)", line)
            if m:
                cur = dict(type=int(m.group(2)), id=int(m.group(3)), name=m.group(4),
                           resident=m.group(5) == "Resident", clusters=[])
                info["attrs"].append(cur)
            elif cur is not None and re.match(r"^[\d ]+$", line) and line.strip():
                cur["clusters"] += [int(x) for x in line.split()]
    return info


def cluster_pieces(clusters):
    pieces, prev = 0, None
    for c in clusters:
        if c == 0:          # TSK prints sparse clusters as 0; cluster 0 is the boot sector
            prev = None
            continue
        if prev is None or c != prev + 1:
            pieces += 1
        prev = c
    return pieces


ATTR_NAMES = {0x10: "$STANDARD_INFORMATION", 0x20: "$ATTRIBUTE_LIST", 0x30: "$FILE_NAME",
              0x50: "$SECURITY_DESCRIPTOR", 0x80: "$DATA", 0x90: "$INDEX_ROOT",
              0xA0: "$INDEX_ALLOCATION", 0xB0: "$BITMAP"}


def describe_extensions(vol, no):
    """What each extension record of base record `no` holds."""
    ent = vol.entities[no]
    parts = []
    for x in sorted(set(vol.ext_by_base.get(no, [])) | (ent.al_records - {no})):
        rec = vol.records.get(x)
        if rec is None:
            continue
        held = ", ".join(ATTR_NAMES.get(a.type, hex(a.type)) + (f" from VCN {a.svcn}" if a.nonres and a.svcn else "")
                         for a in rec.attrs) or "nothing"
        listed = "listed" if x in ent.al_records else "not listed"
        parts.append(f"{x} ({listed}, {'in use' if rec.in_use else 'free'}): {held}")
    return "; ".join(parts)


def check_special(img, vol, rows, al_dirs, al_files):
    """Live items must have the property, checked here and by istat; for
    deleted ones, describe what is left on disk."""
    errs, facts = [], []
    by_path = {r["path"]: r for r in rows}
    for p in al_dirs + al_files:
        r = by_path.get(p)
        if r is None:
            errs.append(f"{p}: not in the manifest")
            continue
        no = r["record"]
        ent = vol.entities[no]
        info = parse_istat(tsk(["istat", img, str(no)]))
        if p in al_dirs:
            mine, typ, what = ent.index_root_records(), 144, "$INDEX_ROOT"
        else:
            mine = sorted({x.rec for x in ent.attrs if x.type == 0x80 and x.name == ""})
            typ, what = 128, "unnamed $DATA"
        theirs = sorted({e[2] for e in info["al"] if e[0] == typ})
        ext = describe_extensions(vol, no)
        extra = f", {r['fragments']} fragments" if p in al_files else ""
        if r["state"] == "live":
            ok = ent.attrlist and any(x != no for x in mine) and theirs == mine
            if p in al_dirs:
                ok = ok and no not in mine
            if not ok:
                errs.append(f"{p}: {what} in records {mine} (istat: {theirs}); wanted an extension record")
            else:
                facts.append(f"{p} (live, record {no}{extra}): $ATTRIBUTE_LIST; {what} in record(s) "
                             f"{mine} (istat agrees); extension records: {ext}")
        else:
            facts.append(f"{p} ({r['state']}, record {no}{extra}): left on disk: the base record's "
                         f"$ATTRIBUTE_LIST names {sorted(ent.al_records - {no})}; extension records: "
                         f"{ext}; istat finds {what} in {theirs}")
    return errs, facts


def finish(errs, facts, report, what):
    if report:
        with open(report, "w", encoding="utf-8") as fh:
            fh.write("\n".join(facts) + "\n")
    for f in facts:
        print(f"{what}: {f}", file=sys.stderr)
    if errs:
        for e in errs[:60]:
            print("  " + e, file=sys.stderr)
        die(f"{what}: {len(errs)} problems")


def cmd_special(a):
    """Before deletion: the attribute-list items must be as intended."""
    rows = read_tsv(a.manifest)
    errs, facts = check_special(a.image, Volume(a.image), rows, a.al_dir, a.al_file)
    finish(errs, facts, a.report, "special")


def bulk(path):
    return path.startswith("Fill/") or path.startswith("Big/")


def cmd_verify(a):
    img = a.image
    rows = read_tsv(a.manifest)
    vol = Volume(img)
    errs = []
    facts = []

    # fls: every live row by path and record, every deleted row by record and name
    fls_all = collections.defaultdict(list)
    by_inode = collections.defaultdict(list)
    for line in tsk(["fls", "-r", "-p", img]).split("\n"):
        m = FLS_RE.match(line)
        if not m:
            continue
        typ, star, ino, atype, aid, realloc, path = m.groups()
        e = dict(type=typ, deleted=bool(star), inode=int(ino),
                 attr=(int(atype), int(aid)) if atype else None, realloc=bool(realloc), path=path)
        fls_all[path].append(e)
        by_inode[int(ino)].append(e)
    live = [r for r in rows if r["state"] == "live"]
    gone = [r for r in rows if r["state"] != "live"]
    streams = []
    for r in live:
        ents = [e for e in fls_all.get(r["path"], []) if not e["deleted"]]
        if not ents:
            errs.append(f"fls does not list live {r['path']}")
            continue
        e = ents[0]
        if e["inode"] != r["record"]:
            errs.append(f"{r['path']}: fls inode {e['inode']} != record {r['record']}")
        if r["kind"] == "stream":
            if e["attr"] is None:
                errs.append(f"{r['path']}: fls shows no attribute id")
            else:
                streams.append((r, f"{r['record']}-{e['attr'][0]}-{e['attr'][1]}"))
    facts.append(f"fls -r -p: all {len(live)} live rows listed at their path with their record number")
    exact = elsewhere = 0
    unnamed = []
    for r in gone:
        if r["kind"] == "stream" or r["state"] == "reused":
            continue
        base = r["path"].rsplit("/", 1)[-1]
        cands = [e for e in by_inode.get(r["record"], []) if e["deleted"]]
        if any(e["path"] == r["path"] for e in cands):
            exact += 1
        elif any(e["path"].rsplit("/", 1)[-1] == base for e in cands):
            elsewhere += 1
        else:
            ent = vol.entities.get(r["record"])
            if ent is not None and not ent.names():
                unnamed.append(f"{r['path']} (record {r['record']})")
            else:
                errs.append(f"fls -d does not list deleted {r['path']} (record {r['record']})")
    ndel = len([r for r in gone if r["kind"] != "stream" and r["state"] != "reused"])
    facts.append(f"fls -r -p -d: of {ndel} deleted rows, {exact} are listed at their own path and "
                 f"{elsewhere} by record and name elsewhere (under $OrphanFiles or a reused parent)")
    if unnamed:
        facts.append(f"fls -d cannot list {len(unnamed)} deleted items whose records hold no $FILE_NAME "
                     f"any more (ntfs-3g removed it from an extension record): {', '.join(unnamed)}")
    known = {r["record"] for r in rows}
    extra = sorted({e["inode"] for l in fls_all.values() for e in l
                    if e["deleted"] and e["inode"] >= 64 and e["inode"] not in known})
    if extra:
        errs.append(f"fls -d lists deleted records that are not in the manifest: {extra[:20]}")

    # contents: every live file through tsk_recover, every live stream through icat
    out = os.path.join(a.scratch, "tsk_recover")
    tsk(["tsk_recover", "-a", img, out])
    nfiles = 0
    for r in live:
        if r["kind"] != "file":
            continue
        p = os.path.join(out, r["path"])
        if not os.path.exists(p):
            if r["size"]:
                errs.append(f"tsk_recover did not write {r['path']}")
            continue
        if md5_file(p) != r["md5"]:
            errs.append(f"tsk_recover {r['path']}: md5 differs")
        nfiles += 1
    for r, addr in streams:
        if hashlib.md5(tsk(["icat", img, addr], text=False)).hexdigest() != r["md5"]:
            errs.append(f"icat {addr} ({r['path']}): md5 differs")
    facts.append(f"tsk_recover -a / icat: md5 of {nfiles} live files (the empty ones are not written) "
                 f"and {len(streams)} streams match")

    # istat: times, attribute list and fragments of every row outside the bulk
    # folders, of every fragmented or attribute-list row, and of 1 in 10 others
    def istat(r):
        return r, parse_istat(tsk(["istat", img, str(r["record"])]))

    checked = [r for i, r in enumerate(rows) if r["state"] != "reused" and (
        not bulk(r["path"]) or r["attrlist"] == "y" or i % 10 == 0
        or (r["fragments"] != "-" and r["fragments"] >= 2))]
    nfrag = 0
    with ThreadPoolExecutor(max_workers=2) as ex:
        for r, info in ex.map(istat, checked):
            for c in ("crtime", "mtime", "atime"):
                if info["times"].get(c) != r[c]:
                    errs.append(f"istat {r['path']}: {c} {info['times'].get(c)} != {r[c]}")
            has_al = any(at["type"] == 32 for at in info["attrs"])
            if has_al != (r["attrlist"] == "y"):
                errs.append(f"istat {r['path']}: $ATTRIBUTE_LIST present={has_al}, manifest {r['attrlist']}")
            if r["kind"] == "dir":
                continue
            want = "N/A" if r["kind"] == "file" else r["path"].rsplit(":", 1)[1]
            data = [at for at in info["attrs"] if at["type"] == 128 and at["name"] == want]
            if not data:
                if r["size"]:
                    errs.append(f"istat {r['path']}: no $DATA {want}")
                continue
            got = 0 if all(at["resident"] for at in data) else \
                cluster_pieces([c for at in data for c in at["clusters"]])
            if got == r["fragments"]:
                nfrag += got > 1
            elif r["state"] == "deleted" and vol.entities[r["record"]].unlisted:
                facts.append(f"istat {r['path']} (deleted): finds {got} of its {r['fragments']} fragments: "
                             f"the rest are in extension records its $ATTRIBUTE_LIST no longer names "
                             f"({sorted(vol.entities[r['record']].unlisted)})")
            else:
                errs.append(f"istat {r['path']} ({r['state']}): {got} fragments, manifest {r['fragments']}")
    facts.append(f"istat: the times (to 100 ns), $ATTRIBUTE_LIST flag and fragment count of {len(checked)} "
                 f"of {len(rows)} rows match ({nfrag} with 2 or more fragments)"
                 + ("; unchecked: 9 in 10 unfragmented rows in Fill/ and Big/"
                    if any(bulk(r["path"]) for r in rows) else ""))

    e2, f2 = check_special(img, vol, rows, a.al_dir, a.al_file)
    errs += e2
    facts += f2
    by_path = {r["path"]: r for r in rows}
    for p in a.fragmented:
        r = by_path.get(p)
        if r is None or r["fragments"] == "-" or r["fragments"] < 2:
            errs.append(f"{p}: not fragmented ({r and r['fragments']})")
    for p in a.reused:
        r = by_path.get(p)
        if r is None or r["state"] != "reused":
            errs.append(f"{p}: not a reused row")
            continue
        new = [x for x in rows if x["record"] == r["record"] and x["state"] == "live"]
        info = parse_istat(tsk(["istat", img, str(r["record"])]))
        names = [e["path"] for e in by_inode.get(r["record"], []) if not e["deleted"]]
        if len(new) != 1 or not info["allocated"] or new[0]["path"] not in names:
            errs.append(f"{p}: record {r['record']} is not held by one new live item ({names})")
        else:
            kids = [x["path"] for x in rows if x["parent"] == r["record"] and x["state"] == "deleted"]
            facts.append(f"{p} ({r['kind']}, deleted): its record {r['record']} now holds the live "
                         f"{new[0]['kind']} {new[0]['path']} (istat: allocated; fls lists it there); "
                         f"{len(kids)} deleted entries still name {r['record']} as their parent")
    finish(errs, facts, a.report, "verify")


def cmd_ir_moved(a):
    """Exit status 0 if the live folder PATH has its $INDEX_ROOT only in extension records."""
    vol = Volume(a.image)
    for no, ent in vol.entities.items():
        if ent.rec.in_use and ent.rec.is_dir and no >= FIRST_USER_RECORD and vol.path_of(no) == a.path:
            irs = ent.index_root_records()
            print(f"{a.path}: record {no}, $INDEX_ROOT in {irs}", file=sys.stderr)
            sys.exit(0 if irs and no not in irs else 1)
    print(f"manifest.py: ERROR: {a.path}: no such live folder", file=sys.stderr)
    sys.exit(2)


# --------------------------------------------------------------------------
# what a signature scan can still find after a reformat


def fixed_up(buf, off):
    """(block with the update sequence applied, size) of the FILE or INDX block
    at off, or None if its update sequence does not match."""
    usa_ofs, usa_cnt = struct.unpack_from("<HH", buf, off + 4)
    size = (usa_cnt - 1) * 512
    if usa_cnt < 2 or size > 65536 or usa_ofs + 2 * usa_cnt > 512 or off + size > len(buf):
        return None
    b = bytearray(buf[off:off + size])
    usa = b[usa_ofs:usa_ofs + 2 * usa_cnt]
    for i in range(1, usa_cnt):
        if b[i * 512 - 2:i * 512] != usa[0:2]:
            return None
        b[i * 512 - 2:i * 512] = usa[2 * i:2 * i + 2]
    return b, size


def sector_hits(buf, magic):
    return [m.start() for m in re.finditer(re.escape(magic), buf) if m.start() % 512 == 0]


def scan_file_records(buf):
    """{offset: (header record number, base record, in use, [(parent, name)])}
    of every FILE record that starts on a sector boundary."""
    out = {}
    for off in sector_hits(buf, b"FILE"):
        if fixed_up(buf, off) is None:
            continue
        v = Volume.__new__(Volume)      # parse() applies the update sequence itself
        v.rsz = (struct.unpack_from("<H", buf, off + 6)[0] - 1) * 512
        rec = v.parse(0, bytearray(buf[off:off + v.rsz]))
        ent = Entity(rec)
        ent.attrs = rec.attrs
        no = struct.unpack_from("<I", buf, off + 0x2C)[0]
        out[off] = (no, rec.base or no, rec.in_use, [(p, n) for p, n, ns in ent.names() if ns != 2])
    return out


def scan_indx_parents(buf):
    """{offset: (size, parent records named by the entries)} of every INDX block
    of a folder index that starts on a sector boundary."""
    out = {}
    for off in sector_hits(buf, b"INDX"):
        fx = fixed_up(buf, off)
        if fx is None:
            continue
        b, size = fx
        first, used = struct.unpack_from("<II", b, 0x18)
        pos, end, parents = 0x18 + first, min(0x18 + used, size), set()
        while pos + 16 <= end:
            ln, klen, flags = struct.unpack_from("<HHH", b, pos + 8)
            if ln < 16 or flags & 2:
                break
            if klen >= 0x42:
                parents.add(struct.unpack_from("<Q", b, pos + 16)[0] & MASK48)
            pos += ln
        if parents:
            out[off] = size, parents
    return out


def cmd_survivors(a):
    """Which items of the old volume (MANIFEST, read from OLD) a sector-by-sector
    scan of NEW still finds after the reformat, and whose data are unchanged."""
    rows = [r for r in read_tsv(a.manifest) if r["kind"] != "stream"]
    with open(a.old, "rb") as fh:
        old = fh.read()
    with open(a.new, "rb") as fh:
        new = fh.read()
    vol = Volume(a.old)
    old_recs, new_recs = scan_file_records(old), scan_file_records(new)
    where_old = {(no, nm): off for off, (no, _base, _u, names) in old_recs.items() for nm in names}
    found = collections.defaultdict(list)
    for off, (no, base, _u, names) in new_recs.items():
        for nm in names:
            found[(base, nm)].append(off)
    facts, errs, lost = [], [], []
    kept = collections.Counter()
    for r in rows:
        key = (r["record"], (r["parent"], r["path"].rsplit("/", 1)[-1]))
        offs = found.get(key, [])
        if not offs:
            lost.append(r)
            continue
        kept[r["state"], r["kind"]] += 1
        o = where_old.get(key)
        if o is None or o not in offs:
            errs.append(f"{r['path']}: found at {offs}, but it was at {o} in the old volume")
        elif new[o:o + vol.rsz] != old[o:o + vol.rsz]:
            errs.append(f"{r['path']}: record at {o} differs from the old volume's")
    total = collections.Counter((r["state"], r["kind"]) for r in rows)
    n_found = sum(kept.values())
    facts.append(f"old FILE records: a scan of every sector of the final image for FILE records (update "
                 f"sequence checked) finds the record of {n_found} of the {len(rows)} old files and folders "
                 f"(matched by the record number in the header and a $FILE_NAME with the old parent and "
                 f"name), each at its old offset and byte-identical to the old volume's record; by state "
                 f"and kind: " + ", ".join(f"{s} {k} {kept[s, k]}/{n}" for (s, k), n in sorted(total.items())))
    facts.append(f"old FILE records lost ({len(lost)}): " + "; ".join(
        f"{r['path']} ({r['kind']}, {r['state']}, record {r['record']})" for r in sorted(lost, key=lambda r: r["record"])))
    facts.append(f"FILE records in the final image: {len(new_recs)} on sector boundaries "
                 f"({len(old_recs)} in the old volume before the reformat)")

    # data: clusters of every non-resident unnamed $DATA and stream, old against new
    intact, damaged = 0, []
    for r in read_tsv(a.manifest):
        if r["kind"] == "dir" or not r["fragments"]:
            continue
        ent = vol.entities[r["record"]]
        sname = r["path"].rsplit(":", 1)[1] if r["kind"] == "stream" else ""
        _size, _res, runs = ent.streams()[sname]
        bad = sum(ln for _v, lcn, ln in runs if lcn is not None and
                  new[lcn * vol.cs:(lcn + ln) * vol.cs] != old[lcn * vol.cs:(lcn + ln) * vol.cs])
        if bad:
            damaged.append(f"{r['path']} ({r['state']}, {bad} of {sum(l for _v, c, l in runs if c is not None)} clusters)")
        else:
            intact += 1
    facts.append(f"old non-resident data: {intact} of {intact + len(damaged)} files and streams have every "
                 f"cluster unchanged; overwritten in part or whole ({len(damaged)}): " + "; ".join(damaged))

    dirs = {r["record"] for r in rows if r["kind"] == "dir"} | {5}
    old_indx = {o: n for o, (n, p) in scan_indx_parents(old).items() if p <= dirs}
    same = [o for o, n in old_indx.items() if new[o:o + n] == old[o:o + n]]
    facts.append(f"INDX blocks of old folders (every entry's parent an old folder): {len(old_indx)} in the old "
                 f"volume, {len(same)} unchanged in the final image")
    finish(errs, facts, a.report, "survivors")


def cmd_scan(a):
    vol = Volume(a.image)
    for no in a.records:
        ent = vol.entities.get(no)
        if ent is None:
            print(no, "no base record")
            continue
        print(no, "in_use" if ent.rec.in_use else "free", "dir" if ent.rec.is_dir else "file",
              vol.path_of(no), "attrlist" if ent.attrlist else "", sorted(ent.al_records),
              {k: (v[0], v[1], fragments(v[2])) for k, v in ent.streams().items()},
              "index root in", ent.index_root_records())


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = ap.add_subparsers(dest="cmd", required=True)
    p = sub.add_parser("punch-list")
    p.add_argument("image")
    p.add_argument("prefix")
    p = sub.add_parser("record")
    p.add_argument("image")
    p.add_argument("mount")
    p.add_argument("out")
    p = sub.add_parser("finalize")
    p.add_argument("image")
    p.add_argument("mount")
    p.add_argument("--pre", required=True)
    p.add_argument("--deleted", required=True, help="paths removed (rm -r), one per line")
    p.add_argument("--created", required=True, help="paths created after the manifest, one per line")
    p.add_argument("--out", required=True)
    p = sub.add_parser("verify")
    p.add_argument("image")
    p.add_argument("manifest")
    p.add_argument("--al-dir", action="append", default=[])
    p.add_argument("--al-file", action="append", default=[])
    p.add_argument("--fragmented", action="append", default=[])
    p.add_argument("--reused", action="append", default=[])
    p.add_argument("--report")
    p.add_argument("--scratch", required=True, help="empty folder for tsk_recover output")
    p = sub.add_parser("special")
    p.add_argument("image")
    p.add_argument("manifest")
    p.add_argument("--al-dir", action="append", default=[])
    p.add_argument("--al-file", action="append", default=[])
    p.add_argument("--report")
    p = sub.add_parser("survivors")
    p.add_argument("old", help="the image before the reformat")
    p.add_argument("new", help="the final image")
    p.add_argument("manifest", help="manifest of the old volume")
    p.add_argument("--report")
    p = sub.add_parser("ir-moved")
    p.add_argument("image")
    p.add_argument("path")
    p = sub.add_parser("scan")
    p.add_argument("image")
    p.add_argument("records", type=int, nargs="+")
    a = ap.parse_args()
    globals()["cmd_" + a.cmd.replace("-", "_")](a)


if __name__ == "__main__":
    main()
