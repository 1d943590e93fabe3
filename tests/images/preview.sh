#!/bin/bash
# preview.sh -- builds preview.img, the FAT16 volume of the preview tests:
# files of every preview kind, live and deleted, and files that must not
# preview.
#
#   PICTURE.PNG   a 64x48 gradient (PNG written by python's zlib)
#   PHOTO.JPEG    a JPEG of the same picture: "JPEG" are its last four characters
#   PHOTO.JPE     the same bytes: ".JPE" is no picture kind
#   BADPIC.PNG    named a picture, holds text: decoding fails
#   BIG.BMP       a 3 MiB picture (1024x1024, 24 bits) for stopping a preview
#   NOTE.RTF      bold, italic, red and green text, Greek through \uN, 1252 bytes, centred
#   ARCHIVE.ZIP   four entries: stored, deflated, a UTF-8 name (bit 11) and a CP437 name
#   BROKEN.ZIP    ARCHIVE.ZIP with its central directory overwritten
#   README.TXT    text, for opening with its program
#   Docs/inner.txt  a folder row
#   DELPIC.PNG, DELNOTE.RTF  copies of PICTURE.PNG and NOTE.RTF, deleted (mdel)
#                 after the manifest was recorded; their clusters stay free
#
# 16 MiB, 2 KiB clusters, written by mtools (no mount), byte for byte
# reproducible: mkfs.fat --invariant with a pinned serial, SOURCE_DATE_EPOCH
# for mtools' times, the JPEG from ImageMagick with -strip.
# Needs mtools, dosfstools, ImageMagick (convert), xz.  Usage: preview.sh
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"

need_tools mkfs.fat fsck.fat mcopy mmd mdel convert xz md5sum "$PYTHON"
[ -n "${WORK:-}" ] || make_work
export SOURCE_DATE_EPOCH=1700000000 MTOOLS_SKIP_CHECK=1
IMG=$WORK/preview.img
FILES=$WORK/files
mkdir -p "$FILES/Docs"

"$PYTHON" - "$FILES" <<'PY'
import pathlib, struct, sys, zipfile, zlib
out = pathlib.Path(sys.argv[1])

def png(w, h):
    rows = b"".join(b"\0" + bytes(c for x in range(w) for c in (x * 4 % 256, y * 5 % 256, 160)) for y in range(h))
    def chunk(t, d):
        return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d) & 0xFFFFFFFF)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))

