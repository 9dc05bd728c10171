#!/bin/bash
# clock_margin.sh - how close the first engine came to its flag in each game
# of an xboard match, read from the match's debug log. xboard sends "time"
# (the engine's clock, in centiseconds) before every move it asks for and
# stamps every line with its milliseconds, so the log gives for each move:
#   - the clock before it and the clock left after it (less the think);
#   - the think, from the last line sent to the engine (the opponent's
#     move, or "go") to the engine's "move";
#   - the overrun: the think past the move time the engine plans from that
#     clock in sudden death (1/30 of it from a minute up, 1/50 from ten
#     seconds, 1/70 from three seconds, 15 ms below; the increment of
#     "level" is left out, as the engine reads a fractional one as none).
#
# Usage: tools/clock_margin.sh MATCH.debug.log...
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: clock_margin.sh MATCH.debug.log..." >&2; exit 2; }
awk '
    function plan(ms) {
        if (ms < 3000) return 15
        if (ms > 3000 && ms < 10000) return int(ms / 70)
        if (ms > 10000 && ms < 60000) return int(ms / 50)
        return int(ms / 30)
    }
    function report() {
        game++
        printf "game %3d: %3d moves, lowest clock left %6.2f s, longest think %5d ms, worst overrun %5d ms\n",
               game, moves, low / 1000, longest, worst
        if (!allSeen || low < allLow) allLow = low
        allSeen = 1
        if (longest > allLongest) allLongest = longest
        if (worst > allWorst) allWorst = worst
    }
    BEGIN { allSeen = 0; allLongest = 0; allWorst = -1000000 }
    / >first : new$/ { if (moves) report(); moves = 0; longest = 0; worst = -1000000; clock = -1 }
    / >first : time / { clock = ($NF + 0) * 10 }
    / >first : / { sent = $1 + 0 }
    / <first : move / {
        if (clock < 0) next
        think = $1 - sent; moves++
        left = clock - think
        if (moves == 1 || left < low) low = left
        if (think > longest) longest = think
        if (think - plan(clock) > worst) worst = think - plan(clock)
        clock = -1
    }
    END {
        if (moves) report()
        if (game) printf "over %d games: lowest clock left %.2f s, longest think %d ms, worst overrun %d ms\n",
                         game, allLow / 1000, allLongest, allWorst
    }
' "$@"
