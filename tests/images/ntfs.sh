#!/bin/bash
# ntfs.sh -- builds the NTFS test images and their manifests.
#
#   ntfs-basic           48 MiB, 4 KiB clusters
#   ntfs-small-clusters  24 MiB, 512-byte clusters (a record spans two
#                        clusters, an index block eight)
# Both: mkntfs -Q, 512-byte sectors, 1 KiB MFT records, no partition table,
# and the same tree (sizes scaled to the cluster size); see README.md.
#
# Steps for each image (all writes go through an ntfs-3g mount):
#   1. the tree: nested folders, resident/empty/small/large files, a sparse
#      file, non-ASCII and 255-character names, alternate data streams, two
#      folders of 2,000 entries (every 4th entry non-resident, so that index
#      blocks and file data alternate on disk and the $INDEX_ALLOCATION
#      runlist outgrows the base record: ntfs-3g then moves $FILE_NAME and
#      $INDEX_ROOT to extension records), the items to delete later; then
#      large fillers, and small fillers until the volume is full;
#   2. every other small filler in disk order is truncated to 0 bytes, which
#      leaves the free space in holes of a few clusters; the files to fragment
#      are written into the holes (two of them so long that their runlist
#      spills into an extension record); all times are set;
#   3. the manifest is recorded from a read-only mount;
#   4. "Reuse/Short-lived folder" (the lowest user records) is removed, and
#      after a remount new files are created until one takes its record
#      (ntfs-3g hands out the lowest free record), then the other items are
#      deleted, the big "Doomed cache" folder last;
#   5. the manifest is finalized and checked with The Sleuth Kit.
# Needs root, FUSE, ntfs-3g, mkntfs, sleuthkit, xz.  Usage: ntfs.sh [NAME...]
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"

need_root
need_tools mkntfs ntfs-3g fusermount mountpoint fls istat icat tsk_recover xz truncate "$PYTHON"
[ -n "${WORK:-}" ] || make_work

# the tree, before any fillers (needs CL, ONE_A, ONE_B, BIG_LARGE, LONG)
tree_plan() {
    cat <<EOF
# first, so that its records are the lowest user records (see step 4)
dir|Reuse/Short-lived folder
file|Reuse/Short-lived folder/a.txt|300
file|Reuse/Short-lived folder/b.bin|$((3 * CL + 100))
file|Reuse/Short-lived folder/c.txt|0

dir|Documents/Reports/2019/Q3/Drafts/Final
dir|Documents/notes
file|Documents/readme.txt|412
file|Documents/notes/empty.txt|0
file|Documents/notes/tiny.txt|1
# 650 bytes do not fit next to the security descriptor ntfs-3g keeps in
# each record: non-resident, unlike the 500-byte file below
file|Documents/notes/todo.txt|650
file|Documents/notes/deleted resident.txt|500
file|Documents/notes/deleted empty.txt|0
file|Documents/notes/deleted contiguous.bin|$((75 * CL + 5))
file|Documents/Reports/2019/Q3/Drafts/Final/summary.txt|$((50 * CL + 77))
file|Documents/Reports/2019/Q3/Drafts/one cluster.txt|$ONE_A
file|Documents/Reports/2019/Q3/exact cluster.bin|$ONE_B
file|Documents/Reports/2019/annual.log|$((256 * CL + 123))
file|Documents/Reports/2020/plan.txt|37000

dir|Media
file|Media/video.bin|$((600 * CL))
sparse|Media/sparse.vhd|$((64 * CL))|0+$((2 * CL)),$((40 * CL))+$((3 * CL + 200))

file|Unicode/Документы/Отчёт за квартал.txt|5000
file|Unicode/日本語のフォルダ/写真リスト.txt|300
file|Unicode/📷 Camera Roll/🎉 party.txt|9000
file|Unicode/Ελληνικά/σημείωση.txt|0
file|Unicode/$LONG|1200
file|Unicode/Удалённый файл.txt|7000

file|Streams/annotated.txt|2000
stream|Streams/annotated.txt|summary|120
stream|Streams/annotated.txt|thumbnail|$((5 * CL + 11))
file|Streams/only a stream.txt|0
stream|Streams/only a stream.txt|Zone.Identifier|26
file|Streams/deleted with stream.txt|3000
stream|Streams/deleted with stream.txt|notes|$((2 * CL))

dir|Trash/Old Project/src/lib
dir|Trash/Old Project/docs
file|Trash/Old Project/README.md|640
file|Trash/Old Project/src/main.c|$((4 * CL + 10))
file|Trash/Old Project/src/lib/util.c|2222
file|Trash/Old Project/src/lib/util.h|333
file|Trash/Old Project/docs/design.txt|$((20 * CL))
file|Trash/Old Project/docs/empty.txt|0
file|Trash/keep.txt|100
EOF
}

