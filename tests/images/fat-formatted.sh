#!/bin/bash
# fat-formatted.sh -- builds fat32-formatted: a populated FAT32 volume that
# was formatted again in place with the same geometry, and then got a few
# new files.
#
#   fat32-formatted  40 MiB, 512-byte clusters (81,650 clusters)
#
# mkfs.fat writes only the reserved sectors, the two FATs and the root
# folder's first cluster, so the old folders' clusters in the data area
# survive, except where the new files' data go (mtools starts at cluster 3
# on the fresh volume): only a scan for folder clusters ('.' and '..'
# entries) can find the old tree, and the old chains are gone with the old
# FAT, so a fragmented old file reads correctly only if its runs are guessed.
#
# Steps (all writes through mtools):
#   1. mkfs.fat -F 32; the old tree: ~15 folders up to 4 deep, ~110 files,
#      folders of several clusters, fillers punched so that three files are
#      fragmented; times set; manifest recorded;
#   2. a few files and one folder tree deleted, the manifest finalized and
#      checked (fat32-formatted.manifest.tsv);
#   3. mkfs.fat again over it with the same geometry (new serial and label);
#   4. new files, recorded in fat32-formatted.new.manifest.tsv and checked;
#   5. the build notes say what of the old volume is left (compared with the
#      image of step 2).
# Needs mtools, dosfstools, sleuthkit, xz.  Usage: fat-formatted.sh [NAME]
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"

need_tools mkfs.fat fsck.fat mmd mcopy mdel mdeltree fls istat icat xz truncate "$PYTHON"
[ -n "${WORK:-}" ] || make_work

CL=512
SECTORS=81920

old_plan() {
    cat <<EOF
# first: the lowest clusters, which the new volume's files take over
file|Letters/cover letter.txt|$((3 * CL + 80))
file|Letters/RESUME.DOC|$((9 * CL + 1))
mixed|Letters|10
file|Documents/Reports/2021/annual report.pdf|$((60 * CL + 5))
mixed|Documents/Reports/2021|30
mixed|Documents/Reports/2022|8
mixed|Documents/Taxes|6
file|Documents/Документы/Отчёт.txt|$((5 * CL + 5))
file|Documents/Документы/заметки.txt|240
mixed|Projects/Alpha/src/core|25
mixed|Projects/Alpha/docs|6
mixed|Projects/Beta|8
file|Photos/2021/Summer/beach 01.jpg|$((40 * CL + 17))
file|Photos/2021/Summer/deleted beach.jpg|$((14 * CL + 321))
mixed|Photos/2021/Summer|12
file|Photos/日本/東京タワー.jpg|$((25 * CL + 2))
file|Old stuff/readme.txt|300
file|Old stuff/LIST.CSV|$((2 * CL + 40))
file|Old stuff/misc/photo.jpg|$((9 * CL + 1))
file|Old stuff/misc/tiny.txt|12
dir|Fragmented
fill|Fragmented/Fill|24|$((2 * CL))
punch|Fragmented/Fill
hint|unknown
file|Fragmented/journal.log|$((9 * CL + 100))
file|Fragmented/MAILBOX.PST|$((7 * CL + 1))
file|Fragmented/deleted partial.tmp|$((5 * CL + 9))
times-all
EOF
}
DELETE_LIST=(
    "Letters/RESUME.DOC"
    "Photos/2021/Summer/deleted beach.jpg"
    "Fragmented/deleted partial.tmp"
    "Old stuff"
)
FRAGMENTED=("Fragmented/journal.log" "Fragmented/MAILBOX.PST" "Fragmented/deleted partial.tmp")

# names the old volume never had
new_plan() {
    cat <<EOF
file|WELCOME.TXT|200
file|Fresh start/notes after format.txt|350
file|Fresh start/copy back.bin|$((100 * CL + 5))
file|Fresh start/Camera/IMG_9001.JPG|$((12 * CL + 70))
times-all
EOF
}

