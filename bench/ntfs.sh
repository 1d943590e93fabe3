#!/bin/sh
# The NTFS analyses against the tools they compete with, on one large image
# with the page cache warm:
#   - the deleted-mode $MFT walk against The Sleuth Kit's `fls -r -p`
#     (target: at most half its time);
#   - the signature scan's throughput against `dd bs=1M` (target: at least
#     half the raw read rate);
#   - heap held per stored item.
# The image (4 GiB, 200,000 files, ~20% deleted) is built once into
# $DRAVIK_BENCH_IMAGES (default ~/.cache/dravik-bench/images) by the shared
# benchmark generator, which needs root and FUSE.
#   bench/ntfs.sh BENCH_BINARY
set -eu

bin=$1
images=${DRAVIK_BENCH_IMAGES:-${XDG_CACHE_HOME:-$HOME/.cache}/dravik-bench/images}
image=$images/ntfs-large/ntfs-large.img
generator=${DRAVIK_BENCH_GENERATOR:-$(cd "$(dirname "$0")/../.." && pwd)/shared/bench/make-ntfs-large.sh}

if [ ! -f "$image" ]; then
    [ -x "$generator" ] || { echo "bench/ntfs.sh: no image at $image and no generator at $generator" >&2; exit 1; }
    echo "building $image (about 5 minutes)" >&2
    IMAGES_ROOT=$images "$generator" >&2
fi
command -v fls >/dev/null || { echo "bench/ntfs.sh: fls (sleuthkit) is missing: scripts/install-deps" >&2; exit 1; }

# Median wall time of three runs of a command, in seconds.
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
fls_entries=$(fls -r -p "$image" | wc -l)
dd_s=$(median3 dd if="$image" of=/dev/null bs=1M)
bytes=$(stat -c %s "$image")
echo "fls -r -p: $fls_s s for $fls_entries entries"
echo "dd bs=1M: $dd_s s ($(printf '%.2f' "$(echo "$bytes / $dd_s / 1000000000" | bc -l)") GB/s)"

out=$("$bin" "$image")
echo "$out"
last=$(echo "$out" | tail -n 1)
field() { echo "$last" | tr ' ' '\n' | sed -n "s/^$1=//p"; }
mft_s=$(field mft_seconds)
scan_s=$(field scan_seconds)
per_item=$(field bytes_per_item)

mft_vs_fls=$(printf '%.3f' "$(echo "$mft_s / $fls_s" | bc -l)")
scan_vs_dd=$(printf '%.3f' "$(echo "$dd_s / $scan_s" | bc -l)")
echo "ntfs-bench: mft_vs_fls=$mft_vs_fls scan_vs_dd=$scan_vs_dd bytes_per_item=$per_item"
