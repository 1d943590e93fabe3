#!/bin/bash
# ntfs-compressed.sh -- builds the NTFS images of compressed files and of
# 4096-byte sectors, with their manifests.
#
#   ntfs-compressed  48 MiB, 512-byte sectors, 4 KiB clusters: a folder marked
#                    compressed (new files in it are LZNT1-compressed in units
#                    of 16 clusters) holding files of many sizes: under one
#                    unit, exactly one, many, incompressible random data
#                    (units stored as they are), all zeros (units left
#                    sparse), partly sparse, written from their end (many
#                    fragments; the two of 16 MB continue their $DATA in an
#                    extension record), a plain file beside them; some
#                    deleted after the manifest was recorded.
#   ntfs-4k          8 MiB, mkntfs -s 4096 -c 4096: a small tree, a
#                    compressed folder, deleted files.
# Needs root, FUSE, ntfs-3g, mkntfs, setfattr (attr), sleuthkit, xz.
# Usage: ntfs-compressed.sh [NAME...]
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"

need_root
need_tools mkntfs ntfs-3g fusermount mountpoint setfattr fls icat tsk_recover xz truncate "$PYTHON"
[ -n "${WORK:-}" ] || make_work

# random_file PATH SEED SIZE: seeded random bytes (incompressible, the same
# on every rebuild)
random_file() {
    "$PYTHON" -c 'import random, sys; sys.stdout.buffer.write(random.Random(sys.argv[1]).randbytes(int(sys.argv[2])))' \
        "$2" "$3" > "$1"
}

# marks a folder compressed (FILE_ATTRIBUTE_COMPRESSED): files made in it
# afterwards are compressed
compress_dir() {
    mkdir -p "$1"
    setfattr -v 0x00000800 -n system.ntfs_attrib_be "$1"
}

compressed_tree() {
    local m=$1
    compress_dir "$m/Packed"
    mkdir -p "$m/Plain"
    plan "$m" <<EOF
file|Packed/tiny.txt|300
file|Packed/under a unit.txt|30000
file|Packed/one unit.txt|65536
file|Packed/many units.log|700000
file|Packed/ragged end.txt|131077
file|Packed/Sub/nested.txt|120000
file|Packed/Sub/deep/deeper.txt|90001
sparse|Packed/partly sparse.vhd|1048576|0+70000,500000+8192,1040000+8576
backwards|Packed/backwards.log|1500000|32768
backwards|Packed/extension records.log|16000000|65536
backwards|Packed/deleted extension records.log|16000000|65536
file|Packed/deleted many units.txt|400000
file|Packed/Gone/deleted nested.txt|200000
sparse|Packed/deleted sparse.vhd|600000|100000+90000
file|Plain/plain.txt|150000
EOF
    random_file "$m/Packed/random.bin" random 200000
    random_file "$m/Packed/deleted random.bin" deleted 100000
    # random, then text: stored units followed by compressed ones
    { random_file /dev/stdout mixed 70000
      "$PYTHON" -c 'import sys; sys.stdout.write("compressible line\n" * 8000)'; } > "$m/Packed/mixed.bin"
    head -c 300000 /dev/zero > "$m/Packed/zeros.bin"
    echo "times-all" | plan "$m"
}
DELETE_COMPRESSED=("Packed/deleted many units.txt" "Packed/deleted extension records.log" "Packed/Gone" "Packed/deleted sparse.vhd" "Packed/deleted random.bin")

fourk_tree() {
    local m=$1
    compress_dir "$m/Packed"
    plan "$m" <<EOF
file|Documents/readme.txt|400
file|Documents/notes/todo.txt|5000
file|Documents/report.log|300000
file|Documents/Old/deleted report.log|250000
file|Documents/deleted small.txt|700
file|Packed/compressed.txt|200000
file|Packed/deleted compressed.txt|150000
sparse|Media/sparse.vhd|400000|0+8192,300000+4096
file|Media/deleted video.bin|1000000
EOF
    random_file "$m/Media/random.bin" fourk 90000
    echo "times-all" | plan "$m"
}
DELETE_FOURK=("Documents/Old" "Documents/deleted small.txt" "Packed/deleted compressed.txt" "Media/deleted video.bin")

