#!/bin/bash
# fat-deep.sh -- builds fat-deep: a FAT32 volume with 512-byte clusters whose
# deleted tree has folders of many clusters, and its manifest.
#
#   fat-deep    40 MiB, mkfs.fat -F 32 -s 1: a directory cluster holds 16
#               entries, so a folder of 40 long-named files takes a dozen
#
# Through mtools, in this order:
#   1. a live folder, then a tree of a few hundred files in nested folders
#      (mixed plans: six files to an mcopy run, so each folder's clusters come
#      between the data of its files as it grows: its chain is not one run);
#   2. deterministic times on every entry (lib/fat.py);
#   3. the manifest is recorded, then the whole tree is deleted (mdeltree):
#      every chain of it is freed, so only the first cluster of each deleted
#      folder is named by an entry, and the rest of its clusters must be found
#      by what they hold.
# Needs mtools, dosfstools, sleuthkit, xz.  Usage: fat-deep.sh
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"

need_tools mkfs.fat fsck.fat mmd mcopy mdel mdeltree fls istat icat xz truncate "$PYTHON"
[ -n "${WORK:-}" ] || make_work

name=fat-deep
img=$WORK/$name.img dir=$WORK/$name
info=$IMAGES_DIR/$name.build-info.txt
t0=$SECONDS
mkfs=(mkfs.fat --invariant --mbr=n -S 512 -F 32 -s 1 -i 0F32D001 -n DEEPTREE -C "$img" 40960)
mkdir -p "$dir"
rm -f "$img"
log "$name: ${mkfs[*]}"
"${mkfs[@]}" >/dev/null
fatman geometry "$img" > "$dir/geometry.txt"
grep -q "^FAT32," "$dir/geometry.txt" || die "$name: $(cat "$dir/geometry.txt")"

log "$name: tree"
{
    echo "file|Kept/still here.txt|700"
    echo "mixed|Kept/Live folder|12"
    echo "mixed|Tree|24"
    echo "mixed|Tree/Alpha|40"
    echo "mixed|Tree/Alpha/Sub one|30"
    echo "mixed|Tree/Alpha/Sub two|26"
    echo "mixed|Tree/Beta|50"
    echo "mixed|Tree/Beta/Deep|20"
    echo "mixed|Tree/Beta/Deep/Deeper|36"
    echo "mixed|Tree/Gamma|44"
    echo "mixed|Tree/Gamma/Last level|30"
    echo "times-all"
} | fat_plan "$img" "$dir/stage"

log "$name: manifest, deletion, checks with fsck.fat and The Sleuth Kit"
echo "Tree" > "$dir/deleted.lst"
fat_manifest "$img" "$dir" --multi-cluster-dir "Tree/Alpha" --multi-cluster-dir "Tree/Beta"

cp "$dir/manifest.tsv" "$IMAGES_DIR/$name.manifest.tsv"
{
    echo "image: $name.img ($(stat -c %s "$img") bytes), built $(date -u +%Y-%m-%dT%H:%M:%SZ) in $((SECONDS - t0)) s"
    echo "command: tests/images/fat-deep.sh"
    echo "${mkfs[*]}" | sed "s|$WORK/||"
    echo "geometry: $(cat "$dir/geometry.txt")"
    fat_tool_versions
    echo "fsck.fat -n: $(cat "$dir/fsck.txt")"
    echo "rows (state kind count):"
    rows_by_state "$dir/manifest.tsv"
    echo "deleted after the manifest was recorded: Tree"
    echo "fls -r -d: $(fls -r -d "$img" | wc -l) deleted entries ($(fls -r -d "$img" | grep -c OrphanFiles) under \$OrphanFiles)"
    echo "checked:"
    sed 's/^/  /' "$dir/verify.txt"
} > "$info"
compress "$img" "$name"
[ "${KEEP_WORK:-0}" = 1 ] || rm -f "$img"
