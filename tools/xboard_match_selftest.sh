#!/bin/bash
# xboard_match_selftest.sh - checks that tools/xboard_match.sh tells a sound
# match from a faulty one and never leaves a process behind.
#
# Usage: tools/xboard_match_selftest.sh [SCENARIO...]
#
# Plays short real matches in xboard between Debian engines (fairymax,
# phalanx), with tools/xboard_fault_engine.sh making the first engine crash,
# hang, cheat and so on, and checks the exit status and summary each time.
# After every run it looks for any process that carries the run's tag in its
# environment (Xvfb, xboard and the engines inherit it) and fails if one is
# alive.  Without arguments every scenario runs (a few minutes, mostly one
# core); name scenarios to run only those.  Installs what it needs like the
# match script does, so it wants root the first time.

set -u -o pipefail

TOOLS=$(dirname "$(readlink -f "${BASH_SOURCE[0]}")")
MATCH=$TOOLS/xboard_match.sh
FAULT=$TOOLS/xboard_fault_engine.sh
WORK=$(mktemp -d "${TMPDIR:-/tmp}/xboard_selftest.XXXXXX")
trap 'rm -rf -- "$WORK"' EXIT
passed=0 failed=0

# Processes of one run, found by the tag in their environment.
tagged() {
    local tag=$1 p
    for p in /proc/[0-9]*; do
        grep -qaz "^XM_SELFTEST_TAG=$tag\$" "$p/environ" 2>/dev/null &&
            echo "${p#/proc/} $(tr '\0' ' ' < "$p/cmdline" 2>/dev/null)"
    done
}

# run NAME EXPECTED-STATUS MATCH-OPTIONS...  runs one match into $WORK/NAME.*
# and leaves its output in $out.
run() {
    local name=$1 want=$2
    shift 2
    out=$(XM_SELFTEST_TAG=$name "$MATCH" -o "$WORK/$name.pgn" "$@" 2>&1)
    status=$?
    check "$name: exit status $want" test "$status" -eq "$want"
    no_leftovers "$name"
}

no_leftovers() {
    local left i
    for ((i = 0; i < 20; i++)); do     # the kernel may take a moment
        left=$(tagged "$1")
        [[ -z $left ]] && break
        sleep 0.2
    done
    check "$1: no process left behind" test -z "$left"
    [[ -z $left ]] || echo "$left"
}

# check DESCRIPTION COMMAND...
check() {
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $what"
        echo "$out" | sed 's/^/    | /'
    fi
}
says() { grep -qF -- "$1" <<< "$out"; }
says_not() { ! says "$1"; }

fault_engine() { echo "$FAULT $1 $2 fairymax"; }

# --- the scenarios ---------------------------------------------------------

scenario_clean() {
    # Two sound engines, pondering on: a full match, no faults.
    run clean 0 -n 2 -t 10+0.1 --ponder -e fairymax -p phalanx
    check "clean: both games played" says "games 2 of 2"
    check "clean: no fault" says "RESULT: no faults"
    check "clean: xboard ponders" grep -q '>first : hard' "$WORK/clean.debug.log"
    check "clean: debug log has the clocks" grep -q '>first : otim ' "$WORK/clean.debug.log"
}

scenario_moves_per_session() {
    # 40 moves in 15 s, opposite colours first, no pondering.
    run mps 0 -n 1 -t 40/15 --first-black -e phalanx -p fairymax
    check "mps: xboard was given the session" grep -q 'level 40 0:15 0' "$WORK/mps.debug.log"
    check "mps: first engine had Black" grep -qE '^ +1  Black' <<< "$out"
}

scenario_openings() {
    # Each position twice, colours swapped, without drawing the board.
    printf '%s\n' 'rnbqkbnr/pppp1ppp/8/4p3/4P3/8/PPPP1PPP/RNBQKBNR w KQkq e6 0 2' > "$WORK/open.fen"
    run openings 0 -n 2 -t 5+0.1 --nogui --openings "$WORK/open.fen" -e fairymax -p fairymax
    check "openings: both games from the position" \
        test "$(grep -c '^\[FEN "rnbqkbnr/pppp1ppp/8/4p3/4P3/' "$WORK/openings.pgn")" -eq 2
}

scenario_illegal() {
    run illegal 1 -n 1 -t 5+0.1 -e "$(fault_engine illegal 3)"
    check "illegal: flagged" says "FAULT: illegal move"
}

scenario_claim() {
    run claim 1 -n 1 -t 5+0.1 -e "$(fault_engine claim 3)"
    check "claim: flagged" says "FAULT: false claim"
}

scenario_crash() {
    # xboard sees the dead pipe only when it writes to it, so the game reads
    # as lost on time; its error message names the engine.
    run crash 1 -n 2 -t 5+0.1 -e "$(fault_engine crash 3)"
    check "crash: xboard's pipe error is flagged" says "FAULT: first engine"
    check "crash: the missing game is flagged" says "FAULT: only 1 of 2 games"
}

scenario_hang() {
    # Silent on move: the flag falls; the next game then waits for a pong
    # that never comes, which the stall detector ends.
    run hang 1 -n 2 -t 5+0.1 --stall 10 -e "$(fault_engine hang 3)"
    check "hang: loss on time flagged" says "FAULT: time forfeit"
    check "hang: stall flagged" says "FAULT: stall"
}

