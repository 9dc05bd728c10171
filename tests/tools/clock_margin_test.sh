#!/usr/bin/env bash
# tools/clock_margin.sh on a made-up debug log of two games, in xboard's
# form (milliseconds, then the line to or from the first engine): the
# lowest clock of a game and of the match is the least left after any move,
# a flag (a clock run below zero) included, whatever follows it.
# Usage: clock_margin_test.sh REPOSITORY_ROOT
set -u
script=$1/tools/clock_margin.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

cat > "$work/match.debug.log" <<'LOG'
100 >first : new
200 >first : time 300
200 >first : otim 300
200 >first : go
260 <first : move e4
500 >first : time 297
500 >first : e5
550 <first : move Nf3
900 >first : new
1000 >first : time 10
1000 >first : e4
1150 <first : move e5
1400 >first : time 250
1400 >first : Nf3
1500 <first : move Nc6
LOG

out=$(bash "$script" "$work/match.debug.log")
expect() {
    if ! grep -qF -- "$1" <<< "$out"; then
        echo "missing: $1"
        failures=$((failures + 1))
    fi
}
# Game 1: 3000 - 60 and 2970 - 50; game 2: 100 - 150 (the flag), then
# 2500 - 100.
expect "game   1:   2 moves, lowest clock left   2.92 s, longest think    60 ms"
expect "game   2:   2 moves, lowest clock left  -0.05 s, longest think   150 ms"
expect "over 2 games: lowest clock left -0.05 s, longest think 150 ms"
[[ $failures -eq 0 ]] || { echo "$out"; exit 1; }
echo "clock_margin: all cases passed"