# grow_big DIR: 2,000 entries, then 250 more at a time until ntfs-3g has
# moved the folder's $INDEX_ROOT to an extension record (unmounted to check).
# With BIG_AL=0 just 1,000 entries: with 512-byte clusters ntfs-3g extends
# the index allocation in place while file data go elsewhere, so its runlist
# stays short and the base record never overflows.
grow_big() {
    local d=$1 n=0 batch=2000 rc
    if [ "$BIG_AL" = 0 ]; then
        echo "many|$d|0|1000|120|$BIG_LARGE|4" | plan "$mnt"
        return
    fi
    while :; do
        echo "many|$d|$n|$batch|120|$BIG_LARGE|4" | plan "$mnt"
        n=$((n + batch))
        batch=250
        ntfs_umount
        rc=0
        manifest ir-moved "$img" "$d" || rc=$?
        [ $rc -le 1 ] || die "ir-moved failed"
        [ $rc = 1 ] || break
        [ $n -lt 6000 ] || die "$d: \$INDEX_ROOT still in the base record after $n entries"
        ntfs_mount "$img" "$mnt"
    done
    log "$d: $n entries"
    ntfs_mount "$img" "$mnt"
}

# written into the holes left by the truncated small fillers
frag_plan() {
    cat <<EOF
file|Fragmented/attrlist live.bin|$((AL * CL + 333))
file|Fragmented/attrlist doomed.bin|$((AL * CL + 999))
file|Fragmented/frag small.dat|$((6 * CL + 100))
file|Fragmented/frag medium.log|$((40 * CL + 1))
file|Fragmented/frag large.bin|$((150 * CL - 7))
file|Fragmented/deleted fragmented.log|$((30 * CL + 30))
EOF
}

# removed after the manifest is recorded; the big folder last
DELETE_LIST=(
    "Documents/notes/deleted resident.txt"
    "Documents/notes/deleted empty.txt"
    "Documents/notes/deleted contiguous.bin"
    "Fragmented/deleted fragmented.log"
    "Fragmented/attrlist doomed.bin"
    "Unicode/Удалённый файл.txt"
    "Streams/deleted with stream.txt"
    "Trash/Old Project"
    "Big/Doomed cache"
)
REUSE_DIR="Reuse/Short-lived folder"

