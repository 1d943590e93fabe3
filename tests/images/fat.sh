#!/bin/bash
# fat.sh -- builds the plain FAT test volumes (no partition table) and their
# manifests.
#
#   fat12  1.44 MB floppy (mkfs.fat -F 12: 512-byte clusters, 224 root entries)
#   fat16  32 MiB, 2 KiB clusters
#   fat32  64 MiB, 512-byte clusters (129,022 clusters: above FAT32's minimum
#          of 65,525, so the cluster count says FAT32 too)
#
# The same tree in each, sizes in clusters; fat32 adds a folder of many
# clusters and a corner written above cluster 65535.  Everything goes in
# through mtools (there is no vfat driver to mount with), in this order:
#   1. the tree: nested folders (depth 4), long names, Cyrillic and CJK long
#      names, upper-case 8.3 names (mtools stores them without a long-name
#      entry), lower-case 8.3 names (no long name either: the NT case flags
#      say lower case), long names of exactly 13 and 26 characters (long-name
#      entries filled to the last character, no terminator), empty files,
#      files under one cluster, of one cluster, of several and of a few
#      hundred;
#   2. fillers of two clusters each, then every other one deleted (mdel):
#      mtools takes free clusters in ascending order from the start (on FAT32
#      from the FSInfo next-free hint, which is set to "unknown" first), so
#      the files written next land in the two-cluster holes;
#   3. deterministic creation, write and access times on every entry (mtools
#      gives all three the same time): lib/fat.py writes them into the
#      entries, distinct per item, so that swapped fields show;
#   4. the manifest is recorded from the directory entries (lib/fat.py) and
#      checked against mtools copying the tree out; the punched fillers are
#      in it as deleted or reused (their clusters now belong to another file);
#   5. single files (mdel) and a folder tree (mdeltree) are deleted, the
#      manifest finalized (every deleted entry must be the old one with 0xE5
#      in front, its chain free) and checked with fsck.fat -n and The Sleuth
#      Kit (fls, istat, icat).
# Needs mtools, dosfstools, sleuthkit, xz.  Usage: fat.sh [NAME...]
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"

need_tools mkfs.fat fsck.fat mmd mcopy mdel mdeltree fls istat icat xz truncate "$PYTHON"
[ -n "${WORK:-}" ] || make_work

# the tree shared by the three images (needs CL)
tree_plan() {
    cat <<EOF
file|README.TXT|700
file|readme2.txt|$((CL + 1))
dir|Docs/Letters/2023/Drafts
file|Docs/Letters/2023/Drafts/letter to the bank.txt|$((2 * CL + 300))
file|Docs/Letters/2023/Drafts/DRAFT1.TXT|$((CL / 2))
file|Docs/Letters/2023/report 01.txt|$((3 * CL + 5))
file|Docs/Letters/2023/quarterly summary 2023.pdf|$((5 * CL + 77))
file|Docs/Letters/NOTE.TXT|300
file|Docs/Letters/old note.txt|$((CL - 1))
file|Docs/empty.txt|0
file|Docs/EMPTY2.DAT|0
file|Docs/one cluster.bin|$CL
file|Docs/Документы/Отчёт за квартал.txt|$((4 * CL + 100))
file|Docs/Документы/заметки.txt|240
file|Docs/Документы/Удалённый файл.txt|$((2 * CL + 2))
file|Docs/日本語/写真リスト.txt|$((CL + 400))
file|Docs/日本語/メモ.txt|0
file|Photos/Holiday 2022/beach sunset.jpg|$((12 * CL + 100))
file|Photos/Holiday 2022/IMG_0001.JPG|$((6 * CL))
file|Photos/deleted blurry.jpg|$((3 * CL + 9))
file|Media/video clip.mp4|$((200 * CL + 321))
file|Media/deleted movie.avi|$((150 * CL))
mixed|Misc|$MIXED
file|Trash/keep.txt|100
file|Trash/Old Project/README.MD|640
file|Trash/Old Project/src/main.c|$((4 * CL + 10))
file|Trash/Old Project/src/lib/util.c|$((CL + 222))
file|Trash/Old Project/src/lib/UTIL.H|333
file|Trash/Old Project/docs/design notes.txt|$((6 * CL))
file|Trash/Old Project/docs/empty.txt|0
dir|Fragmented
EOF
}

# after the fillers were punched: these land in the two-cluster holes
frag_plan() {
    cat <<EOF
file|Fragmented/split in pieces.dat|$((7 * CL + 11))
file|Fragmented/DELFRAG.BIN|$((5 * CL))
file|Fragmented/deleted fragmented.log|$((6 * CL + 30))
file|Fragmented/many pieces.bin|$((20 * CL - 3))
EOF
}
FRAGMENTED=("Fragmented/split in pieces.dat" "Fragmented/DELFRAG.BIN"
            "Fragmented/deleted fragmented.log" "Fragmented/many pieces.bin")

# removed after the manifest is recorded
DELETE_LIST=(
    "Docs/Letters/NOTE.TXT"
    "Docs/Letters/old note.txt"
    "Docs/EMPTY2.DAT"
    "Docs/Документы/Удалённый файл.txt"
    "Photos/deleted blurry.jpg"
    "Media/deleted movie.avi"
    "Fragmented/DELFRAG.BIN"
    "Fragmented/deleted fragmented.log"
    "Trash/Old Project"
)

