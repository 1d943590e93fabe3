#!/bin/bash
# generate.sh -- rebuilds the committed test images (*.img.xz) and their
# manifests and build notes in this folder.  Needs root and FUSE; CI never
# runs it, it uses the committed files.
# Usage: generate.sh [NAME...]   (default: every image; names as in README.md)
# Env:   KEEP_WORK=1 keeps the scratch folder with the uncompressed images.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/lib/common.sh"
need_root

# one script per image family; each takes the image names it should build
families=(ntfs ntfs-formatted ntfs-disk ntfs-compressed ntfs-streams disk-4k fat fat-formatted fat-deep disk)
declare -A family=([ntfs-basic]=ntfs [ntfs-small-clusters]=ntfs
                   [ntfs-formatted]=ntfs-formatted [ntfs-two-volumes]=ntfs-disk
                   [ntfs-compressed]=ntfs-compressed [ntfs-4k]=ntfs-compressed
                   [ntfs-streams]=ntfs-streams [disk-4k]=disk-4k
                   [fat12]=fat [fat16]=fat [fat32]=fat [fat32-formatted]=fat-formatted [fat-deep]=fat-deep
                   [disk-mbr]=disk [disk-mbr-odd]=disk [disk-gpt]=disk [disk-gpt-backup]=disk
                   [disk-nontable]=disk [disk-nontable-ntfs]=disk [disk-zeroed]=disk)
declare -A wanted=()
for n in "$@"; do
    f=${family[$n]:-}
    [ -n "$f" ] || die "no generator for image $n"
    wanted[$f]+="$n "
done
for f in "${families[@]}"; do
    if [ $# -eq 0 ]; then
        "$here/$f.sh"
    elif [ -n "${wanted[$f]:-}" ]; then
        # shellcheck disable=SC2086
        "$here/$f.sh" ${wanted[$f]}
    fi
done
log "done: $(cd "$here" && echo ./*.img.xz)"
