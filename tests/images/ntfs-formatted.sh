#!/bin/bash
# ntfs-formatted.sh -- builds ntfs-formatted: a populated NTFS volume that was
# quick-formatted again in place, and then got a few new files.
#
#   ntfs-formatted  32 MiB, 4 KiB clusters, 512-byte sectors, 1 KiB MFT records
#
# What is left of the old volume can only be found by scanning the image for
# FILE records and INDX blocks: the new $MFT sits where the old one began
# (same geometry), so only the first records and the records the new files
# took are gone, and the new files' data cover the start of the old data.
#
# Steps (all writes go through an ntfs-3g mount):
#   1. mkntfs -Q; the old tree: ~40 folders 3-4 deep, ~300 files of mixed
#      sizes (several folders of more than 30 entries, so their indexes have
#      INDX blocks), files fragmented by writing them backwards and by
#      appending to them later; all times set;
#   2. the manifest of the old volume is recorded, a few files and one folder
#      tree are deleted, the manifest finalized and checked with The Sleuth Kit;
#   3. mkntfs -Q again over it, with the same geometry;
#   4. a few new files through ntfs-3g, recorded in the second manifest
#      (ntfs-formatted.new.manifest.tsv) and checked with The Sleuth Kit;
#   5. the build notes count what a sector scan still finds of the old volume
#      (FILE records, data, INDX blocks), comparing with the image of step 2.
# Needs root, FUSE, ntfs-3g, mkntfs, sleuthkit, xz.  Usage: ntfs-formatted.sh [NAME]
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"

need_root
need_tools mkntfs ntfs-3g fusermount mountpoint fls istat icat tsk_recover xz truncate "$PYTHON"
[ -n "${WORK:-}" ] || make_work

CL=4096
MIB=32

# the old volume's tree; "mixed" draws names and sizes (see lib/tree.py)
old_plan() {
    cat <<EOF
# first: the lowest user records, which the new volume's files take over
file|Documents/Letters/résumé.txt|2100
file|Documents/Letters/cover letter.txt|380
file|Documents/Letters/draft letter.txt|420
mixed|Documents/Letters|12|$CL

file|Fragmented/journal.log|$((3 * CL + 100))
file|Fragmented/mailbox.pst|$((2 * CL))
mixed|Documents/Reports/2021|36|$CL
mixed|Documents/Reports/2022|8|$CL
mixed|Documents/Reports/2022/Drafts|7|$CL
mixed|Documents/Taxes|6|$CL
file|Documents/Документы/Отчёт.txt|5000
file|Documents/Документы/заметки.txt|240

mixed|Projects/Alpha/src/core|36|$CL
mixed|Projects/Alpha/src/ui|8|$CL
mixed|Projects/Alpha/docs|6|$CL
mixed|Projects/Alpha/tests|8|$CL
mixed|Projects/Beta/src|10|$CL
mixed|Projects/Beta/assets/icons|33|$CL
mixed|Projects/Beta/assets/sounds|4|$CL

append|Fragmented/journal.log|$((11 * CL + 7))

mixed|Photos/2021/Summer|33|$CL
file|Photos/2021/Summer/deleted beach.jpg|$((14 * CL + 321))
mixed|Photos/2021/Winter|7|$CL
mixed|Photos/2022/Spring|8|$CL
mixed|Photos/2022/Trips/Paris|6|$CL
mixed|Photos/2022/Trips/Rome|5|$CL

mixed|Music/Albums/First Album|8|$CL
mixed|Music/Albums/Live Recordings|5|$CL
mixed|Music/Playlists|4|$CL

backwards|Fragmented/download.bin|$((40 * CL + 10))|$((2 * CL))
backwards|Fragmented/deleted partial.tmp|$((18 * CL + 9))|$((3 * CL))
append|Fragmented/mailbox.pst|$((7 * CL + 1))

mixed|Mail/Inbox|31|$CL
file|Mail/Inbox/deleted message.eml|450
mixed|Mail/Sent|6|$CL
mixed|Mail/Archive|8|$CL

file|Downloads/Installers/setup.bin|$((256 * CL + 11))
file|Downloads/Installers/driver.bin|$((70 * CL))
mixed|Downloads|8|$CL
dir|Empty folder

file|Old stuff/readme.txt|300
file|Old stuff/list.csv|$((2 * CL + 40))
file|Old stuff/misc/photo.jpg|$((9 * CL + 1))
file|Old stuff/misc/tiny.txt|12

append|Fragmented/journal.log|$((26 * CL + 17))
append|Fragmented/mailbox.pst|$((19 * CL + 900))
times-all
EOF
}

# removed after the old manifest is recorded
DELETE_LIST=(
    "Documents/Letters/draft letter.txt"
    "Photos/2021/Summer/deleted beach.jpg"
    "Mail/Inbox/deleted message.eml"
    "Fragmented/deleted partial.tmp"
    "Old stuff"
)
FRAGMENTED=("Fragmented/journal.log" "Fragmented/mailbox.pst" "Fragmented/download.bin"
            "Fragmented/deleted partial.tmp")