mkfs() {
    mkfs.fat --invariant --mbr=n -S 512 -F 32 -s 1 -i "$1" -n "$2" "$3" >/dev/null
}

build_formatted() {
    local name=fat32-formatted
    local img=$WORK/$name.img old=$WORK/$name.old.img dir=$WORK/$name
    local info=$IMAGES_DIR/$name.build-info.txt
    local t0=$SECONDS p extra=()
    mkdir -p "$dir/old" "$dir/new"

    log "$name: the old volume"
    rm -f "$old" "$img"
    truncate -s $((SECTORS * 512)) "$old"
    mkfs 0F32B001 "OLD VOLUME" "$old"
    fatman geometry "$old" > "$dir/geometry.txt"
    grep -q "^FAT32," "$dir/geometry.txt" || die "$name: $(cat "$dir/geometry.txt")"
    old_plan | fat_plan "$old" "$dir/old/stage"
    printf '%s\n' "${DELETE_LIST[@]}" > "$dir/old/deleted.lst"
    for p in "${FRAGMENTED[@]}"; do extra+=(--fragmented "$p"); done
    fat_manifest "$old" "$dir/old" "${extra[@]}" --multi-cluster-dir "Documents/Reports/2021" \
        --short-only "Letters/RESUME.DOC" --short-only "Fragmented/MAILBOX.PST"

    log "$name: formatted over, new files"
    cp "$old" "$img"
    mkfs 0F32B002 "NEW VOLUME" "$img"
    cp "$img" "$dir/after-mkfs.img"
    fatman geometry "$img" > "$dir/geometry-new.txt"
    new_plan | fat_plan "$img" "$dir/new/stage"
    : > "$dir/new/deleted.lst"
    fat_manifest "$img" "$dir/new"

    log "$name: what is left of the old volume"
    fatman survivors "$old" "$img" "$dir/old/manifest.tsv" --entries "$dir/old/entries.json" \
        --after-format "$dir/after-mkfs.img" --report "$dir/survivors.txt"
    rm -f "$dir/after-mkfs.img"

    cp "$dir/old/manifest.tsv" "$IMAGES_DIR/$name.manifest.tsv"
    cp "$dir/new/manifest.tsv" "$IMAGES_DIR/$name.new.manifest.tsv"
    {
        echo "image: $name.img ($((SECTORS * 512)) bytes), built $(date -u +%Y-%m-%dT%H:%M:%SZ) in $((SECONDS - t0)) s"
        echo "command: tests/images/generate.sh $name"
        echo "mkfs.fat --invariant --mbr=n -S 512 -F 32 -s 1 -i 0F32B001 -n 'OLD VOLUME', populated, then on the"
        echo "  same image mkfs.fat --invariant --mbr=n -S 512 -F 32 -s 1 -i 0F32B002 -n 'NEW VOLUME'"
        echo "old geometry: $(cat "$dir/geometry.txt")"
        echo "new geometry: $(cat "$dir/geometry-new.txt")"
        fat_tool_versions
        echo "old volume ($name.manifest.tsv), rows (state kind count):"
        rows_by_state "$dir/old/manifest.tsv"
        echo "old volume before the format, fsck.fat -n: $(cat "$dir/old/fsck.txt"); checked:"
        sed 's/^/  /' "$dir/old/verify.txt"
        echo "new volume ($name.new.manifest.tsv), rows (state kind count):"
        rows_by_state "$dir/new/manifest.tsv"
        echo "new volume, fsck.fat -n: $(cat "$dir/new/fsck.txt"); checked:"
        sed 's/^/  /' "$dir/new/verify.txt"
        echo "what is left of the old volume in the final image (compared with the image before the format):"
        sed 's/^/  /' "$dir/survivors.txt"
    } > "$info"
    compress "$img" "$name"
    [ "${KEEP_WORK:-0}" = 1 ] || rm -f "$img" "$old"
}

for n in "${@:-fat32-formatted}"; do
    [ "$n" = fat32-formatted ] || die "unknown image for fat-formatted.sh: $n"
done
build_formatted
