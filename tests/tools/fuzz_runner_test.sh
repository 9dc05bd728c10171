#!/usr/bin/env bash
# tools/fuzz/run_harnesses.sh with stand-in harnesses that print what
# libFuzzer prints: the options each is given, progress while it runs, and a
# failing harness stopping the run.
# Usage: fuzz_runner_test.sh REPOSITORY_ROOT
set -u
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
mkdir -p "$work/fuzz"

# A harness of about three seconds: seeds read, new inputs, the closing
# statistics; it fails when its name says so. It notes its options.
for name in commands fen; do
    cat > "$work/fuzz/fuzz_$name" <<'STANDIN'
#!/usr/bin/env bash
echo "$*" > "$0.args"
echo "INFO: Seed: 1"
sleep 0.7
printf '#2\tINITED cov: 100 ft: 120 corp: 3/40b exec/s: 0 rss: 30Mb\n'
for i in 1 2 3 4 5; do
    sleep 0.5
    printf '#%d\tNEW    cov: %d ft: 200 corp: 5/80b lim: 4 exec/s: 500 rss: 31Mb L: 2/2 MS: 1 Custom-\n' $((i * 1000)) $((100 + i))
done
printf '#6000\tDONE   cov: 105 ft: 200 corp: 5/80b lim: 4 exec/s: 900 rss: 31Mb\n'
echo "stat::number_of_executed_units: 6000"
echo "stat::average_exec_per_sec:     900"
[[ ${FAIL_HARNESS:-} == "${0##*/}" ]] && { echo "==1==ERROR: AddressSanitizer: heap-use-after-free"; exit 1; }
exit 0
STANDIN
    chmod +x "$work/fuzz/fuzz_$name"
done

check() {  # NAME CONDITION...
    local name=$1
    shift
    if "$@"; then echo "ok   $name"; else echo "FAIL $name"; failures=$((failures + 1)); fi
}
contains() { [[ $1 == *"$2"* ]]; }
lacks() { [[ $1 != *"$2"* ]]; }

out=$(FUZZ_BUILD=$work FUZZ_SECONDS=3 FUZZ_PROGRESS_SECONDS=1 FUZZ_FLAGS="-seed=7 -runs=9" \
      "$root/tools/fuzz/run_harnesses.sh" commands fen 2>&1)
status=$?
check "both harnesses pass" [ $status -eq 0 ]
check "each is announced" contains "$out" "fuzz_fen: 3 s"
check "progress from its status lines" contains "$out" "runs, cov 10"
check "progress more than once a harness" [ "$(grep -c '^  fuzz_commands [0-9]*/3 s:' <<< "$out")" -ge 2 ]
check "closing statistics" contains "$out" "stat::average_exec_per_sec:     900"
args=$(cat "$work/fuzz/fuzz_commands.args")
check "time, limits and extra flags" contains "$args" "-max_total_time=3 -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 -seed=7 -runs=9"
check "dictionary where there is one" contains "$args" "-dict=$root/tools/fuzz/commands.dict"
check "no dictionary where there is none" lacks "$(cat "$work/fuzz/fuzz_fen.args")" "-dict="
check "artifacts and corpora" contains "$args" "-artifact_prefix=$work/artifacts/commands- $work/corpus/commands $root/tools/fuzz/corpus/commands"
check "whole output in the log" grep -q "INITED" "$work/fuzz_fen.log"

rm -f "$work"/fuzz/*.args
out=$(FAIL_HARNESS=fuzz_commands FUZZ_BUILD=$work FUZZ_SECONDS=3 FUZZ_PROGRESS_SECONDS=1 \
      "$root/tools/fuzz/run_harnesses.sh" commands fen 2>&1)
status=$?
check "a failing harness fails the run" [ $status -ne 0 ]
check "with the end of its log" contains "$out" "AddressSanitizer: heap-use-after-free"
check "and the run stops there" [ ! -e "$work/fuzz/fuzz_fen.args" ]

((failures == 0)) || { echo "$failures failed"; exit 1; }
