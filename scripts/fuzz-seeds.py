#!/usr/bin/env python3
"""Cuts fuzz seeds out of the unpacked test images: FILE records for the
record and run decoders, INDX blocks for the index walk. Seeds are named by
their content hash, so re-running adds nothing twice. Scan logs come from
the scan-log tests, which save real analyses of the images."""
import hashlib
import os
import pathlib
import subprocess
import sys
import tempfile

MAX_RECORDS = 400
MAX_BLOCKS = 120


def write(dirpath: pathlib.Path, data: bytes) -> None:
    dirpath.mkdir(parents=True, exist_ok=True)
    (dirpath / hashlib.sha1(data).hexdigest()).write_bytes(data)


def main() -> int:
    images = pathlib.Path(sys.argv[1])
    out = pathlib.Path(sys.argv[2])
    records, blocks = [], []
    for img in sorted(images.glob("*.img")):
        with img.open("rb") as f:
            offset = 0
            while True:
                chunk = f.read(1 << 20)
                if not chunk:
                    break
                for at in range(0, len(chunk), 512):
                    sig = chunk[at:at + 4]
                    if sig == b"FILE" and len(records) < MAX_RECORDS * 4:
                        records.append(chunk[at:at + 1024])
                    elif sig == b"INDX" and len(blocks) < MAX_BLOCKS * 4:
                        blocks.append(chunk[at:at + 4096])
                offset += len(chunk)
    # Spread the picks over what was found rather than taking the first ones.
    def spread(items, n):
        step = max(1, len(items) // n)
        return items[::step][:n]
    for r in spread(records, MAX_RECORDS):
        write(out / "fuzz_file_record", r)
        write(out / "fuzz_runs", r + b"\x00\x07")
    for b in spread(blocks, MAX_BLOCKS):
        write(out / "fuzz_index_block", b)
    # Small volumes: a boot sector followed by records and index blocks, as
    # a real volume lays them out.
    for img in sorted(images.glob("ntfs-*.img"))[:2]:
        with img.open("rb") as f:
            head = f.read(4096)
        if head[3:7] == b"NTFS":
            for i in range(0, min(len(records), 64), 8):
                write(out / "fuzz_ntfs_volume", head + b"".join(records[i:i + 8]) + (blocks[i // 8] if blocks else b""))
    partition_seeds(images, out)
    lznt1_seeds(images, out)
    # FAT volumes: their first 64 KiB hold the boot sector, the FATs and the
    # first directories of the small test images.
    for img in sorted(images.glob("fat*.img")):
        with img.open("rb") as f:
            write(out / "fuzz_fat_volume", f.read(64 * 1024))
    scan_log_seeds(images, out)
    # Rich text: hand-written documents of what the reader knows.
    for doc in sorted((pathlib.Path(__file__).parent.parent / "fuzz" / "rtf-seeds").glob("*.rtf")):
        write(out / "fuzz_rtf", doc.read_bytes())
    return 0


def scan_log_seeds(images: pathlib.Path, out: pathlib.Path) -> None:
    """Logs of NTFS and FAT analyses, of partition searches and a hand-made
    one with every record kind, as the test binary beside the images saves
    them."""
    tests = images.parent / "dravik_tests"
    if not tests.exists():
        print("fuzz-seeds: no test binary, no scan-log seeds", file=sys.stderr)
        return
    with tempfile.TemporaryDirectory() as saved:
        env = dict(os.environ, DRAVIK_SCAN_LOG_SEEDS=saved)
        subprocess.run([str(tests), "--gtest_filter=*ScanLogRoundTrip*:*ScanLogNames*:*PartitionSearchLog*:*HandMadeLog*"],
                       env=env, stdout=subprocess.DEVNULL, check=True)
        for log in sorted(pathlib.Path(saved).iterdir()):
            write(out / "fuzz_scan_log", log.read_bytes())


def lznt1_seeds(images: pathlib.Path, out: pathlib.Path) -> None:
    """Compressed units of the compressed image: clusters that start with a
    compressed chunk header (signature 3, bit 15), 16 KiB from each, behind
    the harness's output-size byte; and a few hostile chunks by hand."""
    found = 0
    img = images / "ntfs-compressed.img"
    if img.exists():
        data = img.read_bytes()
        for at in range(0, len(data) - 16384, 4096):
            h = data[at] | (data[at + 1] << 8)
            if h & 0xF000 == 0xB000 and data[at:at + 4] not in (b"FILE", b"INDX"):
                write(out / "fuzz_lznt1", b"\xff" + data[at:at + 16384])
                found += 1
                if found >= 40:
                    break
    for seed in (b"\x0f\x05\xb0\x08abc\xfa\x2f",      # "abc" repeated to 4096
                 b"\x0f\xff\xbfab",                   # a length past the unit
                 b"\x0f\x02\xb0\x01\x00\x00",          # a reference before the start
                 b"\x0f\x00\x00\x05\xb0abcdef"):       # a header of 0
        write(out / "fuzz_lznt1", seed)


def partition_seeds(images: pathlib.Path, out: pathlib.Path) -> None:
    """Small disks for the partition walk: an MBR with an extended chain, a
    GPT with its backup copy, and the first sectors of every image."""
    import struct

    def disk(sectors: int) -> bytearray:
        return bytearray(512 * sectors)

    def entry(d: bytearray, sector: int, e: int, kind: int, first: int, count: int) -> None:
        at = sector * 512 + 446 + 16 * e
        d[at + 4] = kind
        struct.pack_into("<II", d, at + 8, first, count)
        d[sector * 512 + 510:sector * 512 + 512] = b"\x55\xaa"

    def boot(d: bytearray, sector: int, kind: str, total: int) -> None:
        at = sector * 512
        if kind == "NTFS":
            d[at + 3:at + 11] = b"NTFS    "
            struct.pack_into("<Q", d, at + 40, total)
        else:
            off = at + (82 if kind == "FAT32" else 54)
            d[off:off + 8] = (kind + "   ").encode()
            struct.pack_into("<I", d, at + 32, total)
        d[at + 510:at + 512] = b"\x55\xaa"

    mbr = disk(64)
    entry(mbr, 0, 0, 0x07, 8, 8)
    boot(mbr, 8, "NTFS", 8)
    entry(mbr, 0, 1, 0x0F, 20, 40)
    entry(mbr, 20, 0, 0x06, 2, 4)
    boot(mbr, 22, "FAT16", 4)
    entry(mbr, 20, 1, 0x05, 10, 20)
    entry(mbr, 30, 0, 0x0B, 2, 4)
    boot(mbr, 32, "FAT32", 4)
    write(out / "fuzz_partition_walk", bytes(mbr))

    gpt = disk(128)
    entry(gpt, 0, 0, 0xEE, 1, 127)
    for header, array in ((1, 2), (127, 95)):
        at = header * 512
        gpt[at:at + 8] = b"EFI PART"
        struct.pack_into("<I", gpt, at + 84, 128)
        for k, first in enumerate((40, 50)):
            e = array * 512 + 128 * k
            gpt[e:e + 16] = bytes(range(1, 17))
            struct.pack_into("<QQ", gpt, e + 32, first, first + 8)
    boot(gpt, 40, "FAT32", 8)
    boot(gpt, 50, "NTFS", 8)
    write(out / "fuzz_partition_walk", bytes(gpt))

    for img in sorted(images.glob("*.img")):
        with img.open("rb") as f:
            write(out / "fuzz_partition_walk", f.read(65536))


if __name__ == "__main__":
    sys.exit(main())
