#!/bin/bash
# disk.sh -- builds the disk images for the partition-table walk and the
# search for lost file systems: FAT and NTFS volumes behind MBR and GPT
# tables, behind damaged tables and behind none.
#
#   disk-mbr            MBR: NTFS, FAT32 (0x0B), an extended partition with a
#                       chain of two logical FAT16 partitions (0x06, 0x0E)
#   disk-mbr-odd        MBR: FAT32 in a partition typed 0x83 (Linux), FAT32 in
#                       one typed 0x0C
#   disk-gpt            GPT: FAT32, a Linux-typed partition holding no file
#                       system, FAT32
#   disk-gpt-backup     the same kind of disk, then the primary GPT header
#                       (LBA 1) zeroed: only the backup header is valid
#   disk-nontable       a FAT32 volume from sector 0, no table
#   disk-nontable-ntfs  an NTFS volume from sector 0, no table
#   disk-zeroed         MBR with NTFS and FAT32, then sector 0 zeroed
#
# Each volume is made in a file of its own (mkfs.fat -h START, mkntfs -p
# START, so the boot sector's hidden-sectors field is the partition's start),
# filled (mtools, ntfs-3g), its manifest recorded, a file and a folder tree
# deleted, the manifest finalized and checked, and then the file is copied
# into its partition.  The table is written by sfdisk with pinned disk and
# partition identifiers.  The disk is checked against <disk>.layout.tsv with
# sfdisk and mmls (lib/disk.py), and fls -o START on the disk must list
# exactly what fls listed in the volume's own file.
# Needs root, FUSE, ntfs-3g, mkntfs, mtools, dosfstools, sfdisk, sleuthkit,
# xz.  Usage: disk.sh [NAME...]
set -euo pipefail
. "$(dirname "$0")/lib/common.sh"

need_root
need_tools mkntfs ntfs-3g fusermount mountpoint mkfs.fat fsck.fat mmd mcopy mdel mdeltree sfdisk \
    mmls fls istat icat tsk_recover xz truncate "$PYTHON"
[ -n "${WORK:-}" ] || make_work

GPT_DATA=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7
GPT_LINUX=0FC63DAF-8483-4772-8E79-3D69D8477DE4

# disk_layout NAME: TABLE (mbr, gpt, none), DISK_SECTORS, LABEL_ID, and PARTS,
# one "number|type|start|sectors|filesystem|label|theme|uuid|name" per partition
disk_layout() {
    case $1 in
        disk-mbr)
            TABLE=mbr DISK_SECTORS=151552 LABEL_ID=0x44524b33
            PARTS=("1|0x07|2048|32768|NTFS|SYSTEM|Windows||"
                   "2|0x0b|34816|73728|FAT32|ACCOUNTS|Accounts||"
                   "3|0x05|108544|40960|none||||"
                   "5|0x06|110592|16384|FAT16|MUSIC|Music||"
                   "6|0x0e|129024|20480|FAT16|GAMES|Games||") ;;
        disk-mbr-odd)
            TABLE=mbr DISK_SECTORS=151552 LABEL_ID=0x44524b34
            PARTS=("1|0x83|2048|73728|FAT32|LINUXTYPED|Mistyped||"
                   "2|0x0c|75776|73728|FAT32|LBA FAT32|Lba||") ;;
        disk-gpt|disk-gpt-backup)
            TABLE=gpt DISK_SECTORS=159744
            if [ "$1" = disk-gpt ]; then
                LABEL_ID=44524B35-0000-4000-8000-000000000001
                PARTS=("1|$GPT_DATA|2048|73728|FAT32|ALPHA|Alpha|44524B35-0001-4000-8000-000000000001|Alpha data"
                       "2|$GPT_LINUX|75776|8192|none||Raw|44524B35-0002-4000-8000-000000000001|Linux raw"
                       "3|$GPT_DATA|83968|73728|FAT32|BETA|Beta|44524B35-0003-4000-8000-000000000001|Beta data")
            else
                LABEL_ID=44524B36-0000-4000-8000-000000000001
                PARTS=("1|$GPT_DATA|2048|73728|FAT32|GAMMA|Gamma|44524B36-0001-4000-8000-000000000001|Gamma data"
                       "2|$GPT_LINUX|75776|8192|none||Raw|44524B36-0002-4000-8000-000000000001|Linux raw"
                       "3|$GPT_DATA|83968|73728|FAT32|DELTA|Delta|44524B36-0003-4000-8000-000000000001|Delta data")
            fi ;;
        disk-nontable)
            TABLE=none DISK_SECTORS=73728 LABEL_ID=-
            PARTS=("0|-|0|73728|FAT32|WHOLEDISK|Whole||") ;;
        disk-nontable-ntfs)
            TABLE=none DISK_SECTORS=16384 LABEL_ID=-
            PARTS=("0|-|0|16384|NTFS|WHOLE NTFS|Whole||") ;;
        disk-zeroed)
            TABLE=mbr DISK_SECTORS=110592 LABEL_ID=0x44524b37
            PARTS=("1|0x07|2048|32768|NTFS|LOST NTFS|Vanished||"
                   "2|0x0c|34816|73728|FAT32|LOST FAT32|Forgotten||") ;;
        *) die "unknown disk image: $1" ;;
    esac
}

