# shellcheck shell=bash
# Shell helpers for the test image generators.  Sourced, not run.
# Provides logging, tool checks, a work directory removed on exit, ntfs-3g
# mounts that are always taken down on exit, and compression.

IMAGES_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
LIB_DIR=$IMAGES_DIR/lib
# the system interpreter: the generators must not depend on a user's python setup
PYTHON=${PYTHON:-/usr/bin/python3}
[ -x "$PYTHON" ] || PYTHON=python3
export LC_ALL=C.UTF-8
export TZ=UTC

die() { echo "ERROR: $*" >&2; exit 1; }
log() { echo "[$(date +%H:%M:%S)] $*" >&2; }

need_tools() {
    local t
    for t in "$@"; do
        command -v "$t" >/dev/null 2>&1 || die "missing tool: $t"
    done
}

need_root() {
    [ "$(id -u)" = 0 ] || die "run as root (ntfs-3g mounts through FUSE)"
    [ -e /dev/fuse ] || die "no /dev/fuse"
}

# WORK: scratch directory for images and intermediate files, removed on exit
# unless KEEP_WORK=1.
make_work() {
    WORK=$(mktemp -d "${TMPDIR:-/tmp}/dravik-images.XXXXXX")
    log "work directory: $WORK"
}

MOUNT_DIR=
MOUNT_PID=
cleanup() {
    local rc=$?
    if [ -n "$MOUNT_DIR" ]; then
        fusermount -u "$MOUNT_DIR" 2>/dev/null || umount -l "$MOUNT_DIR" 2>/dev/null || true
        if [ -n "$MOUNT_PID" ]; then wait "$MOUNT_PID" 2>/dev/null || true; fi
        MOUNT_DIR=
    fi
    if [ -n "${WORK:-}" ] && [ -d "$WORK" ]; then
        if [ "${KEEP_WORK:-0}" = 1 ]; then
            log "kept $WORK"
        else
            rm -rf "$WORK"
        fi
    fi
    exit $rc
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# ntfs_mount IMG MNT [OPTIONS]: ntfs-3g in the foreground as a background job,
# so that ntfs_umount can wait until it has flushed and closed the image.
# noatime: reading must not change the times the manifest records.
ntfs_mount() {
    local img=$1 mnt=$2 opts=${3:-rw}
    [ -z "$MOUNT_DIR" ] || die "already mounted: $MOUNT_DIR"
    mkdir -p "$mnt"
    ntfs-3g -o "no_detach,windows_names,big_writes,noatime,$opts" "$img" "$mnt" >"$mnt.log" 2>&1 &
    MOUNT_PID=$!
    MOUNT_DIR=$mnt
    local _
    for _ in $(seq 1 100); do
        mountpoint -q "$mnt" && return 0
        kill -0 "$MOUNT_PID" 2>/dev/null || { cat "$mnt.log" >&2; die "ntfs-3g failed to mount $img"; }
        sleep 0.1
    done
    die "ntfs-3g mount of $img timed out"
}

ntfs_umount() {
    [ -n "$MOUNT_DIR" ] || return 0
    sync
    fusermount -u "$MOUNT_DIR"
    wait "$MOUNT_PID" || die "ntfs-3g exited with an error (see $MOUNT_DIR.log)"
    rm -f "$MOUNT_DIR.log"
    rmdir "$MOUNT_DIR"
    MOUNT_DIR=
    MOUNT_PID=
}

# plan ROOT: run the plan on stdin against a mounted volume (see lib/tree.py)
plan() {
    "$PYTHON" "$LIB_DIR/tree.py" "$1"
}

manifest() {
    "$PYTHON" "$LIB_DIR/manifest.py" "$@"
}

# compress IMG NAME: IMG -> $IMAGES_DIR/NAME.img.xz (written atomically)
compress() {
    local img=$1 name=$2
    xz -9 -T1 -c "$img" > "$IMAGES_DIR/$name.img.xz.tmp"
    mv "$IMAGES_DIR/$name.img.xz.tmp" "$IMAGES_DIR/$name.img.xz"
    log "$name.img.xz: $(stat -c %s "$IMAGES_DIR/$name.img.xz") bytes"
}

tool_versions() {
    echo "ntfs-3g: $(ntfs-3g --version 2>&1 | head -1)"
    echo "mkntfs: $(mkntfs --version 2>&1 | grep -m1 -o 'v[0-9][^ ]*')"
    echo "sleuthkit: $(fls -V 2>&1 | head -1)"
    echo "python: $("$PYTHON" --version 2>&1)"
    echo "xz: $(xz --version | head -1)"
    echo "kernel: $(uname -r)"
}

# FAT volumes are written through mtools, never mounted (no vfat here)
export MTOOLS_SKIP_CHECK=1

# fat_plan IMG STAGE: run the plan on stdin against a FAT image (see lib/fat.py)
fat_plan() {
    "$PYTHON" "$LIB_DIR/fat.py" plan "$1" "$2"
}

fatman() {
    "$PYTHON" "$LIB_DIR/fat.py" "$@"
}

# fsck_fat IMG: dosfsck must find nothing to repair
fsck_fat() {
    local out
    out=$(fsck.fat -n "$1" 2>&1) || { echo "$out" >&2; die "fsck.fat -n $1 found problems"; }
    [ "$(echo "$out" | wc -l)" -le 2 ] || { echo "$out" >&2; die "fsck.fat -n $1 had remarks"; }
    echo "$out" | tail -1 | sed "s|$(dirname "$1")/||"
}

fat_tool_versions() {
    echo "mtools: $(mtools --version 2>&1 | head -1)"
    echo "mkfs.fat: $(mkfs.fat --help 2>&1 | grep -m1 -o 'mkfs.fat [0-9.]* ([0-9-]*)')"
    echo "sleuthkit: $(fls -V 2>&1 | head -1)"
    echo "python: $("$PYTHON" --version 2>&1)"
    echo "xz: $(xz --version | head -1)"
}

# fat_manifest IMG DIR [VERIFY ARGS]: records DIR/pre.tsv from the finished
# volume, deletes what DIR/deleted.lst names (mdel, mdeltree), finalizes
# DIR/manifest.tsv and checks it with fsck.fat (DIR/fsck.txt) and The Sleuth
# Kit (DIR/verify.txt).  DIR/stage is the plan's scratch folder.
fat_manifest() {
    local img=$1 dir=$2
    shift 2
    fatman record "$img" "$dir/pre.tsv" --entries "$dir/entries.json" --scratch "$dir/out-pre" \
        --punched "$dir/stage/punched.jsonl"
    sed 's/^/rm|/' "$dir/deleted.lst" | fat_plan "$img" "$dir/stage"
    fatman finalize "$img" --pre "$dir/pre.tsv" --entries "$dir/entries.json" \
        --deleted "$dir/deleted.lst" --out "$dir/manifest.tsv"
    fsck_fat "$img" > "$dir/fsck.txt"
    fatman verify "$img" "$dir/manifest.tsv" --entries "$dir/entries.json" --report "$dir/verify.txt" "$@"
}

# rows_by_state MANIFEST: "  state kind count" lines for the build notes
rows_by_state() {
    tail -n +2 "$1" | cut -f2,12 | sort | uniq -c | awk '{print "  " $3 " " $2 " " $1}'
}
