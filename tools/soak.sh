#!/bin/bash
# soak.sh - a long unattended run of the engine through every client at once.
#
# Four xboard matches (tools/xboard_match.sh), three at a time, each with
# one engine process for all its games, so that a leak, a hang or a lost
# clock that needs hundreds of games to show has them:
#
#   xb-standard   xboard protocol, the standard game, against fairymax
#   xb-960        xboard protocol, "-variant fischerandom", against stockfish
#                 held to UCI_Elo 2000 (about our full strength)
#   uci-standard  UCI through polyglot, the standard game, against phalanx
#   uci-960       UCI through polyglot, fischerandom, against stockfish
#                 at UCI_Elo 2000 too
#
# Our engine thinks on two threads and ponders, so each match alone keeps
# both processors of a small machine busy; more matches at once starve the
# opponents, and those that look at their clock only every so many nodes
# (glaurung, fairymax) then lose on time, which says nothing about ours.
#
# The xboard matches draw the board but do not animate the moves: xboard
# animates a move it has just passed on while the receiver's clock runs,
# and reads the answer only after the last frame, so every move costs the
# engine at least 70 ms on xboard's clock, on a quiet machine as well (10 ms
# without the animation). At 5 s + 0.05 s that is more than the increment,
# and every engine's clock then falls at each move however fast it answers:
# a long enough game is lost on time by either side, which again says
# nothing about the engine's time control.
#
# Every engine directory gets its own copy of the files given with -f (a
# Tarno.ini naming the tables and thread count, a book.bin: the book learns
# into its file, so the matches must not share one). While the matches run,
# the resident memory of each of our engine processes is sampled every few
# seconds beside the number of games its match has finished; at the end the
# summary gives, for each match, its score and faults (xboard_match's
# verdict), its memory after 50 games and at its last game (all of it, and
# the anonymous part alone), and the clock
# figures of tools/clock_margin.sh.
#
# Usage: tools/soak.sh [-n GAMES] [-t TC] [-j JOBS] [-e ENGINE] [-f FILE]...
#                      -o DIR [MATCH...]
#   -n GAMES    games in each match (default 250)
#   -j JOBS     matches at a time (default 3)
#   -t TC       time control (default 5+0.05)
#   -e ENGINE   our engine's executable (default build/tarno); copy it
#               somewhere first if you will rebuild meanwhile
#   -f FILE     copied into every engine directory; repeatable
#   -o DIR      where everything goes: DIR/NAME.pgn, .debug.log, .txt (the
#               match's summary), DIR/memory.log and DIR/summary.txt
#   MATCH...    which of the matches above to run (default: all four)
#
# Exit status: 0 when every match ended with no fault of our engine.
set -uo pipefail

REPO=$(cd "$(dirname "$0")/.." && pwd)
games=250 tc=5+0.05 jobs=3 engine=$REPO/build/tarno out="" files=()
while getopts "n:t:j:e:f:o:" opt; do
    case $opt in
        n) games=$OPTARG ;;
        j) jobs=$OPTARG ;;
        t) tc=$OPTARG ;;
        e) engine=$(readlink -f "$OPTARG") ;;
        f) files+=("$(readlink -f "$OPTARG")") ;;
        o) out=$OPTARG ;;
        *) sed -n '2,/^set /p' "$0" | sed '$d'; exit 2 ;;
    esac
done
shift $((OPTIND - 1))
[[ -n $out ]] || { echo "soak.sh: -o DIR is needed" >&2; exit 2; }
[[ -x $engine ]] || { echo "soak.sh: no engine at $engine" >&2; exit 2; }
mkdir -p "$out" && out=$(readlink -f "$out")
matches=("$@")
[[ ${#matches[@]} -gt 0 ]] || matches=(xb-standard xb-960 uci-standard uci-960)

# The xboard_match options of each match, one a line; what comes after "--"
# goes to xboard. Stockfish is told that moves take time to reach xboard:
# with its own 10 ms it loses on time through two adapters on a busy
# machine.
no_animation=(-animateMoving false)
held=(-secondOptions "UCI_LimitStrength=1,UCI_Elo=2000,Move Overhead=200")
match_options() {
    case $1 in
        xb-standard)  printf '%s\n' -p fairymax -- "${no_animation[@]}" ;;
        xb-960)       printf '%s\n' -p stockfish --opponent-uci -- -variant fischerandom "${held[@]}" "${no_animation[@]}" ;;
        uci-standard) printf '%s\n' --uci --nogui -p phalanx ;;
        uci-960)      printf '%s\n' --uci --nogui -p stockfish --opponent-uci -- -variant fischerandom "${held[@]}" ;;
        *) return 1 ;;
    esac
}