def bmp(w, h):
    row = bytes(c for x in range(w) for c in ((x // 4) % 256, 90, (x // 8) % 256))
    pixels = b"".join(row for _ in range(h))
    head = b"BM" + struct.pack("<IHHI", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return head + info + pixels

(out / "PICTURE.PNG").write_bytes(png(64, 48))
(out / "DELPIC.PNG").write_bytes(png(64, 48))
(out / "BADPIC.PNG").write_bytes(b"this is not a picture\n" * 20)
(out / "BIG.BMP").write_bytes(bmp(1024, 1024))
rtf = (r"{\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fswiss Arial;}{\f1\froman Times New Roman;}}"
       r"{\colortbl;\red255\green0\blue0;\red0\green128\blue0;}"
       "\r\n" r"{\*\generator preview.sh;}\pard\qc\f1\fs32\b Preview test\b0\par"
       "\r\n" r"\pard\f0\fs22 Plain, {\b bold}, {\i italic}, {\ul underlined}, {\cf1 red} and {\cf2 green}.\par"
       "\r\n" r"Greek: \u915?\u949?\u953?\u945? \u963?\u959?\u965?. Caf\'e9 \'80 5.\par"
       "\r\n" r"{\pict\pngblip 89504e470d0a1a0a}\pard\qr right aligned\par}" "\r\n").encode("ascii")
(out / "NOTE.RTF").write_bytes(rtf)
(out / "DELNOTE.RTF").write_bytes(rtf)

def info(name, when, method):
    i = zipfile.ZipInfo(name, date_time=when)
    i.compress_type = method
    i.external_attr = 0o644 << 16
    i.create_system = 0
    return i

with zipfile.ZipFile(out / "ARCHIVE.ZIP", "w") as z:
    z.writestr(info("readme.txt", (2021, 3, 14, 15, 9, 26), zipfile.ZIP_STORED), b"stored entry\n" * 10)
    z.writestr(info("docs/report.txt", (2022, 7, 1, 8, 30, 0), zipfile.ZIP_DEFLATED), b"deflated entry " * 400)
    z.writestr(info("\u0395\u03bb\u03bb\u03b7\u03bd\u03b9\u03ba\u03ac.txt", (2023, 1, 2, 3, 4, 6), zipfile.ZIP_STORED), b"utf-8 name\n")
    z.writestr(info("caf~.txt", (2020, 12, 31, 23, 58, 58), zipfile.ZIP_STORED), b"cp437 name\n")
data = bytearray((out / "ARCHIVE.ZIP").read_bytes())
# python writes a name that is not ASCII as UTF-8 with the flag (the Greek
# one); "caf\u00e9.txt" goes in as CP437 bytes without it, as older
# archivers wrote names: one byte for one, so every offset holds.
data = data.replace(b"caf~.txt", b"caf\x82.txt")
(out / "ARCHIVE.ZIP").write_bytes(bytes(data))
assert data.find(b"caf\x82.txt") > 0 and data.find("\u0395".encode("utf-8")) > 0
eocd = data.rfind(b"PK\x05\x06")
cd_offset = struct.unpack_from("<I", data, eocd + 16)[0]
broken = bytearray(data)
broken[cd_offset:eocd] = b"\xA5" * (eocd - cd_offset)  # the central directory is gone
(out / "BROKEN.ZIP").write_bytes(bytes(broken))
(out / "README.TXT").write_bytes(b"Opened with its program.\n")
(out / "Docs" / "inner.txt").write_bytes(b"inside a folder\n")
PY
convert "$FILES/PICTURE.PNG" -strip -quality 90 "jpeg:$FILES/PHOTO.JPEG"
cp "$FILES/PHOTO.JPEG" "$FILES/PHOTO.JPE"

rm -f "$IMG"
mkfs.fat --invariant --mbr=n -S 512 -F 16 -s 4 -i 0F16B0B0 -n PREVIEW -C "$IMG" 16384 >/dev/null
for f in PICTURE.PNG PHOTO.JPEG PHOTO.JPE BADPIC.PNG NOTE.RTF DELNOTE.RTF DELPIC.PNG ARCHIVE.ZIP BROKEN.ZIP README.TXT BIG.BMP; do
    mcopy -i "$IMG" "$FILES/$f" "::$f"
done
mmd -i "$IMG" ::Docs
mcopy -i "$IMG" "$FILES/Docs/inner.txt" ::Docs/inner.txt

MANIFEST=$IMAGES_DIR/preview.manifest.tsv
{
    printf 'path\tsize\tmd5\tstate\n'
    for f in PICTURE.PNG PHOTO.JPEG PHOTO.JPE BADPIC.PNG NOTE.RTF DELNOTE.RTF DELPIC.PNG ARCHIVE.ZIP BROKEN.ZIP README.TXT BIG.BMP Docs/inner.txt; do
        state=live
        case $f in DEL*) state=deleted ;; esac
        printf '%s\t%s\t%s\t%s\n' "$f" "$(stat -c %s "$FILES/$f")" "$(md5sum < "$FILES/$f" | cut -d' ' -f1)" "$state"
    done
} > "$MANIFEST"
mdel -i "$IMG" ::DELPIC.PNG ::DELNOTE.RTF
fsck.fat -n "$IMG" >/dev/null

xz -9e -T1 -c "$IMG" > "$IMAGES_DIR/preview.img.xz"
{
    echo "image: preview.img ($(stat -c %s "$IMG") bytes), built $(date -u +%FT%TZ)"
    echo "command: tests/images/preview.sh"
    echo "mtools: $(mcopy --version | head -1)"
    echo "mkfs.fat: $(mkfs.fat --version 2>&1 | head -1)"
    echo "convert: $(convert -version | head -1)"
    echo "deleted after the manifest was recorded: DELPIC.PNG DELNOTE.RTF"
    echo "fsck.fat -n: $(fsck.fat -n "$IMG" | tail -1)"
} > "$IMAGES_DIR/preview.build-info.txt"
log "preview.img done"
