#!/bin/bash
# clock_margin.sh - the lowest clock the first engine was left with in each
# game of an xboard match, read from the match's debug log (xboard sends
# "time" in centiseconds before every move it asks for).
#
# Usage: tools/clock_margin.sh MATCH.debug.log
set -euo pipefail
log=${1:?usage: clock_margin.sh MATCH.debug.log}
awk '
    / >first : new$/ { if (moves) report(); low = -1; moves = 0 }
    / >first : time / { t = $NF + 0; moves++; if (low < 0 || t < low) low = t }
    function report() { game++; printf "game %2d: %3d clock readings, lowest %6.2f s\n", game, moves, low / 100
                        if (all < 0 || low < all) all = low }
    BEGIN { all = -1 }
    END { if (moves) report(); if (game) printf "lowest over the match: %.2f s\n", all / 100 }
' "$log"