scenario_noquit() {
    # Plays well but will not quit, in the session fallback, which must kill
    # it process by process.
    out=$(XBOARD_MATCH_NO_NAMESPACE=1 XM_SELFTEST_TAG=noquit "$MATCH" -o "$WORK/noquit.pgn" \
        -n 1 -t 5+0.1 -e "$(fault_engine noquit 1000)" 2>&1)
    status=$?
    check "noquit: exit status 1" test "$status" -eq 1
    check "noquit: flagged" says "did not quit"
    no_leftovers noquit
}

scenario_mute() {
    # Never answers: xboard does not even save the game.
    run mute 1 -n 1 -t 5+0.1 --stall 10 -e "$(fault_engine mute 0)"
    check "mute: missing game flagged" says "FAULT: only 0 of 1 games"
}

scenario_watchdog() {
    run watchdog 1 -n 5 -t 10+0.1 --timeout 6 -e fairymax -p fairymax
    check "watchdog: flagged" says "FAULT: watchdog"
    check "watchdog: unfinished game saved and flagged" says "FAULT: unfinished game"
}

# signalled NAME SIGNAL: starts a match, sends SIGNAL to the script six
# seconds in, and sets $status.
signalled() {
    local pid
    XM_SELFTEST_TAG=$1 "$MATCH" -o "$WORK/$1.pgn" -n 3 -t 10+0.1 \
        -e fairymax -p fairymax > "$WORK/$1.out" 2>&1 &
    pid=$!
    sleep 6
    kill "-$2" "$pid"
    wait "$pid" 2>/dev/null
    status=$?
}

scenario_signals() {
    # TERM: the game in progress is saved, status 130.  KILL: nothing can
    # tidy up in the script itself, but the match must still end.
    signalled term TERM
    out=$(cat "$WORK/term.out")
    check "term: exit status 130" test "$status" -eq 130
    check "term: reported" says "interrupted"
    check "term: the game in progress is saved" grep -q '^\[Result "\*"\]' "$WORK/term.pgn"
    no_leftovers term

    signalled kill KILL
    sleep 2
    out=$(cat "$WORK/kill.xboard.log")
    check "kill: the supervisor noticed" says "the match script itself was killed"
    no_leftovers kill
}

scenario_usage() {
    out=$("$MATCH" -t 10+x 2>&1); status=$?
    check "usage: bad time control refused" test "$status" -eq 2
    out=$("$MATCH" -e /nonexistent/engine 2>&1); status=$?
    check "usage: missing engine refused" test "$status" -eq 2
    out=$("$MATCH" --help); status=$?
    check "usage: help" says "Usage: tools/xboard_match.sh"
}

scenario_summary() {
    # Hand-made PGN: a termination wrapped over two lines, a game whose last
    # comment is a move score rather than a reason, a draw, a loss on time by
    # the opponent, an unfinished game.
    cat > "$WORK/made.pgn" <<'EOF'
[Event "Computer Chess Game"]
[Round "1"]
[White "A"]
[Black "B"]
[Result "1-0"]

1. e4 {+0.10/5 0.1} e5 {-0.2/4} 2. Qh5 Nc6 3. Bc4 Nf6 4. Qxf7# {+300/1}
{Xboard adjudication:
Checkmate} 1-0

[Event "Computer Chess Game"]
[Round "2"]
[White "B"]
[Black "A"]
[Result "1-0"]

1. e4 {+0.10/5 0.1} 1-0

[Event "Computer Chess Game"]
[Round "3"]
[White "A"]
[Black "B"]
[Result "1/2-1/2"]

1. e4 e5 {Draw by repetition} 1/2-1/2

[Event "Computer Chess Game"]
[Round "4"]
[White "B"]
[Black "A"]
[Result "0-1"]

1. e4 e5 {White wins on time} 0-1

[Event "Computer Chess Game"]
[Round "5"]
[White "A"]
[Black "B"]
[Result "*"]

1. e4 {xboard exit (Clocks: 3, 4)} *
EOF
    out=$("$MATCH" --summarize "$WORK/made.pgn"); status=$?
    check "summary: faults mean status 1" test "$status" -eq 1
    check "summary: score" says "first engine: 2 wins, 1 draws, 1 losses (2.5/5)"
    check "summary: wrapped termination" says "{Xboard adjudication: Checkmate}"
    check "summary: a move score is no termination" grep -qE '^ +2  Black  1-0      loss       \{\}$' <<< "$out"
    check "summary: opponent's fault noted, not flagged" says "(opponent: time forfeit"
    check "summary: unfinished game flagged" says "FAULT: unfinished game"
    check "summary: one fault" says "RESULT: 1 fault(s)"
    out=$("$MATCH" --summarize "$WORK/made.pgn" --first-black)
    check "summary: colours swap" says "first engine: 1 wins, 1 draws, 2 losses (1.5/5)"
}

all=(summary usage clean moves_per_session openings illegal claim crash hang noquit mute watchdog signals)
(($#)) || set -- "${all[@]}"
for s in "$@"; do
    declare -F "scenario_$s" >/dev/null || { echo "no scenario '$s' (have: ${all[*]})"; exit 2; }
    echo "--- $s"
    "scenario_$s"
done
echo "$passed passed, $failed failed"
((failed == 0))
