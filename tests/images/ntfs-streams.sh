#!/bin/bash
# ntfs-streams.sh -- builds the NTFS image of alternate data streams, with
# its manifest.
#
#   ntfs-streams  16 MiB, 512-byte sectors, 4 KiB clusters: files with small
#                 (resident) and large (non-resident, up to 64000 bytes: the
#                 most an xattr carries) named streams, a Zone.Identifier, an
#                 empty file whose only data is a stream, a file with so many
#                 streams that its record continues in extension records
#                 (an attribute list), files written from their end in many
#                 pieces (hundreds of fragments: their $DATA continues in an
#                 extension record) with a stream, and a stream on a folder
#                 (a folder is no file: its stream is not listed); some of
#                 them deleted after the manifest was recorded.
# Needs root, FUSE, ntfs-3g, mkntfs, setfattr (attr), sleuthkit, xz.
# Usage: ntfs-streams.sh [NAME...]
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"

need_root
need_tools mkntfs ntfs-3g fusermount mountpoint setfattr fls icat tsk_recover xz truncate "$PYTHON"
[ -n "${WORK:-}" ] || make_work

# many_streams FILE COUNT SIZE: COUNT streams "part NN" of SIZE bytes
many_streams() {
    local i
    for i in $(seq -w 1 "$2"); do echo "stream|$1|part $i|$3"; done
}

streams_tree() {
    local m=$1
    plan "$m" <<EOF2
file|Docs/letter.txt|2000
stream|Docs/letter.txt|summary|100
stream|Docs/letter.txt|Zone.Identifier|26
file|Docs/picture.bin|50000
stream|Docs/picture.bin|thumbnail|64000
stream|Docs/picture.bin|tiny|7
file|Docs/only streams.txt|0
stream|Docs/only streams.txt|payload|40000
stream|Docs/only streams.txt|note|300
file|Docs/deleted letter.txt|3000
stream|Docs/deleted letter.txt|notes|200
file|Docs/deleted picture.bin|10000
stream|Docs/deleted picture.bin|thumbnail|60000
stream|Docs/deleted picture.bin|Zone.Identifier|26
file|Gone/inner.txt|1500
stream|Gone/inner.txt|inner stream|9000
file|Many/many streams.txt|1000
$(many_streams "Many/many streams.txt" 30 400)
stream|Many/many streams.txt|large part|30000
file|Many/deleted many streams.txt|800
$(many_streams "Many/deleted many streams.txt" 24 350)
dir|Tagged
stream|Tagged|folder note|500
file|Tagged/plain.txt|700
backwards|Pieces/fragmented.log|4000000|8192
stream|Pieces/fragmented.log|index|5000
backwards|Pieces/deleted fragmented.log|3000000|8192
stream|Pieces/deleted fragmented.log|index|6000
EOF2
    echo "times-all" | plan "$m"
}
DELETE_STREAMS=("Docs/deleted letter.txt" "Docs/deleted picture.bin" "Gone" "Many/deleted many streams.txt"
                "Pieces/deleted fragmented.log")

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
    done < <(awk -F'\t' 'NR > 1 && ($2 == "file" || $2 == "stream") {print $1 "\t" $4}' "$dir/manifest.tsv")
    {
        echo "image: $name.img ($((mib << 20)) bytes), built $(date -u +%Y-%m-%dT%H:%M:%SZ) in $((SECONDS - t0)) s"
        echo "command: tests/images/generate.sh $name"
        echo "mkntfs -F -Q -q -s $sector -c $cl -p 0 -H 255 -S 63 -L ${name^^}"
        tool_versions
        echo "rows (state kind count):"
        tail -n +2 "$dir/manifest.tsv" | cut -f2,12 | sort | uniq -c | awk '{print "  " $3 " " $2 " " $1}'
        echo "runs of the files and streams:"
        awk -F'\t' 'NR > 1 && $2 != "dir" {print "  " $1 ": " $10 " (record " $8 ", attrlist " $11 ", " $12 ")"}' "$dir/manifest.tsv"
        echo "tsk_recover -e: $exact of $total manifest files and streams byte-exact"
    } > "$IMAGES_DIR/$name.build-info.txt"
    compress "$img" "$name"
    rm -f "$img"
}

names=("$@")
[ ${#names[@]} -gt 0 ] || names=(ntfs-streams)
for n in "${names[@]}"; do
    case $n in
        ntfs-streams) build ntfs-streams 16 512 4096 streams_tree DELETE_STREAMS ;;
        *) die "unknown image: $n" ;;
    esac
done
