#!/bin/bash
# xboard_fault_engine.sh - an xboard engine that misbehaves on purpose.
#
# Usage: xboard_fault_engine.sh FAULT N ENGINE [ARGS...]
#
# Relays the protocol between xboard and a real ENGINE unchanged until the
# engine's N-th "move" line, and then commits FAULT instead of passing that
# move on:
#   crash     dies by a signal, engine and all (the pipe closes)
#   illegal   plays a move no position allows (a pawn jumping three squares)
#   hang      goes silent on move but stays alive; it still ignores "quit"
#   slow      holds the move back for 30 s, so its flag falls first
#   claim     claims a win that is not on the board
#   noquit    plays on normally but ignores "quit" and the end of its input
#   mute      (N ignored) never says anything at all, not even "pong"
#   drawoffer no fault: from its N-th move on, offers a draw with every move
#             (xboard passes the offer to the other engine as "draw")
#
# It exists to prove that tools/xboard_match.sh notices each of these; see
# tools/xboard_match_selftest.sh.

fault=$1 at=$2
shift 2
# Like our engine, ignore the signals an interface may send.
trap '' INT TERM

if [[ $fault == mute ]]; then
    exec sleep 100000
fi

coproc ENGINE { exec "$@" 2>/dev/null; }
exec 4>&"${ENGINE[1]}" 5<&"${ENGINE[0]}"
# Bash gives a background job /dev/null as input unless told otherwise.
exec 3<&0
if [[ $fault == noquit ]]; then
    # Swallow "quit" and keep the relay alive after xboard has gone.
    { grep --line-buffered -v '^quit' <&3 >&4; exec sleep 100000; } &
else
    cat <&3 >&4 &
fi
relay=$!

moves=0
while IFS= read -r line <&5; do
    if [[ $fault == drawoffer && $line == move\ * ]]; then
        ((++moves >= at)) && printf 'offer draw\n'
        printf '%s\n' "$line"
        continue
    fi
    if [[ $line == move\ * ]] && ((++moves == at)); then
        case $fault in
            crash) kill -KILL "$ENGINE_PID" "$relay"; kill -SEGV $$ ;;
            illegal) line="move a2a5" ;;
            hang) exec sleep 100000 ;;
            slow) sleep 30 ;;
            claim) line="1-0 {White mates}" ;;
        esac
    fi
    printf '%s\n' "$line"
done
[[ $fault == noquit ]] && exec sleep 100000
