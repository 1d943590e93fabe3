#!/bin/bash
# ntfs-disk.sh -- builds partitioned disk images holding NTFS volumes.
#
#   ntfs-two-volumes  36 MiB disk, MBR (pinned disk identifier), two NTFS
#                     partitions: 1 at sector 2048 (16 MiB), 2 at sector
#                     36864 (17 MiB), 1 MiB free before each and at the end
#
# Each volume is made in a file of its own, with mkntfs told the partition's
# start sector (-p) and a 255-head, 63-sector geometry, so that the boot
# sector's hidden-sectors field is what it is on a real disk.  It is filled
# through ntfs-3g with a small tree of its own (both have a readme.txt in the
# root, of different sizes), its manifest recorded, a few items deleted, the
# manifest finalized and checked with The Sleuth Kit, and then it is copied
# into its partition.  The disk is checked with mmls, and fls -o of each
# partition must list exactly what fls listed in the volume's own file.
# Needs root, FUSE, ntfs-3g, mkntfs, sfdisk, sleuthkit, xz.  Usage: ntfs-disk.sh [NAME]
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"

need_root
need_tools mkntfs ntfs-3g fusermount mountpoint sfdisk mmls fls istat icat tsk_recover xz truncate "$PYTHON"
[ -n "${WORK:-}" ] || make_work

CL=4096
DISK_SECTORS=73728
LABEL_ID=0x44524b32
# partition: start sector, sectors, volume label
PARTS=("2048 32768 OFFICE" "36864 34816 MEDIA")

plan_1() {
    cat <<EOF
file|readme.txt|300
mixed|Invoices/2023|14|$CL
file|Invoices/2023/deleted invoice.pdf|$((3 * CL + 17))
mixed|Invoices/2024|9|$CL
mixed|Letters|8|$CL
file|Letters/deleted letter.txt|410
mixed|Contracts/Signed|6|$CL
mixed|Contracts/Drafts|5|$CL
mixed|Scans/Receipts|12|$CL
file|Scans/scan 0001.png|$((45 * CL + 99))
dir|Templates
times-all
EOF
}
# shellcheck disable=SC2034  # DELETE_N are used through a nameref
DELETE_1=("Invoices/2023/deleted invoice.pdf" "Letters/deleted letter.txt" "Contracts/Drafts")

plan_2() {
    cat <<EOF
file|readme.txt|5000
mixed|Photos/2019/Holiday|16|$CL
mixed|Photos/2020/Birthday|10|$CL
file|Photos/2020/Birthday/deleted blurry.jpg|$((6 * CL + 1))
mixed|Music/Jazz|9|$CL
mixed|Music/Rock|7|$CL
backwards|Video/clip.mp4|$((30 * CL + 1234))|$((3 * CL))
mixed|Video|4|$CL
mixed|Downloads|8|$CL
file|Downloads/deleted setup.tmp|$((12 * CL))
dir|Downloads/Empty
times-all
EOF
}
# shellcheck disable=SC2034
DELETE_2=("Photos/2020/Birthday/deleted blurry.jpg" "Downloads/deleted setup.tmp" "Music/Rock")

# build_volume N IMG: partition N's volume in a file of its own, manifest in $dir/pN.tsv
build_volume() {
    local n=$1 img=$2
    local start sectors label
    read -r start sectors label <<< "${PARTS[n - 1]}"
    local mnt=$WORK/mnt-p$n
    local -n del="DELETE_$n"
    log "$name: partition $n, volume $label, sector $start, $sectors sectors"
    rm -f "$img"
    truncate -s $((sectors * 512)) "$img"
    mkntfs -F -Q -q -s 512 -c "$CL" -p "$start" -H 255 -S 63 -L "$label" "$img" 2>/dev/null
    ntfs_mount "$img" "$mnt"
    "plan_$n" | plan "$mnt"
    ntfs_umount
    ntfs_mount "$img" "$mnt" ro
    manifest record "$img" "$mnt" "$dir/p$n-pre.tsv"
    ntfs_umount
    ntfs_mount "$img" "$mnt"
    printf 'rm|%s\n' "${del[@]}" | plan "$mnt"
    ntfs_umount
    printf '%s\n' "${del[@]}" > "$dir/p$n-deleted.lst"
    : > "$dir/none.lst"
    ntfs_mount "$img" "$mnt" ro
    manifest finalize "$img" "$mnt" --pre "$dir/p$n-pre.tsv" --deleted "$dir/p$n-deleted.lst" \
        --created "$dir/none.lst" --out "$dir/p$n.tsv"
    ntfs_umount
    local frag=()
    [ "$n" != 2 ] || frag=(--fragmented "Video/clip.mp4")
    manifest verify "$img" "$dir/p$n.tsv" --report "$dir/p$n-verify.txt" --scratch "$dir/p$n-scratch" "${frag[@]}"
    [ "$(od -An -tu4 -j28 -N4 "$img" | tr -d ' ')" = "$start" ] || die "partition $n: hidden sectors is not $start"
}

