#!/usr/bin/env python3
"""Checks of the partitioned test disks against their layout files.

  disk.py check DISK LAYOUT --table mbr|gpt|gpt-backup|zeroed|none --mmls MMLS [--report R]
  disk.py pattern FILE SECTORS SEED   bytes that are no file system: 64 sectors
                                      of seeded random bytes, then text lines

A layout file (<disk>.layout.tsv) is UTF-8, tab-separated, '#' lines are
comments (before the header), columns:

  partition      number as the table gives it (MBR: 1-4 primary, 5.. logical
                 in chain order, as sfdisk and Linux number them; GPT: entry
                 index + 1); 0 when the disk has no table
  type           MBR type byte as 0xNN, GPT type GUID (upper case), "-" without a table
  start_sector   first sector, absolute (512-byte sectors of the disk image)
  sectors        length in sectors
  filesystem     NTFS, FAT12, FAT16, FAT32, or none (nothing there: the MBR
                 extended partition, a partition of no known file system)

`check` compares the rows with what sfdisk (util-linux) and mmls (The Sleuth
Kit) read from the disk, and every row's first sector with its filesystem:
the kind of boot sector, FAT type by cluster count, and the hidden-sectors
field equal to the start sector.
"""
import argparse
import json
import os
import random
import re
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fat import Fat  # noqa: E402
from manifest import finish  # noqa: E402

COLUMNS = ["partition", "type", "start_sector", "sectors", "filesystem"]


def die(msg):
    sys.exit("disk.py: ERROR: " + msg)


def read_layout(path):
    with open(path, encoding="utf-8") as fh:
        lines = [l.rstrip("\n") for l in fh if not l.startswith("#")]
    if lines[0].split("\t") != COLUMNS:
        die(f"{path}: unexpected header {lines[0]}")
    rows = []
    for l in lines[1:]:
        r = dict(zip(COLUMNS, l.split("\t")))
        for c in ("partition", "start_sector", "sectors"):
            r[c] = int(r[c])
        rows.append(r)
    return rows


def sfdisk(disk):
    """(rows, stderr) as sfdisk reads the table; rows None when it finds none."""
    p = subprocess.run(["sfdisk", "--json", disk], capture_output=True, text=True)
    said = p.stderr.strip().replace(disk, os.path.basename(disk))
    if p.returncode != 0 or not p.stdout.strip():
        return None, said
    t = json.loads(p.stdout)["partitiontable"]
    rows = []
    for x in t.get("partitions", []):
        num = int(x["node"][len(disk):])
        typ = x["type"].upper() if t["label"] == "gpt" else f"0x{int(x['type'], 16):02x}"
        rows.append(dict(partition=num, type=typ, start_sector=x["start"], sectors=x["size"]))
    return rows, said


MMLS_RE = re.compile(r"^\d+:\s+(\S+)\s+(\d+)\s+(\d+)\s+(\d+)\s+(.*)$")


def read_mmls(path):
    out = []
    with open(path, encoding="utf-8") as fh:
        for line in fh:
            m = MMLS_RE.match(line.rstrip("\n"))
            if m:
                slot, start, _end, length, desc = m.groups()
                out.append(dict(slot=slot, start=int(start), length=int(length), desc=desc))
    return out


def identify(disk, start):
    """(file system by its boot sector, hidden-sectors field)"""
    with open(disk, "rb") as fh:
        fh.seek(start * 512)
        b = fh.read(512)
    hidden = struct.unpack_from("<I", b, 28)[0]
    if b[510:512] != b"\x55\xaa":
        return "none", None
    if b[3:11] == b"NTFS    ":
        return "NTFS", hidden
    try:
        return f"FAT{Fat(disk, start * 512).type}", hidden
    except SystemExit:
        return "none", None


