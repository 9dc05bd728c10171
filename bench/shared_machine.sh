#!/usr/bin/env bash
# The parallel search on a machine another program uses at the same time:
# parallel_speed compares one thread with the given thread counts while a
# competing load runs on the same processors, as when two engines play each
# other on one machine, pondering.
#
# Usage: bench/shared_machine.sh [load] [depth] [positions] [repeats] [threads ...]
#   load   "engine": a second search (build/bench/search_speed) all along;
#          "busy": one busy loop per processor; default engine
#   the rest as for parallel_speed (default: depth 11, 20 positions, 1
#   repeat, threads 2)
# BUILD names the build folder (default build).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD:-build}
load=${1:-engine}
depth=${2:-11}
positions=${3:-20}
repeats=${4:-1}
shift $(( $# < 4 ? $# : 4 ))
threads=("$@")
[ ${#threads[@]} -gt 0 ] || threads=(2)

competitors=()
stop_competitors() {
    for pid in "${competitors[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${competitors[@]}"; do wait "$pid" 2>/dev/null || true; done
}
trap stop_competitors EXIT

case $load in
engine)
    # Deep enough never to finish before the measurement does.
    "$build/bench/search_speed" 40 1000 > /dev/null &
    competitors+=($!)
    ;;
busy)
    for _ in $(seq "$(nproc)"); do
        bash -c 'while :; do :; done' &
        competitors+=($!)
    done
    ;;
*)
    echo "unknown load '$load' (engine or busy)" >&2
    exit 2
    ;;
esac
echo "load: $load (${#competitors[@]} processes)"
"$build/bench/parallel_speed" "$depth" "$positions" "$repeats" "${threads[@]}"