build_two_volumes() {
    local name=ntfs-two-volumes
    local dir=$WORK/$name
    local disk=$WORK/$name.img info=$IMAGES_DIR/$name.build-info.txt layout=$IMAGES_DIR/$name.layout.tsv
    local t0=$SECONDS n start sectors label
    mkdir -p "$dir"

    log "$name: $((DISK_SECTORS / 2048)) MiB disk, MBR"
    rm -f "$disk"
    truncate -s $((DISK_SECTORS * 512)) "$disk"
    {
        echo "label: dos"
        echo "label-id: $LABEL_ID"
        echo "unit: sectors"
        for n in 1 2; do
            read -r start sectors label <<< "${PARTS[n - 1]}"
            echo "start=$start, size=$sectors, type=7"
        done
    } > "$dir/sfdisk.in"
    sfdisk -q "$disk" < "$dir/sfdisk.in"

    printf 'partition\tstart_sector\tsectors\n' > "$dir/layout.tsv"
    for n in 1 2; do
        read -r start sectors label <<< "${PARTS[n - 1]}"
        build_volume "$n" "$WORK/p$n.img"
        dd if="$WORK/p$n.img" of="$disk" bs=512 seek="$start" conv=notrunc status=none
        printf '%s\t%s\t%s\n' "$n" "$start" "$sectors" >> "$dir/layout.tsv"
    done

    log "$name: checking the disk with mmls and fls -o"
    mmls "$disk" > "$dir/mmls.txt"
    # start and length of each NTFS (type 7) partition, in table order
    diff <(tail -n +2 "$dir/layout.tsv" | cut -f2,3) \
         <(awk '/\(0x07\)$/ {print $3 + 0 "\t" $5 + 0}' "$dir/mmls.txt") >&2 || die "mmls disagrees with the layout"
    [ "$(sfdisk --dump "$disk" | awk '/^label-id:/ {print $2}')" = "$LABEL_ID" ] || die "label-id not kept"
    for n in 1 2; do
        read -r start sectors label <<< "${PARTS[n - 1]}"
        cmp -s "$WORK/p$n.img" <(dd if="$disk" bs=512 skip="$start" count="$sectors" status=none) \
            || die "partition $n differs from its volume"
        TZ=UTC fls -r -p -o "$start" "$disk" > "$dir/p$n-fls-disk.txt"
        TZ=UTC fls -r -p "$WORK/p$n.img" > "$dir/p$n-fls-vol.txt"
        cmp -s "$dir/p$n-fls-disk.txt" "$dir/p$n-fls-vol.txt" || die "fls -o $start differs from fls of the volume"
    done

    cp "$dir/p1.tsv" "$IMAGES_DIR/$name.p1.manifest.tsv"
    cp "$dir/p2.tsv" "$IMAGES_DIR/$name.p2.manifest.tsv"
    cp "$dir/layout.tsv" "$layout"
    {
        echo "image: $name.img ($((DISK_SECTORS * 512)) bytes), built $(date -u +%Y-%m-%dT%H:%M:%SZ) in $((SECONDS - t0)) s"
        echo "command: tests/images/generate.sh $name"
        echo "sfdisk input:"
        sed 's/^/  /' "$dir/sfdisk.in"
        for n in 1 2; do
            read -r start sectors label <<< "${PARTS[n - 1]}"
            echo "partition $n: mkntfs -F -Q -q -s 512 -c $CL -p $start -H 255 -S 63 -L $label  (1 KiB MFT records)" \
                 "on a file of $sectors sectors, copied to sector $start"
        done
        tool_versions
        echo "sfdisk: $(sfdisk --version)"
        echo "mmls:"
        sed 's/^/  /' "$dir/mmls.txt"
        for n in 1 2; do
            read -r start sectors label <<< "${PARTS[n - 1]}"
            echo "partition $n ($name.p$n.manifest.tsv), rows (state kind count):"
            tail -n +2 "$dir/p$n.tsv" | cut -f2,12 | sort | uniq -c | awk '{print "  " $3 " " $2 " " $1}'
            echo "partition $n, checked with The Sleuth Kit on the volume's own file:"
            sed 's/^/  /' "$dir/p$n-verify.txt"
            echo "  boot sector: hidden sectors $start; fls -r -p -o $start on the disk lists the same" \
                 "$(wc -l < "$dir/p$n-fls-disk.txt") lines as fls -r -p on the volume's file"
        done
    } > "$info"
    compress "$disk" "$name"
    [ "${KEEP_WORK:-0}" = 1 ] || rm -f "$disk" "$WORK"/p[12].img
}

for n in "${@:-ntfs-two-volumes}"; do
    [ "$n" = ntfs-two-volumes ] || die "unknown image for ntfs-disk.sh: $n"
done
build_two_volumes