def cmd_check(a):
    rows = read_layout(a.layout)
    errs, facts = [], []
    size = os.path.getsize(a.disk) // 512
    for r in rows:
        if r["start_sector"] + r["sectors"] > size:
            errs.append(f"partition {r['partition']} runs past the end of the disk")
        if r["type"] in ("0x05", "0x0f", "0x85"):
            continue
        fs, hidden = identify(a.disk, r["start_sector"])
        if fs != r["filesystem"]:
            errs.append(f"partition {r['partition']}: boot sector says {fs}, layout {r['filesystem']}")
        elif fs != "none" and hidden != r["start_sector"]:
            errs.append(f"partition {r['partition']}: hidden sectors {hidden}, start {r['start_sector']}")
    facts.append("boot sectors: " + "; ".join(
        f"{r['partition']}: {r['filesystem']}" + ("" if r["filesystem"] == "none" else
                                                   f" (hidden sectors {r['start_sector']})")
        for r in rows if r["type"] not in ("0x05", "0x0f", "0x85")))

    parts, serr = sfdisk(a.disk)
    mmls = read_mmls(a.mmls)
    with open(a.disk, "rb") as fh:
        head = fh.read(1024)
        fh.seek((size - 1) * 512)
        last = fh.read(512)
    if a.table in ("mbr", "gpt", "gpt-backup"):
        want = [{c: r[c] for c in ("partition", "type", "start_sector", "sectors")} for r in rows]
        if parts != want:
            errs.append(f"sfdisk reads {parts}, layout {want}")
        else:
            facts.append(f"sfdisk --json: the same {len(parts)} partitions (number, type, start, size)"
                         + (f"; it says: {serr}" if serr else ""))
    if a.table == "mbr":
        got = [(m["start"], m["length"]) for m in mmls if re.fullmatch(r"\d+:\d+", m["slot"])]
        ext = [(m["start"], m["length"]) for m in mmls if "Extended (0x" in m["desc"]]
        want = [(r["start_sector"], r["sectors"]) for r in rows if r["type"] not in ("0x05", "0x0f", "0x85")]
        want_ext = [(r["start_sector"], r["sectors"]) for r in rows if r["type"] in ("0x05", "0x0f", "0x85")]
        types = [m["desc"][-5:-1] for m in mmls if re.fullmatch(r"\d+:\d+", m["slot"])]
        if got != want or types != [r["type"] for r in rows if r["type"] not in ("0x05", "0x0f", "0x85")]:
            errs.append(f"mmls partitions {got} {types} != layout {want}")
        if want_ext and (not ext or ext[0] != want_ext[0]):
            errs.append(f"mmls extended {ext[:1]} != layout {want_ext}")
        facts.append(f"mmls: the same {len(got)} partitions, in order, with their type bytes"
                     + (f"; the extended partition, and {len(ext) - 1} EBR link(s) to a further logical partition" if ext else ""))
    elif a.table == "gpt":
        got = [(m["start"], m["length"]) for m in mmls if re.fullmatch(r"\d+", m["slot"])]
        want = [(r["start_sector"], r["sectors"]) for r in rows]
        if got != want:
            errs.append(f"mmls partitions {got} != layout {want}")
        facts.append(f"mmls: the same {len(got)} partitions, in order")
    elif a.table == "gpt-backup":
        if head[512:1024] != bytes(512):
            errs.append("LBA 1 is not zeroed")
        if last[0:8] != b"EFI PART" or struct.unpack_from("<Q", last, 24)[0] != size - 1:
            errs.append("no backup GPT header in the last sector")
        if head[0x1C2] != 0xEE:
            errs.append("the protective MBR is gone")
        got = [m["desc"] for m in mmls if re.fullmatch(r"\d+:\d+", m["slot"])]
        facts.append(f"LBA 1 zeroed, protective MBR kept, backup header at LBA {size - 1} "
                     f"(its entries from LBA {struct.unpack_from('<Q', last, 72)[0]}); mmls sees only "
                     f"the protective MBR: {got}")
    elif a.table in ("zeroed", "none"):
        if a.table == "zeroed" and head[0:512] != bytes(512):
            errs.append("sector 0 is not zeroed")
        if parts:
            errs.append(f"sfdisk still finds partitions: {parts}")
        if mmls:
            errs.append("mmls still finds a table")
        said = ("an empty DOS table (sector 0 ends in 55 AA), no partitions" if parts is not None
                else f"no table ({serr or 'nothing printed'})")
        facts.append(("sector 0 zeroed; " if a.table == "zeroed" else "") +
                     f"sfdisk finds {said}; mmls finds no table")
    finish(errs, facts, a.report, "layout")


def cmd_pattern(a):
    r = random.Random(a.seed)
    out = bytearray(r.randbytes(64 * 512))
    for s in range(64, a.sectors):
        line = f"sector {s:08d} of a partition that holds no file system ({a.seed}) ".encode()
        out += (line * (512 // len(line) + 1))[:511] + b"\n"
    for s in range(a.sectors):
        if out[s * 512 + 510:s * 512 + 512] == b"\x55\xaa":
            die(f"pattern: sector {s} ends in 55 AA; pick another seed")
    with open(a.file, "wb") as fh:
        fh.write(out)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    sub = ap.add_subparsers(dest="cmd", required=True)
    p = sub.add_parser("check")
    p.add_argument("disk")
    p.add_argument("layout")
    p.add_argument("--table", required=True, choices=["mbr", "gpt", "gpt-backup", "zeroed", "none"])
    p.add_argument("--mmls", required=True)
    p.add_argument("--report")
    p = sub.add_parser("pattern")
    p.add_argument("file")
    p.add_argument("sectors", type=int)
    p.add_argument("seed")
    a = ap.parse_args()
    globals()["cmd_" + a.cmd](a)


if __name__ == "__main__":
    main()
