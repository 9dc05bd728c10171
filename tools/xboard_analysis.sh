#!/bin/bash
# xboard_analysis.sh - xboard's "analysis of a file", headless, as a check.
#
# Loads a game into a real xboard under a virtual X server in its
# AnalyzeFile mode: xboard puts the engine into analysis and steps through
# the game, sending each move while the engine analyses. Then it reads
# xboard's debug log and checks that every move reached the engine and that
# the engine answered each new position with thinking lines of its own
# (the first line after a move starts at depth 1 again), and that it said
# no "Error". Exit status 0 when all is well.
#
# Usage: tools/xboard_analysis.sh [GAME.pgn] [SECONDS_PER_MOVE]
#   GAME.pgn          the game (default: a 16-ply opening)
#   SECONDS_PER_MOVE  how long xboard stays on each position (default 1)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
engine=${TARNO_ENGINE:-$root/build/tarno}  # another engine to check: TARNO_ENGINE=path
secs=${2:-1}
scratch=$(mktemp -d /tmp/tarno-analysis-XXXXXX)
trap 'kill $xvfb 2>/dev/null; [[ -n ${KEEP:-} ]] || rm -rf "$scratch"' EXIT

pgn=${1:-}
if [[ -z $pgn ]]; then
    pgn=$scratch/game.pgn
    printf '[Event "?"]\n[White "?"]\n[Black "?"]\n[Result "*"]\n\n%s\n' \
        "1. e4 e5 2. Nf3 Nc6 3. Bb5 a6 4. Ba4 Nf6 5. O-O Be7 6. Re1 b5 7. Bb3 d6 8. c3 O-O *" > "$pgn"
fi
for tool in xboard Xvfb; do
    command -v $tool >/dev/null || { echo "$tool is missing: apt-get install xboard xvfb"; exit 2; }
done

display=:$((90 + RANDOM % 100))
Xvfb $display -screen 0 1024x768x16 >/dev/null 2>&1 &
xvfb=$!
sleep 1
plies=$(grep -v '^\[' "$pgn" | tr ' ' '\n' | grep -cE '^[A-Za-z]')
wait_s=$(awk -v p="$plies" -v s="$secs" 'BEGIN { print int(p * s + 15) }')
mkdir -p "$scratch/engine"
log=$scratch/debug.log
DISPLAY=$display timeout "$wait_s" xboard -fcp "$engine" -fd "$scratch/engine" -mode AnalyzeFile \
    -lgf "$pgn" -timeDelay "$secs" -debug -nameOfDebugFile "$log" \
    -settingsFile "$scratch/xboardrc" -saveSettingsOnExit false >/dev/null 2>&1

# xboard's debug log: "NNN >first : TEXT" for what it sends, "NNN <first :
# TEXT" for what the engine says.
awk -v plies="$plies" '
    / >first : / { line = $0; sub(/.*>first : /, "", line)
                   if (line ~ /^[a-h][1-8][a-h][1-8][qrbn]?$/ || line ~ /^(O-O|O-O-O)$/) { sent++; fresh = 0; waiting = 1 } }
    / <first : / { line = $0; sub(/.*<first : /, "", line)
                   if (line ~ /^Error/) errors++
                   if (waiting && line ~ /^1 -?[0-9]+ /) { analysed++; waiting = 0 } }
    END { printf "moves in the game %d, moves sent %d, positions analysed afresh %d, errors %d\n", plies, sent, analysed, errors
          exit !(sent == plies && analysed == sent && errors == 0) }' "$log"
