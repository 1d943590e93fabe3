#!/usr/bin/env python3
"""Counts the files of a manifest (path<TAB>size<TAB>md5, '#' lines ignored)
found byte-exact at their path under a recovery folder. Only non-empty files
count. Prints "exact=N total=N percent=P"."""
import hashlib
import pathlib
import sys


def md5(p: pathlib.Path) -> str:
    h = hashlib.md5()
    with p.open("rb") as f:
        for b in iter(lambda: f.read(1 << 20), b""):
            h.update(b)
    return h.hexdigest()


def main() -> int:
    out, manifest = pathlib.Path(sys.argv[1]), pathlib.Path(sys.argv[2])
    exact = total = 0
    for line in manifest.read_text(encoding="utf-8").splitlines():
        if not line or line.startswith("#"):
            continue
        path, size, digest = line.split("\t")[:3]
        if int(size) == 0:
            continue
        total += 1
        p = out / path.lstrip("/")
        if p.is_file() and p.stat().st_size == int(size) and md5(p) == digest:
            exact += 1
    print(f"exact={exact} total={total} percent={100.0 * exact / max(total, 1):.1f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
