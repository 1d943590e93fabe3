#!/usr/bin/env python3
"""Cuts fuzz seeds out of the unpacked test images: FILE records for the
record and run decoders, INDX blocks for the index walk. Seeds are named by
their content hash, so re-running adds nothing twice."""
import hashlib
import pathlib
import sys

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
    return 0


if __name__ == "__main__":
    sys.exit(main())