# build NAME MIB SECTOR CLUSTER TREE DELETE-ARRAY-NAME
build() {
    local name=$1 mib=$2 sector=$3 cl=$4 tree=$5
    local -n deletes=$6
    local img=$WORK/$name.img mnt=$WORK/mnt-$name dir=$WORK/$name
    local t0=$SECONDS
    mkdir -p "$dir"
    log "$name: ${mib} MiB, ${sector}-byte sectors, ${cl}-byte clusters"
    rm -f "$img"
    truncate -s "${mib}M" "$img"
    mkntfs -F -Q -q -s "$sector" -c "$cl" -p 0 -H 255 -S 63 -L "${name^^}" "$img" 2>/dev/null
    ntfs_mount "$img" "$mnt"
    "$tree" "$mnt"
    ntfs_umount

    log "$name: recording the manifest"
    ntfs_mount "$img" "$mnt" ro
    manifest record "$img" "$mnt" "$dir/pre.tsv"
    ntfs_umount

    log "$name: deleting"
    ntfs_mount "$img" "$mnt"
    printf 'rm|%s\n' "${deletes[@]}" | plan "$mnt"
    ntfs_umount
    printf '%s\n' "${deletes[@]}" > "$dir/deleted.lst"
    : > "$dir/created.lst"

    ntfs_mount "$img" "$mnt" ro
    manifest finalize "$img" "$mnt" --pre "$dir/pre.tsv" --deleted "$dir/deleted.lst" \
        --created "$dir/created.lst" --out "$dir/manifest.tsv"
    ntfs_umount
    cp "$dir/manifest.tsv" "$IMAGES_DIR/$name.manifest.tsv"

    log "$name: what The Sleuth Kit recovers"
    rm -rf "$dir/tsk"
    tsk_recover -e "$img" "$dir/tsk" > "$dir/tsk.txt" 2>&1 || true
    local exact=0 total=0 path md5
    while IFS=$'\t' read -r path md5; do
        total=$((total + 1))
        [ -f "$dir/tsk/$path" ] && [ "$(md5sum < "$dir/tsk/$path" | cut -d' ' -f1)" = "$md5" ] && exact=$((exact + 1))
    done < <(awk -F'\t' 'NR > 1 && $2 == "file" {print $1 "\t" $4}' "$dir/manifest.tsv")
    {
        echo "image: $name.img ($((mib << 20)) bytes), built $(date -u +%Y-%m-%dT%H:%M:%SZ) in $((SECONDS - t0)) s"
        echo "command: tests/images/generate.sh $name"
        echo "mkntfs -F -Q -q -s $sector -c $cl -p 0 -H 255 -S 63 -L ${name^^}"
        tool_versions
        echo "rows (state kind count):"
        tail -n +2 "$dir/manifest.tsv" | cut -f2,12 | sort | uniq -c | awk '{print "  " $3 " " $2 " " $1}'
        echo "runs of the files (the compressed ones count their sparse tails too):"
        awk -F'\t' 'NR > 1 && $2 == "file" {print "  " $1 ": " $10 " (record " $8 ", attrlist " $11 ", " $12 ")"}' "$dir/manifest.tsv"
        echo "tsk_recover -e: $exact of $total manifest files byte-exact"
    } > "$IMAGES_DIR/$name.build-info.txt"
    compress "$img" "$name"
    rm -f "$img"
}

names=("$@")
[ ${#names[@]} -gt 0 ] || names=(ntfs-compressed ntfs-4k)
for n in "${names[@]}"; do
    case $n in
        ntfs-compressed) build ntfs-compressed 48 512 4096 compressed_tree DELETE_COMPRESSED ;;
        ntfs-4k) build ntfs-4k 8 4096 4096 fourk_tree DELETE_FOURK ;;
        *) die "unknown image: $n" ;;
    esac
done