# fat32 only: a folder of many clusters, and items above cluster 65535
fat32_plan() {
    cat <<EOF
mixed|Big folder|70
file|Docs/Long name/$LONG|$((2 * CL + 1))
EOF
}
fat32_high_plan() {
    cat <<EOF
file|High/above 65535.txt|$((3 * CL + 3))
file|High/HIGHDEL.BIN|$((4 * CL + 4))
file|High/Gone/inside gone.txt|$((2 * CL + 20))
file|High/Gone/GONE2.TXT|100
EOF
}
DELETE_32=("High/HIGHDEL.BIN" "High/Gone" "Big folder/schedule photo 038.bin" "Big folder/MINUT012.BIN")
HIGH=("High" "High/above 65535.txt" "High/HIGHDEL.BIN" "High/Gone" "High/Gone/inside gone.txt")

# build_fat NAME: see the table below
build_fat() {
    local name=$1
    local img=$WORK/$name.img dir=$WORK/$name
    local info=$IMAGES_DIR/$name.build-info.txt
    local t0=$SECONDS
    local mkfs=(mkfs.fat --invariant --mbr=n -S 512)
    local extra=() dels=("${DELETE_LIST[@]}") p
    mkdir -p "$dir"
    rm -f "$img"
    case $name in
        fat12) CL=512;  MIXED=8;  mkfs+=(-F 12 -s 1 -i 0F12A001 -n FLOPPY12 -C "$img" 1440) ;;
        fat16) CL=2048; MIXED=14; mkfs+=(-F 16 -s 4 -i 0F16A001 -n VOLUME16 -C "$img" 32768) ;;
        fat32) CL=512;  MIXED=14; mkfs+=(-F 32 -s 1 -i 0F32A001 -n VOLUME32 -C "$img" 65536) ;;
        *) die "unknown FAT image: $name" ;;
    esac
    LONG=$("$PYTHON" -c 'import string; s = "255 characters "; s += (string.ascii_lowercase * 10)[:251 - len(s)]; print(s + ".txt")')
    log "$name: ${mkfs[*]}"
    "${mkfs[@]}" >/dev/null
    fatman geometry "$img" > "$dir/geometry.txt"
    grep -q "^FAT${name#fat}," "$dir/geometry.txt" || die "$name: $(cat "$dir/geometry.txt")"

    log "$name: tree, fillers, holes, fragmented files"
    {
        tree_plan
        [ "$name" != fat32 ] || fat32_plan
        echo "fill|Fill|40|$((2 * CL))"
        echo "punch|Fill"
        [ "$name" != fat32 ] || echo "hint|unknown"
        frag_plan
        [ "$name" != fat32 ] || { echo "hint|100000"; fat32_high_plan; }
        echo "times-all"
    } | fat_plan "$img" "$dir/stage"

    log "$name: manifest, deletions, checks with fsck.fat and The Sleuth Kit"
    [ "$name" != fat32 ] || dels+=("${DELETE_32[@]}")
    printf '%s\n' "${dels[@]}" > "$dir/deleted.lst"
    for p in "${FRAGMENTED[@]}"; do extra+=(--fragmented "$p"); done
    extra+=(--lfn-exact "Docs/Letters/2023/report 01.txt" --lfn-exact "Docs/Letters/2023/quarterly summary 2023.pdf"
            --short-only "README.TXT" --short-only "readme2.txt" --short-only "Docs/Letters/NOTE.TXT"
            --short-only "Fragmented/DELFRAG.BIN" --short-only "Docs/EMPTY2.DAT")
    if [ "$name" = fat32 ]; then
        extra+=(--multi-cluster-dir "Big folder" --multi-cluster-dir "Fill")
        for p in "${HIGH[@]}"; do extra+=(--high "$p"); done
    fi
    fat_manifest "$img" "$dir" "${extra[@]}"

    cp "$dir/manifest.tsv" "$IMAGES_DIR/$name.manifest.tsv"
    {
        echo "image: $name.img ($(stat -c %s "$img") bytes), built $(date -u +%Y-%m-%dT%H:%M:%SZ) in $((SECONDS - t0)) s"
        echo "command: tests/images/generate.sh $name"
        echo "${mkfs[*]}" | sed "s|$WORK/||"
        echo "geometry: $(cat "$dir/geometry.txt")"
        fat_tool_versions
        echo "fsck.fat -n: $(cat "$dir/fsck.txt")"
        echo "rows (state kind count):"
        rows_by_state "$dir/manifest.tsv"
        echo "deleted after the manifest was recorded: ${dels[*]}"
        echo "checked:"
        sed 's/^/  /' "$dir/verify.txt"
    } > "$info"
    compress "$img" "$name"
    [ "${KEEP_WORK:-0}" = 1 ] || rm -f "$img"
}

names=("$@")
[ ${#names[@]} -gt 0 ] || names=(fat12 fat16 fat32)
for n in "${names[@]}"; do
    build_fat "$n"
done
