#!/bin/bash
# disk-4k.sh -- builds a disk image of 4096-byte sectors with a GPT, with the
# manifest of its NTFS partition.
#
#   disk-4k  24 MiB disk of 6144 sectors of 4096 bytes (sfdisk with
#            "sector-size: 4096": the GPT header at byte 4096, none at 512),
#            one NTFS partition from sector 256 (1 MiB) made with
#            mkntfs -s 4096 -c 4096: a small tree, a compressed folder, a
#            stream, deleted files. The volume is built as a file, filled
#            through ntfs-3g and copied into the partition.
# Needs root, FUSE, a loop device, ntfs-3g, mkntfs, sfdisk, setfattr (attr), sleuthkit, xz.
# Usage: disk-4k.sh [NAME...]
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"

need_root
need_tools mkntfs ntfs-3g fusermount mountpoint sfdisk losetup setfattr mmls fls icat tsk_recover xz truncate "$PYTHON"
[ -n "${WORK:-}" ] || make_work

SECTOR=4096
DISK_SECTORS=6144
PART_START=256
PART_SECTORS=5120
DISK_GUID=44524B34-0000-4000-8000-000000000001
PART_GUID=44524B34-0000-4000-8000-000000000002

fourk_disk_tree() {
    local m=$1
    mkdir -p "$m/Packed"
    setfattr -v 0x00000800 -n system.ntfs_attrib_be "$m/Packed"
    plan "$m" <<EOF2
file|readme.txt|600
file|Documents/report.log|300000
file|Documents/notes/todo.txt|5000
stream|Documents/notes/todo.txt|Zone.Identifier|26
file|Documents/Old/deleted report.log|250000
file|Documents/deleted small.txt|700
file|Packed/compressed.txt|200000
file|Packed/deleted compressed.txt|150000
backwards|Media/clip.bin|600000|16384
file|Media/deleted video.bin|1000000
EOF2
    echo "times-all" | plan "$m"
}
DELETE_DISK=("Documents/Old" "Documents/deleted small.txt" "Packed/deleted compressed.txt" "Media/deleted video.bin")

build_disk() {
    local name=disk-4k
    local dir=$WORK/$name disk=$WORK/$name.img vol=$WORK/$name-p1.img mnt=$WORK/mnt-$name
    local t0=$SECONDS
    mkdir -p "$dir"
    log "$name: $((DISK_SECTORS * SECTOR >> 20)) MiB disk of $SECTOR-byte sectors, GPT"
    rm -f "$disk" "$vol"
    truncate -s $((DISK_SECTORS * SECTOR)) "$disk"
    # sfdisk takes a file's sectors as 512 bytes whatever its script says: a
    # loop device of 4096-byte sectors gives it the disk as a 4Kn drive.
    local loop
    loop=$(losetup -f --show -b $SECTOR "$disk")
    sfdisk -q "$loop" <<EOF2 || { losetup -d "$loop"; die "sfdisk failed"; }
label: gpt
label-id: $DISK_GUID
sector-size: $SECTOR
unit: sectors
first-lba: 6
start=$PART_START, size=$PART_SECTORS, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, uuid=$PART_GUID, name="DATA"
EOF2
    losetup -d "$loop"
    [ "$(dd if="$disk" bs=1 skip=$SECTOR count=8 status=none)" = "EFI PART" ] || die "no GPT header at byte $SECTOR"
    [ "$(dd if="$disk" bs=1 skip=512 count=8 status=none | tr -d '\0')" != "EFI PART" ] || die "a GPT header at byte 512"

    truncate -s $((PART_SECTORS * SECTOR)) "$vol"
    mkntfs -F -Q -q -s $SECTOR -c 4096 -p $PART_START -H 255 -S 63 -L FOURK "$vol" 2>/dev/null
    ntfs_mount "$vol" "$mnt"
    fourk_disk_tree "$mnt"
    ntfs_umount
    ntfs_mount "$vol" "$mnt" ro
    manifest record "$vol" "$mnt" "$dir/pre.tsv"
    ntfs_umount
    ntfs_mount "$vol" "$mnt"
    printf 'rm|%s\n' "${DELETE_DISK[@]}" | plan "$mnt"
    ntfs_umount
    printf '%s\n' "${DELETE_DISK[@]}" > "$dir/deleted.lst"
    : > "$dir/created.lst"
    ntfs_mount "$vol" "$mnt" ro
    manifest finalize "$vol" "$mnt" --pre "$dir/pre.tsv" --deleted "$dir/deleted.lst" \
        --created "$dir/created.lst" --out "$dir/p1.tsv"
    ntfs_umount
    dd if="$vol" of="$disk" bs=$SECTOR seek=$PART_START conv=notrunc status=none
    cp "$dir/p1.tsv" "$IMAGES_DIR/$name.p1.manifest.tsv"
    printf 'partition\tstart_sector\tsectors\n1\t%s\t%s\n' $PART_START $PART_SECTORS > "$IMAGES_DIR/$name.layout.tsv"

    log "$name: what The Sleuth Kit sees and recovers"
    mmls -b $SECTOR "$disk" > "$IMAGES_DIR/$name.mmls.txt" 2>&1 || true
    rm -rf "$dir/tsk"
    tsk_recover -e -b $SECTOR -o $PART_START "$disk" "$dir/tsk" > "$dir/tsk.txt" 2>&1 || true
    local exact=0 total=0 path md5
    while IFS=$'\t' read -r path md5; do
        total=$((total + 1))
        [ -f "$dir/tsk/$path" ] && [ "$(md5sum < "$dir/tsk/$path" | cut -d' ' -f1)" = "$md5" ] && exact=$((exact + 1))
    done < <(awk -F'\t' 'NR > 1 && $2 == "file" {print $1 "\t" $4}' "$dir/p1.tsv")
    {
        echo "image: $name.img ($((DISK_SECTORS * SECTOR)) bytes), built $(date -u +%Y-%m-%dT%H:%M:%SZ) in $((SECONDS - t0)) s"
        echo "command: tests/images/generate.sh $name"
        echo "sfdisk: gpt, sector-size $SECTOR, partition 1 at sector $PART_START, $PART_SECTORS sectors"
        echo "mkntfs -F -Q -q -s $SECTOR -c 4096 -p $PART_START -H 255 -S 63 -L FOURK"
        tool_versions
        echo "rows (state kind count):"
        tail -n +2 "$dir/p1.tsv" | cut -f2,12 | sort | uniq -c | awk '{print "  " $3 " " $2 " " $1}'
        echo "tsk_recover -e -b $SECTOR -o $PART_START: $exact of $total manifest files byte-exact"
    } > "$IMAGES_DIR/$name.build-info.txt"
    compress "$disk" "$name"
    rm -f "$disk" "$vol"
}

names=("$@")
[ ${#names[@]} -gt 0 ] || names=(disk-4k)
for n in "${names[@]}"; do
    case $n in
        disk-4k) build_disk ;;
        *) die "unknown image: $n" ;;
    esac
done
