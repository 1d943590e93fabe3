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
. "$(dirname "$0")/lib.sh"
image=$images/ntfs-large/ntfs-large.img
ensure_image "$image" "${DRAVIK_BENCH_GENERATOR:-$shared_bench/make-ntfs-large.sh}" "about 5 minutes"
require_tool fls

cat "$image" >/dev/null
fls_s=$(median3 fls -r -p "$image")
fls_entries=$(fls -r -p "$image" | wc -l)
dd_s=$(median3 dd if="$image" of=/dev/null bs=1M)
bytes=$(stat -c %s "$image")
echo "fls -r -p: $fls_s s for $fls_entries entries"
echo "dd bs=1M: $dd_s s ($(printf '%.2f' "$(echo "$bytes / $dd_s / 1000000000" | bc -l)") GB/s)"

out=$("$bin" "$image")
echo "$out"
mft_vs_fls=$(ratio "$(result_field "$out" mft_seconds)" "$fls_s")
scan_vs_dd=$(ratio "$dd_s" "$(result_field "$out" scan_seconds)")
echo "ntfs-bench: mft_vs_fls=$mft_vs_fls scan_vs_dd=$scan_vs_dd bytes_per_item=$(result_field "$out" bytes_per_item)"
