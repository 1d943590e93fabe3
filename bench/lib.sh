# What the comparison scripts share (sourced, POSIX sh).

images=${DRAVIK_BENCH_IMAGES:-${XDG_CACHE_HOME:-$HOME/.cache}/dravik-bench/images}
shared_bench=$(cd "$(dirname "$0")/../.." && pwd)/shared/bench

# Builds IMAGE once with GENERATOR (which writes below $images).
#   ensure_image IMAGE GENERATOR "about N minutes"
ensure_image() {
    [ -f "$1" ] && return 0
    [ -x "$2" ] || { echo "$(basename "$0"): no image at $1 and no generator at $2" >&2; exit 1; }
    echo "building $1 ($3)" >&2
    IMAGES_ROOT=$images "$2" >&2
}

# Fails with the install hint when a peer tool is missing.
require_tool() {
    command -v "$1" >/dev/null || { echo "$(basename "$0"): $1 (sleuthkit) is missing: scripts/install-deps" >&2; exit 1; }
}

# Wall time of one run of a command, in seconds.
seconds() { s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N); echo "$e - $s" | bc -l; }

# Median wall time of three runs of a command, in seconds.
median3() {
    for i in 1 2 3; do seconds "$@"; done | sort -n | sed -n 2p
}

# The value of NAME=value in the last line of a benchmark's output.
#   result_field "$out" NAME
result_field() { echo "$1" | tail -n 1 | tr ' ' '\n' | sed -n "s/^$2=//p"; }

# A / B with three decimals.
ratio() { printf '%.3f' "$(echo "$1 / $2" | bc -l)"; }