# a small tree per volume, named after its theme; the readme's size differs
# per partition, so that items read from the wrong volume show
fat_part_plan() {
    local t=$1 readme=$2 cl=$3
    cat <<EOF
file|README.TXT|$readme
file|$t/notes about $t.txt|$((3 * cl + ${#t}))
mixed|$t/Current|6
mixed|$t/Archive/2021|5
file|$t/Archive/deleted old $t.txt|$((2 * cl + 7))
file|$t/EMPTY.TXT|0
mixed|Trash $t|3
file|Trash $t/inner/last one.txt|900
times-all
EOF
}
ntfs_part_plan() {
    local t=$1 readme=$2 cl=4096
    cat <<EOF
file|readme.txt|$readme
file|$t/notes about $t.txt|$((3 * cl + ${#t}))
mixed|$t/Current|8|$cl
mixed|$t/Archive/2021|6|$cl
file|$t/Archive/deleted old $t.txt|$((3 * cl + 7))
dir|$t/Empty
mixed|Trash $t|4|$cl
file|Trash $t/inner/last one.txt|900
times-all
EOF
}
part_deletes() {
    printf '%s\n' "$1/Archive/deleted old $1.txt" "Trash $1"
}

# fat_volume DIR IMG START SECTORS FS LABEL THEME README: DIR/manifest.tsv
fat_volume() {
    local d=$1 img=$2 start=$3 sectors=$4 fs=$5 label=$6 theme=$7 readme=$8
    local spc=1 serial
    [ "$fs" = FAT32 ] || spc=2
    serial=$(printf '%08X' $((0x0D150000 + start / 2048)))
    mkdir -p "$d"
    rm -f "$img"
    truncate -s $((sectors * 512)) "$img"
    mkfs.fat --invariant --mbr=n -S 512 -F "${fs#FAT}" -s $spc -h "$start" -i "$serial" -n "$label" "$img" >/dev/null
    echo "mkfs.fat --invariant --mbr=n -S 512 -F ${fs#FAT} -s $spc -h $start -i $serial -n '$label'" > "$d/mkfs.txt"
    fatman geometry "$img" > "$d/geometry.txt"
    grep -q "^$fs," "$d/geometry.txt" || die "$img: $(cat "$d/geometry.txt")"
    fat_part_plan "$theme" "$readme" $((512 * spc)) | fat_plan "$img" "$d/stage"
    part_deletes "$theme" > "$d/deleted.lst"
    fat_manifest "$img" "$d" --short-only "README.TXT" --short-only "$theme/EMPTY.TXT"
}

# ntfs_volume DIR IMG START SECTORS LABEL THEME README: DIR/manifest.tsv
ntfs_volume() {
    local d=$1 img=$2 start=$3 sectors=$4 label=$5 theme=$6 readme=$7
    local mnt=$d/mnt
    mkdir -p "$d"
    rm -f "$img"
    truncate -s $((sectors * 512)) "$img"
    mkntfs -F -Q -q -s 512 -c 4096 -p "$start" -H 255 -S 63 -L "$label" "$img" 2>/dev/null
    echo "mkntfs -F -Q -q -s 512 -c 4096 -p $start -H 255 -S 63 -L '$label'  (1 KiB MFT records)" > "$d/mkfs.txt"
    ntfs_mount "$img" "$mnt"
    ntfs_part_plan "$theme" "$readme" | plan "$mnt"
    ntfs_umount
    ntfs_mount "$img" "$mnt" ro
    manifest record "$img" "$mnt" "$d/pre.tsv"
    ntfs_umount
    part_deletes "$theme" > "$d/deleted.lst"
    ntfs_mount "$img" "$mnt"
    sed 's/^/rm|/' "$d/deleted.lst" | plan "$mnt"
    ntfs_umount
    : > "$d/none.lst"
    ntfs_mount "$img" "$mnt" ro
    manifest finalize "$img" "$mnt" --pre "$d/pre.tsv" --deleted "$d/deleted.lst" \
        --created "$d/none.lst" --out "$d/manifest.tsv"
    ntfs_umount
    manifest verify "$img" "$d/manifest.tsv" --report "$d/verify.txt" --scratch "$d/scratch"
    echo "NTFS, 512-byte sectors, 4096-byte clusters, $sectors sectors, hidden sectors $start" > "$d/geometry.txt"
}

# run_mmls DISK OUT: mmls's output; when it finds no table, what it and
# mmls -t dos say
run_mmls() {
    local disk=$1 out=$2 rc=0 txt
    txt=$(mmls "$disk" 2>&1) || rc=$?
    if [ $rc = 0 ]; then
        printf '%s\n' "$txt" > "$out"
    else
        {
            echo "\$ mmls $(basename "$disk")"
            echo "${txt:-(nothing printed)}"
            echo "(exit status $rc)"
            echo "\$ mmls -t dos $(basename "$disk")"
            mmls -t dos "$disk" 2>&1 || echo "(exit status $?)"
        } > "$out"
    fi
}

build_disk() {
    local name=$1
    local dir=$WORK/$name disk=$WORK/$name.img info=$IMAGES_DIR/$name.build-info.txt
    local t0=$SECONDS entry n typ start sectors fs label theme uuid pname check=
    disk_layout "$name"
    mkdir -p "$dir"
    rm -f "$disk"
    truncate -s $((DISK_SECTORS * 512)) "$disk"
    log "$name: $((DISK_SECTORS / 2048)) MiB disk, table: $TABLE"

    if [ "$TABLE" != none ]; then
        {
            [ "$TABLE" = mbr ] && echo "label: dos" || echo "label: gpt"
            echo "label-id: $LABEL_ID"
            echo "unit: sectors"
            [ "$TABLE" = mbr ] || echo "first-lba: 2048"
            for entry in "${PARTS[@]}"; do
                IFS='|' read -r n typ start sectors fs label theme uuid pname <<< "$entry"
                if [ "$TABLE" = mbr ]; then
                    echo "start=$start, size=$sectors, type=${typ#0x}"
                else
                    echo "start=$start, size=$sectors, type=$typ, uuid=$uuid, name=\"$pname\""
                fi
            done
        } > "$dir/sfdisk.in"
        sfdisk -q "$disk" < "$dir/sfdisk.in"
    fi

    printf 'partition\ttype\tstart_sector\tsectors\tfilesystem\n' > "$dir/layout.tsv"
    for entry in "${PARTS[@]}"; do
        IFS='|' read -r n typ start sectors fs label theme uuid pname <<< "$entry"
        printf '%s\t%s\t%s\t%s\t%s\n' "$n" "$typ" "$start" "$sectors" "$fs" >> "$dir/layout.tsv"
        local vol=$WORK/$name.p$n.img readme=$((300 + 1000 * n + ${#theme}))
        case $fs in
            FAT*) log "$name: partition $n, $fs '$label' at sector $start"
                  fat_volume "$dir/p$n" "$vol" "$start" "$sectors" "$fs" "$label" "$theme" "$readme" ;;
            NTFS) log "$name: partition $n, NTFS '$label' at sector $start"
                  ntfs_volume "$dir/p$n" "$vol" "$start" "$sectors" "$label" "$theme" "$readme" ;;
            none) [ "$typ" = 0x05 ] && continue
                  "$PYTHON" "$LIB_DIR/disk.py" pattern "$vol" "$sectors" "$name.p$n" ;;
        esac
        dd if="$vol" of="$disk" bs=512 seek="$start" conv=notrunc status=none
    done

    # the table as written must match the layout, before any damage
    run_mmls "$disk" "$dir/mmls-intact.txt"
    "$PYTHON" "$LIB_DIR/disk.py" check "$disk" "$dir/layout.tsv" --table "$TABLE" \
        --mmls "$dir/mmls-intact.txt" --report "$dir/check-intact.txt"
    case $name in
        disk-gpt-backup)
            dd if=/dev/zero of="$disk" bs=512 seek=1 count=1 conv=notrunc status=none
            check=gpt-backup
            sed -i '1i # the primary GPT header (LBA 1) is zeroed: only the backup header in the last sector, and the entries it points to, are valid' "$dir/layout.tsv" ;;
        disk-zeroed)
            dd if=/dev/zero of="$disk" bs=512 count=1 conv=notrunc status=none
            check=zeroed
            sed -i '1i # sector 0 (the MBR) is zeroed: there is no table; the rows say where the partitions were' "$dir/layout.tsv" ;;
        disk-nontable*)
            sed -i '1i # no partition table: one volume from sector 0 (partition 0)' "$dir/layout.tsv" ;;
    esac
    run_mmls "$disk" "$dir/mmls.txt"
    if [ -n "$check" ]; then
        "$PYTHON" "$LIB_DIR/disk.py" check "$disk" "$dir/layout.tsv" --table "$check" \
            --mmls "$dir/mmls.txt" --report "$dir/check.txt"
    else
        cp "$dir/check-intact.txt" "$dir/check.txt"
    fi

    log "$name: fls -o on the disk against fls on each volume"
    for entry in "${PARTS[@]}"; do
        IFS='|' read -r n typ start sectors fs label theme uuid pname <<< "$entry"
        [ "$fs" != none ] || continue
        local vol=$WORK/$name.p$n.img
        cmp -s "$vol" <(dd if="$disk" bs=512 skip="$start" count="$sectors" status=none) \
            || die "partition $n differs from its volume"
        fls -r -p -o "$start" "$disk" > "$dir/p$n/fls-disk.txt"
        fls -r -p "$vol" > "$dir/p$n/fls-vol.txt"
        cmp -s "$dir/p$n/fls-disk.txt" "$dir/p$n/fls-vol.txt" || die "fls -o $start differs from fls of the volume"
        cp "$dir/p$n/manifest.tsv" "$IMAGES_DIR/$name.p$n.manifest.tsv"
    done
    cp "$dir/layout.tsv" "$IMAGES_DIR/$name.layout.tsv"
    cp "$dir/mmls.txt" "$IMAGES_DIR/$name.mmls.txt"

    {
        echo "image: $name.img ($((DISK_SECTORS * 512)) bytes), built $(date -u +%Y-%m-%dT%H:%M:%SZ) in $((SECONDS - t0)) s"
        echo "command: tests/images/generate.sh $name"
        if [ -s "$dir/sfdisk.in" ]; then
            echo "sfdisk input:"
            sed 's/^/  /' "$dir/sfdisk.in"
        fi
        case $name in
            disk-gpt-backup) echo "then: sector 1 (the primary GPT header) overwritten with zeros" ;;
            disk-zeroed) echo "then: sector 0 (the MBR) overwritten with zeros" ;;
        esac
        tool_versions
        echo "mtools: $(mtools --version 2>&1 | head -1)"
        echo "sfdisk: $(sfdisk --version)"
        if [ "$name" = disk-gpt-backup ] || [ "$name" = disk-zeroed ]; then
            echo "mmls before the damage:"
            sed 's/^/  /' "$dir/mmls-intact.txt"
            echo "checked before the damage:"
            sed 's/^/  /' "$dir/check-intact.txt"
        fi
        echo "mmls ($name.mmls.txt):"
        sed 's/^/  /' "$dir/mmls.txt"
        echo "layout checked ($name.layout.tsv):"
        sed 's/^/  /' "$dir/check.txt"
        for entry in "${PARTS[@]}"; do
            IFS='|' read -r n typ start sectors fs label theme uuid pname <<< "$entry"
            if [ "$fs" = none ]; then
                [ "$typ" = 0x05 ] && echo "partition $n: extended partition (EBR chain)" \
                    || echo "partition $n: no file system; 64 sectors of seeded random bytes, then text lines"
                continue
            fi
            echo "partition $n ($name.p$n.manifest.tsv): $(cat "$dir/p$n/mkfs.txt")" \
                 "on a file of $sectors sectors, copied to sector $start"
            echo "  $(cat "$dir/p$n/geometry.txt")"
            echo "  rows (state kind count):"
            rows_by_state "$dir/p$n/manifest.tsv" | sed 's/^/  /'
            echo "  deleted after the manifest was recorded: $(paste -sd';' "$dir/p$n/deleted.lst" | sed 's/;/; /g')"
            [ ! -s "$dir/p$n/fsck.txt" ] || echo "  fsck.fat -n: $(cat "$dir/p$n/fsck.txt")"
            echo "  checked with The Sleuth Kit on the volume's own file:"
            sed 's/^/    /' "$dir/p$n/verify.txt"
            echo "  fls -r -p -o $start on the disk lists the same $(wc -l < "$dir/p$n/fls-disk.txt") lines as" \
                 "fls -r -p on the volume's file"
        done
    } > "$info"
    compress "$disk" "$name"
    [ "${KEEP_WORK:-0}" = 1 ] || rm -f "$disk" "$WORK/$name".p*.img
}

names=("$@")
[ ${#names[@]} -gt 0 ] || names=(disk-mbr disk-mbr-odd disk-gpt disk-gpt-backup disk-nontable disk-nontable-ntfs disk-zeroed)
for n in "${names[@]}"; do
    build_disk "$n"
done
