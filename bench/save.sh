#!/bin/sh
# A whole recovery of the large NTFS and FAT32 benchmark images (analysis,
# everything checked, everything written) against The Sleuth Kit's
# `tsk_recover -e` on the same images, and the deleted files each writes
# byte-exact at their path. The images are those of bench/run ntfs and fat.
#   bench/save.sh BENCH_BINARY
set -eu

bin=$1
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib.sh"
work=${DRAVIK_BENCH_WORK:-${XDG_CACHE_HOME:-$HOME/.cache}/dravik-bench/save}
require_tool tsk_recover

run() {  # NAME IMAGE LABEL
    name=$1 image=$2 label=$3
    [ -f "$image" ] || { echo "bench/save.sh: no image $image (run bench/run $name first)" >&2; exit 1; }
    cat "$image" >/dev/null
    rm -rf "$work/$name-ours" "$work/$name-tsk"
    mkdir -p "$work"
    tsk_s=$(seconds tsk_recover -e "$image" "$work/$name-tsk")
    out=$("$bin" "$image" "$label" "$work/$name-ours")
    ours_s=$(result_field "$out" save_seconds)
    manifest=$(dirname "$image")/manifest-deleted.tsv
    ours_exact=$(python3 "$here/score_recovery.py" "$work/$name-ours" "$manifest")
    tsk_exact=$(python3 "$here/score_recovery.py" "$work/$name-tsk" "$manifest")
    echo "$name: ours $ours_s s ($out); tsk_recover -e $tsk_s s" >&2
    echo "$name deleted files byte-exact at their path: ours $ours_exact; tsk_recover $tsk_exact" >&2
    eval "${name}_ratio=$(ratio "$ours_s" "$tsk_s")"
    eval "${name}_exact=$(echo "$ours_exact" | sed -n 's/.*percent=//p')"
    rm -rf "$work/$name-ours" "$work/$name-tsk"
}

run ntfs "$images/ntfs-large/ntfs-large.img" NTFS
run fat "$images/fat32-large/fat32-large.img" FAT32
echo "save-bench: ntfs_vs_tsk=$ntfs_ratio fat_vs_tsk=$fat_ratio ntfs_deleted_exact=$ntfs_exact fat_deleted_exact=$fat_exact"