# build_ntfs NAME SIZE_MIB CLUSTER
build_ntfs() {
    local name=$1 mib=$2
    CL=$3
    BIG_AL=$((CL > 1024))
    local al_dirs=()
    [ "$BIG_AL" = 0 ] || al_dirs=(--al-dir "Big/Live cache" --al-dir "Big/Doomed cache")
    local img=$WORK/$name.img mnt=$WORK/mnt-$name dir=$WORK/$name
    local out_manifest=$IMAGES_DIR/$name.manifest.tsv info=$IMAGES_DIR/$name.build-info.txt
    mkdir -p "$dir"
    if [ "$CL" -ge 2048 ]; then ONE_A=$((CL - 1096)); ONE_B=$CL; else ONE_A=1000; ONE_B=$((2 * CL)); fi
    BIG_LARGE=$((CL > 1024 ? CL : 1500))
    # clusters of each attribute-list file: the holes are 1-3 (2-4) clusters,
    # so it ends up in a few hundred pieces, more than a base record can map
    AL=$((CL > 1024 ? 700 : 1000))
    local fmin=$((CL > 1024 ? CL / 2 : 800)) fmax=$((CL > 1024 ? 3 * CL : 4 * CL))
    local small_region=$((CL > 1024 ? 16 : 10))  # MiB left for the small fillers
    LONG=$("$PYTHON" -c 'import string; s = "255 characters "; s += (string.ascii_lowercase * 10)[:251 - len(s)]; print(s + ".txt")')
    [ ${#LONG} = 255 ] || die "long name is ${#LONG} characters"
    local t0=$SECONDS

    log "$name: ${mib} MiB, ${CL}-byte clusters"
    rm -f "$img"
    truncate -s "${mib}M" "$img"
    mkntfs -F -Q -q -s 512 -c "$CL" -p 0 -H 255 -S 63 -L "${name^^}" "$img" 2>/dev/null

    log "$name: tree and fillers"
    ntfs_mount "$img" "$mnt"
    tree_plan | plan "$mnt"
    grow_big "Big/Live cache"
    grow_big "Big/Doomed cache"
    { echo "fill|Fill/large|65536|262144|$((small_region << 20))"
      echo "fill|Fill/small|$fmin|$fmax|0"
    } | plan "$mnt"
    df -B1 --output=size,used,avail "$mnt" | tail -1 > "$dir/df-full"
    ntfs_umount

    log "$name: punching every other small filler, writing the fragmented files"
    manifest punch-list "$img" "Fill/small/" > "$dir/punch.lst"
    ntfs_mount "$img" "$mnt"
    { sed 's/$/|0/; s/^/truncate|/' "$dir/punch.lst"
      frag_plan
      echo "times-all"
    } | plan "$mnt"
    ntfs_umount

    log "$name: recording the manifest"
    ntfs_mount "$img" "$mnt" ro
    manifest record "$img" "$mnt" "$dir/pre.tsv"
    ntfs_umount
    manifest special "$img" "$dir/pre.tsv" --report "$dir/special-pre.txt" "${al_dirs[@]}" \
        --al-file "Fragmented/attrlist live.bin" --al-file "Fragmented/attrlist doomed.bin"
    local reuse_rec
    reuse_rec=$(awk -F'\t' -v p="$REUSE_DIR" '$1 == p {print $8}' "$dir/pre.tsv")
    [ -n "$reuse_rec" ] || die "$REUSE_DIR not in the manifest"

    log "$name: deleting; record $reuse_rec of '$REUSE_DIR' gets reused"
    ntfs_mount "$img" "$mnt"
    echo "rm|$REUSE_DIR" | plan "$mnt"
    ntfs_umount
    ntfs_mount "$img" "$mnt"
    echo "reuse|Reuse|new file|$reuse_rec|300|100" | plan "$mnt"
    printf 'rm|%s\n' "${DELETE_LIST[@]}" | plan "$mnt"
    (cd "$mnt" && ls -d Reuse/new\ file-*.txt) > "$dir/created.lst"
    ntfs_umount
    { echo "$REUSE_DIR"; printf '%s\n' "${DELETE_LIST[@]}"; } > "$dir/deleted.lst"

    log "$name: finalizing the manifest"
    ntfs_mount "$img" "$mnt" ro
    manifest finalize "$img" "$mnt" --pre "$dir/pre.tsv" --deleted "$dir/deleted.lst" \
        --created "$dir/created.lst" --out "$dir/manifest.tsv"
    ntfs_umount

    log "$name: checking with The Sleuth Kit"
    manifest verify "$img" "$dir/manifest.tsv" --report "$dir/verify.txt" --scratch "$dir/scratch" \
        "${al_dirs[@]}" \
        --al-file "Fragmented/attrlist live.bin" --al-file "Fragmented/attrlist doomed.bin" \
        --fragmented "Fragmented/frag small.dat" --fragmented "Fragmented/frag medium.log" \
        --fragmented "Fragmented/frag large.bin" --fragmented "Fragmented/deleted fragmented.log" \
        --reused "$REUSE_DIR"

    cp "$dir/manifest.tsv" "$out_manifest"
    {
        echo "image: $name.img ($((mib << 20)) bytes), built $(date -u +%Y-%m-%dT%H:%M:%SZ) in $((SECONDS - t0)) s"
        echo "command: tests/images/generate.sh $name"
        echo "mkntfs -F -Q -q -s 512 -c $CL -p 0 -H 255 -S 63 -L ${name^^}  (1 KiB MFT records)"
        tool_versions
        echo "df when full (size used avail): $(cat "$dir/df-full")"
        echo "small fillers truncated to 0 bytes (holes for the fragmented files): $(wc -l < "$dir/punch.lst")"
        echo "rows (state kind count):"
        tail -n +2 "$dir/manifest.tsv" | cut -f2,12 | sort | uniq -c | awk '{print "  " $3 " " $2 " " $1}'
        echo "fragments of the fragmented files:"
        awk -F'\t' '$1 ~ /^Fragmented\// || $1 == "Media/sparse.vhd" {print "  " $1 ": " $10 " (record " $8 ", attrlist " $11 ", " $12 ")"}' "$dir/manifest.tsv"
        echo "before the deletions (checked here and with istat):"
        sed 's/^/  /' "$dir/special-pre.txt"
        echo "after the deletions, checked with The Sleuth Kit:"
        sed 's/^/  /' "$dir/verify.txt"
    } > "$info"
    compress "$img" "$name"
    rm -f "$img"
}

declare -A SIZE_MIB=([ntfs-basic]=48 [ntfs-small-clusters]=24)
declare -A CLUSTER=([ntfs-basic]=4096 [ntfs-small-clusters]=512)
names=("$@")
[ ${#names[@]} -gt 0 ] || names=(ntfs-basic ntfs-small-clusters)
for n in "${names[@]}"; do
    [ -n "${SIZE_MIB[$n]:-}" ] || die "unknown NTFS image: $n"
    build_ntfs "$n" "${SIZE_MIB[$n]}" "${CLUSTER[$n]}"
done