for name in "${matches[@]}"; do
    match_options "$name" >/dev/null || { echo "soak.sh: no match '$name'" >&2; exit 2; }
done

# Memory: "seconds match games rss_kb pid anon_kb file_kb" (VmRSS, and its
# anonymous and file-backed parts: the Syzygy files are mapped, so their
# pages count as the engine's too) for every engine process found in
# a match's engine directory (under polyglot the engine is polyglot's child).
sample_memory() {
    local comm pid cwd name played rss
    comm=$(basename "$engine" | cut -c1-15)
    while :; do
        for pid in $(pgrep -x "$comm"); do
            cwd=$(readlink "/proc/$pid/cwd" 2>/dev/null) || continue
            name=${cwd##*/engine-}
            [[ $cwd == "$out/engine-$name" ]] || continue
            played=$(grep -c '^\[Result ' "$out/$name.pgn" 2>/dev/null)
            read -r rss anon file < <(awk '/^VmRSS:/ { r = $2 } /^RssAnon:/ { a = $2 }
                /^RssFile:/ { f = $2 } END { print r, a, f }' "/proc/$pid/status" 2>/dev/null)
            [[ -n $rss ]] && echo "$(date +%s) $name ${played:-0} $rss $pid ${anon:--} ${file:--}"
        done
        sleep 5
    done
}
sample_memory >"$out/memory.log" &
sampler=$!

status=0 running=0
for name in "${matches[@]}"; do
    if ((running >= jobs)); then
        wait -n || status=1
        running=$((running - 1))
    fi
    mapfile -t words < <(match_options "$name")
    dir=$out/engine-$name
    rm -rf "$dir" && mkdir -p "$dir"
    copies=()
    for f in "${files[@]}"; do copies+=(-f "$f"); done
    # A session of its own for each match: xboard_match counts whatever of
    # its session outlives xboard as a leftover process.
    setsid "$REPO/tools/xboard_match.sh" -n "$games" -t "$tc" --ponder --cores 2 \
        -e "$engine" -d "$dir" "${copies[@]}" -o "$out/$name.pgn" "${words[@]}" \
        >"$out/$name.txt" 2>&1 </dev/null &
    running=$((running + 1))
done
while ((running > 0)); do
    wait -n || status=1
    running=$((running - 1))
done
kill "$sampler" 2>/dev/null

# "AT50 LAST CHANGE" of memory.log's column COLUMN for match NAME: the value
# at the first sample after 50 games, at the last sample, and the change.
memory_change() {
    awk -v m="$1" -v c="$2" '
        $2 == m && $3 >= 50 && at50 == "" { at50 = $c }
        $2 == m { last = $c }
        END {
            if (at50 == "" || last == "" || at50 == "-" || last == "-") { print "- - -"; exit }
            printf "%s %s %+.1f%%\n", at50, last, (last - at50) * 100 / at50
        }' "$out/memory.log"
}

{
    printf "%-13s %-52s %-18s %9s %9s %7s %9s %9s %7s\n" match result verdict \
        "kB at 50" "kB last" change "anon 50" "anon last" change
    for name in "${matches[@]}"; do
        score=$(grep -m1 '^games .* of ' "$out/$name.txt" | sed 's/; first engine//')
        verdict=$(grep -m1 '^RESULT:' "$out/$name.txt" | sed 's/^RESULT: //')
        read -r at50 last change < <(memory_change "$name" 4)
        read -r anon50 anonlast anonchange < <(memory_change "$name" 6)
        printf "%-13s %-52s %-18s %9s %9s %7s %9s %9s %7s\n" "$name" "${score:-no summary}" \
            "${verdict:-none}" "$at50" "$last" "$change" "$anon50" "$anonlast" "$anonchange"
    done
    echo
    for name in "${matches[@]}"; do
        [[ -f $out/$name.debug.log ]] || continue
        printf "%-13s " "$name"
        "$REPO/tools/clock_margin.sh" "$out/$name.debug.log" | tail -1
    done
    logs=()
    for name in "${matches[@]}"; do
        [[ -f $out/$name.debug.log ]] && logs+=("$out/$name.debug.log")
    done
    if [[ ${#logs[@]} -gt 0 ]]; then
        printf "%-13s " all
        "$REPO/tools/clock_margin.sh" "${logs[@]}" | tail -1
    fi
} | tee "$out/summary.txt"
exit $status
