#!/bin/sh
# The deleted-mode FAT directory walk against The Sleuth Kit's `fls -r -p`
# on one large FAT32 image (target: at most half its time), page cache warm.
# The image (1.5 GiB, 50,000 files, ~20% deleted) is built once into
# $DRAVIK_BENCH_IMAGES (default ~/.cache/dravik-bench/images) by the shared
# benchmark generator.
#   bench/fat.sh BENCH_BINARY
set -eu

bin=$1
images=${DRAVIK_BENCH_IMAGES:-${XDG_CACHE_HOME:-$HOME/.cache}/dravik-bench/images}
image=$images/fat32-large/fat32-large.img
generator=${DRAVIK_BENCH_FAT_GENERATOR:-$(cd "$(dirname "$0")/../.." && pwd)/shared/bench/make-fat32-large.sh}

if [ ! -f "$image" ]; then
    [ -x "$generator" ] || { echo "bench/fat.sh: no image at $image and no generator at $generator" >&2; exit 1; }
    echo "building $image (about a minute)" >&2
    IMAGES_ROOT=$images "$generator" >&2
fi
command -v fls >/dev/null || { echo "bench/fat.sh: fls (sleuthkit) is missing: scripts/install-deps" >&2; exit 1; }

median3() {
    for i in 1 2 3; do
        s=$(date +%s.%N)
        "$@" >/dev/null 2>&1
        e=$(date +%s.%N)
        echo "$e - $s" | bc -l
    done | sort -n | sed -n 2p
}

cat "$image" >/dev/null
fls_s=$(median3 fls -r -p "$image")
echo "fls -r -p: $fls_s s for $(fls -r -p "$image" | wc -l) entries"
out=$("$bin" "$image")
echo "$out"
walk_s=$(echo "$out" | tail -n 1 | tr ' ' '\n' | sed -n 's/^walk_seconds=//p')
echo "fat-bench: walk_vs_fls=$(printf '%.3f' "$(echo "$walk_s / $fls_s" | bc -l)")"
