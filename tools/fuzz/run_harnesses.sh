#!/usr/bin/env bash
# run_harnesses.sh - runs libFuzzer harnesses one after the other, each for a
# fixed time, and shows how each one is doing while it runs.
#
# Usage: tools/fuzz/run_harnesses.sh HARNESS...
# Environment: FUZZ_BUILD (build folder, default build-fuzz), FUZZ_SECONDS
# (per harness, default 60), FUZZ_FLAGS (more libFuzzer options),
# FUZZ_PROGRESS_SECONDS (how often progress is printed, default 5).
#
# Each harness starts from its seeds in tools/fuzz/corpus/<harness> and keeps
# what it finds new in $FUZZ_BUILD/corpus/<harness>; a crash goes to
# $FUZZ_BUILD/artifacts. Its whole output goes to $FUZZ_BUILD/fuzz_<harness>.log;
# every few seconds the latest of libFuzzer's status lines is printed (runs,
# coverage, corpus, speed). The first harness that fails (a crash, a leak, a
# timeout, too much memory) stops the run with the end of its log and a
# non-zero status.
set -uo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD=${FUZZ_BUILD:-build-fuzz}
[[ $BUILD == /* ]] || BUILD=$ROOT/$BUILD
SECONDS_EACH=${FUZZ_SECONDS:-60}
PROGRESS_EVERY=${FUZZ_PROGRESS_SECONDS:-5}
read -r -a extra_flags <<< "${FUZZ_FLAGS:-}"

# libFuzzer's status lines ("#4096 pulse cov: 812 ft: 2204 corp: 97/3Kb
# exec/s: 2048 rss: 61Mb ...") in a few words; before the seeds are read
# there are none.
latest_status() {
    awk '/^#[0-9]+\t/ { line = $0 }
         END {
             if (line == "") { print "reading the seeds"; exit }
             n = split(line, w, /[ \t]+/)
             out = substr(w[1], 2) " runs"
             for (i = 2; i < n; i++) {
                 if (w[i] == "cov:")    out = out ", cov " w[i + 1]
                 if (w[i] == "ft:")     out = out ", features " w[i + 1]
                 if (w[i] == "corp:")   out = out ", corpus " w[i + 1]
                 if (w[i] == "exec/s:") out = out ", " w[i + 1] " exec/s"
                 if (w[i] == "rss:")    out = out ", rss " w[i + 1]
             }
             print out
         }' "$1"
}

fuzz_pid=
trap '[[ -n $fuzz_pid ]] && kill "$fuzz_pid" 2>/dev/null; exit 130' INT TERM

# Runs one harness in the background and reports on it until it ends; returns
# its exit status.
run_one() {
    local h=$1 log=$BUILD/fuzz_$1.log dict=$ROOT/tools/fuzz/$1.dict
    local dict_flag=() start now last=0
    [[ -f $dict ]] && dict_flag=(-dict="$dict")
    mkdir -p "$BUILD/corpus/$h" "$BUILD/artifacts"
    nice -n 10 "$BUILD/fuzz/fuzz_$h" -max_total_time="$SECONDS_EACH" -timeout=20 \
        -rss_limit_mb=4096 -print_final_stats=1 "${extra_flags[@]}" "${dict_flag[@]}" \
        -artifact_prefix="$BUILD/artifacts/$h-" \
        "$BUILD/corpus/$h" "$ROOT/tools/fuzz/corpus/$h" > "$log" 2>&1 &
    fuzz_pid=$!
    start=$(date +%s)
    while sleep 0.5; kill -0 "$fuzz_pid" 2>/dev/null; do
        now=$(date +%s)
        if ((now - last >= PROGRESS_EVERY && now > start)); then
            last=$now
            echo "  fuzz_$h $((now - start))/$SECONDS_EACH s: $(latest_status "$log")"
        fi
    done
    wait "$fuzz_pid"
    local status=$?
    fuzz_pid=
    return $status
}

for h in "$@"; do
    echo "fuzz_$h: $SECONDS_EACH s (log: ${BUILD#"$ROOT"/}/fuzz_$h.log)"
    if ! run_one "$h"; then
        tail -n 60 "$BUILD/fuzz_$h.log"
        echo "fuzz_$h failed; its log: $BUILD/fuzz_$h.log"
        exit 1
    fi
    grep -E "^#[0-9]+.*DONE|^stat::(number_of_executed_units|average_exec_per_sec)" "$BUILD/fuzz_$h.log"
done