# written to the fresh volume; names the old volume never had
new_plan() {
    cat <<EOF
file|welcome after format.txt|200
file|Fresh start/notes.txt|350
file|Fresh start/plan.doc|$((3 * CL + 33))
file|Fresh start/copy back.bin|$((200 * CL + 5))
file|Fresh start/Camera/IMG_9001.jpg|$((12 * CL + 700))
file|Fresh start/Camera/IMG_9002.jpg|$((9 * CL + 70))
file|Fresh start/Camera/IMG_9003.jpg|2500
times-all
EOF
}

# mkfs IMG LABEL: the same geometry both times
mkfs() {
    mkntfs -F -Q -q -s 512 -c "$CL" -p 0 -H 255 -S 63 -L "$2" "$1" 2>/dev/null
}

build_formatted() {
    local name=ntfs-formatted
    local img=$WORK/$name.img old=$WORK/$name.old.img mnt=$WORK/mnt-$name dir=$WORK/$name
    local info=$IMAGES_DIR/$name.build-info.txt
    local frag_args=() p
    for p in "${FRAGMENTED[@]}"; do frag_args+=(--fragmented "$p"); done
    mkdir -p "$dir"
    local t0=$SECONDS

    log "$name: the old volume, ${MIB} MiB, ${CL}-byte clusters"
    rm -f "$old" "$img"
    truncate -s "${MIB}M" "$old"
    mkfs "$old" "OLD VOLUME"
    ntfs_mount "$old" "$mnt"
    old_plan | plan "$mnt"
    ntfs_umount

    log "$name: recording the old manifest, deleting"
    ntfs_mount "$old" "$mnt" ro
    manifest record "$old" "$mnt" "$dir/pre.tsv"
    ntfs_umount
    ntfs_mount "$old" "$mnt"
    printf 'rm|%s\n' "${DELETE_LIST[@]}" | plan "$mnt"
    ntfs_umount
    printf '%s\n' "${DELETE_LIST[@]}" > "$dir/deleted.lst"
    : > "$dir/none.lst"
    ntfs_mount "$old" "$mnt" ro
    manifest finalize "$old" "$mnt" --pre "$dir/pre.tsv" --deleted "$dir/deleted.lst" \
        --created "$dir/none.lst" --out "$dir/old.tsv"
    ntfs_umount
    log "$name: checking the old volume with The Sleuth Kit"
    manifest verify "$old" "$dir/old.tsv" --report "$dir/verify-old.txt" --scratch "$dir/scratch-old" \
        "${frag_args[@]}"

    log "$name: quick format over it, new files"
    cp "$old" "$img"
    mkfs "$img" "${name^^}"
    ntfs_mount "$img" "$mnt"
    new_plan | plan "$mnt"
    ntfs_umount
    ntfs_mount "$img" "$mnt" ro
    manifest record "$img" "$mnt" "$dir/new.tsv"
    ntfs_umount
    manifest verify "$img" "$dir/new.tsv" --report "$dir/verify-new.txt" --scratch "$dir/scratch-new"

    log "$name: what is left of the old volume"
    manifest survivors "$old" "$img" "$dir/old.tsv" --report "$dir/survivors.txt"

    cp "$dir/old.tsv" "$IMAGES_DIR/$name.manifest.tsv"
    cp "$dir/new.tsv" "$IMAGES_DIR/$name.new.manifest.tsv"
    {
        echo "image: $name.img ($((MIB << 20)) bytes), built $(date -u +%Y-%m-%dT%H:%M:%SZ) in $((SECONDS - t0)) s"
        echo "command: tests/images/generate.sh $name"
        echo "mkntfs -F -Q -q -s 512 -c $CL -p 0 -H 255 -S 63 -L 'OLD VOLUME', populated, then on the same"
        echo "  image mkntfs -F -Q -q -s 512 -c $CL -p 0 -H 255 -S 63 -L ${name^^}  (1 KiB MFT records)"
        tool_versions
        echo "old volume ($name.manifest.tsv), rows (state kind count):"
        tail -n +2 "$dir/old.tsv" | cut -f2,12 | sort | uniq -c | awk '{print "  " $3 " " $2 " " $1}'
        echo "old volume, fragments of the fragmented files:"
        awk -F'\t' 'FNR > 1 && $10 != "-" && $10 > 1 {print "  " $1 ": " $10 " (record " $8 ", " $12 ")"}' "$dir/old.tsv"
        echo "old volume before the reformat, checked with The Sleuth Kit:"
        sed 's/^/  /' "$dir/verify-old.txt"
        echo "new volume ($name.new.manifest.tsv), rows (state kind count):"
        tail -n +2 "$dir/new.tsv" | cut -f2,12 | sort | uniq -c | awk '{print "  " $3 " " $2 " " $1}'
        echo "new volume, checked with The Sleuth Kit:"
        sed 's/^/  /' "$dir/verify-new.txt"
        echo "what is left of the old volume in the final image (compared with the image before the reformat):"
        sed 's/^/  /' "$dir/survivors.txt"
    } > "$info"
    compress "$img" "$name"
    [ "${KEEP_WORK:-0}" = 1 ] || rm -f "$img" "$old"
}

for n in "${@:-ntfs-formatted}"; do
    [ "$n" = ntfs-formatted ] || die "unknown image for ntfs-formatted.sh: $n"
done
build_formatted
