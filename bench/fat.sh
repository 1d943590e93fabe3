#!/bin/sh
# The deleted-mode FAT directory walk against The Sleuth Kit's `fls -r -p`
# on one large FAT32 image (target: at most half its time), page cache warm.
# The image (1.5 GiB, 50,000 files, ~20% deleted) is built once into
# $DRAVIK_BENCH_IMAGES (default ~/.cache/dravik-bench/images) by the shared
# benchmark generator.
#   bench/fat.sh BENCH_BINARY
set -eu

bin=$1
. "$(dirname "$0")/lib.sh"
image=$images/fat32-large/fat32-large.img
ensure_image "$image" "${DRAVIK_BENCH_FAT_GENERATOR:-$shared_bench/make-fat32-large.sh}" "about a minute"
require_tool fls

cat "$image" >/dev/null
fls_s=$(median3 fls -r -p "$image")
echo "fls -r -p: $fls_s s for $(fls -r -p "$image" | wc -l) entries"
out=$("$bin" "$image")
echo "$out"
echo "fat-bench: walk_vs_fls=$(ratio "$(result_field "$out" walk_seconds)" "$fls_s")"
