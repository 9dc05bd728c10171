#!/bin/bash
# xboard_match.sh - play an engine-engine match in a real xboard, headless.
#
# Runs xboard under a virtual X server (Xvfb) in match mode between a first
# engine (by default our build/tarno) and an opponent (by default Debian's
# fairymax), alternating colours, saving every game to a PGN file, and then
# prints a summary from that PGN: the score of the first engine and how each
# game ended.  Terminations that point at a fault of the first engine (an
# illegal move, a loss on time, a false claim, a crash or lost pipe, an
# unfinished game, a stalled or overrunning match) are flagged, and the exit
# status is non-zero when there is any, so the script doubles as a check.
#
# Usage: tools/xboard_match.sh [options] [-- extra xboard options]
#
#   -n, --games N          number of games (default 10)
#   -t, --tc TC            time control (default 10+0.1):
#                            BASE[+INC]   BASE for each side, INC seconds
#                                         added after every move (0.1 is fine)
#                            MOVES/BASE   MOVES moves in BASE, repeating
#                          BASE is seconds (10, 10s), minutes (2m) or M:SS.
#                          Examples: 10+0.1, 1m+0, 2:30+1, 40/1m, 40/60
#       --ponder           let both engines think on the opponent's time
#       --no-ponder        (default) no pondering
#   -e, --engine CMD       first engine's command line
#                          (default: build/tarno of this repository)
#   -d, --engine-dir DIR   first engine's working directory; default is a
#                          fresh scratch directory, so that no Tarno.ini or
#                          book.bin lying around changes its settings
#   -f, --engine-file FILE copy FILE (e.g. a Tarno.ini or book.bin) into the
#                          first engine's working directory; repeatable
#       --uci              the first engine speaks UCI: xboard runs it through
#                          Debian's polyglot adapter (-fUCI)
#   -p, --opponent CMD     opponent's command line (default fairymax);
#                          e.g. phalanx, hoichess
#       --opponent-uci     the opponent speaks UCI (through polyglot too)
#       --opponent-package PKG
#                          Debian package that provides the opponent
#                          (default: guessed from the command's name)
#   -o, --pgn FILE         where the games go (default xboard_match.pgn);
#                          an existing file is renamed to FILE.bak.  Beside
#                          it: FILE minus .pgn plus .debug.log (xboard's log
#                          of every line to and from both engines, with
#                          millisecond stamps: each "time"/"otim" sent and
#                          when each move arrived) and .xboard.log (xboard's
#                          own messages and this script's notes)
#       --timeout SECS     kill the whole match after SECS seconds (default:
#                          a generous bound from the time control and games)
#       --stall SECS       kill the match when no engine traffic has been
#                          logged for SECS seconds (default: BASE + 60)
#       --openings FILE    start the games from FILE: a PGN of opening
#                          lines, or FEN/EPD positions one a line; each is
#                          played twice, the engines swapping colours
#       --cores N          tell engines that support it to use N cores
#       --nogui            run xboard with -noGUI (no board drawing at all;
#                          the default draws into the virtual screen like a
#                          real session)
#       --first-black      the first engine takes Black in game 1
#       --no-install       do not install missing packages, fail instead
#       --keep-scratch     keep the scratch directory (engine directories,
#                          xboard's settings) and print where it is
#       --summarize PGN    only print the summary of a PGN saved earlier (-n
#                          and --first-black say what the match was)
#   -h, --help             print this text
#
# Missing packages (xboard, xvfb and the opponent's package) are installed
# by tools/install-deps.sh with apt-get, which needs root or sudo; "apt-get
# update" runs only when something is missing.  Nothing is read from the
# terminal, so it runs under CI=true with no standard input.
#
# Everything the match starts (Xvfb, xboard, both engines) lives in a private
# PID namespace when the system allows one (root on Linux): when the match
# ends, its watchdog fires or the script is interrupted, the namespace is torn
# down and the kernel ends every process in it, whatever they do with
# signals.  Elsewhere (or with XBOARD_MATCH_NO_NAMESPACE=1 in the
# environment) the processes run in a session of their own, which is killed
# process by process at the end.
#
# Exit status: 0 the match completed with no fault of the first engine;
#              1 faults were flagged (see the summary);
#              2 usage or set-up error; 130 interrupted.
#
# Examples:
#   tools/xboard_match.sh -n 20 -t 10+0.1 -o out/tarno-fairymax.pgn
#   tools/xboard_match.sh -n 10 -t 10+0.1 --ponder -p phalanx
#   tools/xboard_match.sh -n 2 -t 40/1m -e /usr/games/fairymax -p phalanx
#   tools/xboard_match.sh -n 20 --uci                  (our UCI side)
#   tools/xboard_match.sh -n 10 -p build/tarno --opponent-uci
#                                   (the engine as xboard against itself as UCI)

set -u -o pipefail

SELF=$(readlink -f "${BASH_SOURCE[0]}")
REPO=$(dirname "$(dirname "$SELF")")
export PATH="$PATH:/usr/games"

die() { echo "xboard_match: $*" >&2; exit 2; }
note() { echo "xboard_match: $*" >&2; }

usage() {
    # The comment block at the top of this file is the manual.
    sed -n '2,/^$/{s/^# \{0,1\}//;p}' "$SELF"
}

# ---------------------------------------------------------------------------
# The supervisor: runs inside the namespace (or session), starts Xvfb and
# xboard, watches the match and ends everything.  It talks to the outer
# script through the XM_* environment and the status file.
# ---------------------------------------------------------------------------

supervise() {
    local log=$XM_XBLOG
    local xvfb_pid xb_pid display="" i

    trap 'finish "interrupted"' INT TERM HUP
    # Outside a namespace our session is what the outer script kills.
    echo "$$" > "$XM_SCRATCH/sid"

    : > "$XM_SCRATCH/display"
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 \
        3>"$XM_SCRATCH/display" >>"$XM_SCRATCH/xvfb.log" 2>&1 </dev/null &
    xvfb_pid=$!
    # -displayfd makes Xvfb pick a free display and write its number once it
    # accepts clients, so two matches (or other helpers' X servers) never
    # collide.
    for ((i = 0; i < 100; i++)); do
        display=$(head -n1 "$XM_SCRATCH/display" 2>/dev/null)
        [[ $display =~ ^[0-9]+$ ]] && break
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.1
    done
    if ! [[ $display =~ ^[0-9]+$ ]]; then
        cat "$XM_SCRATCH/xvfb.log" >> "$log"
        finish "setup: Xvfb did not start (see $log)"
    fi

    local -a args
    mapfile -t args < "$XM_SCRATCH/xboard.args"
    echo "command: xboard ${args[*]}" >> "$log"
    (cd "$XM_SCRATCH" && exec env HOME="$XM_SCRATCH/home" DISPLAY=":$display" \
        xboard "${args[@]}" </dev/null >>"$log" 2>&1) &
    xb_pid=$!

    local start=$SECONDS last_size=-1 last_change=$SECONDS size games
    local done_at=-1 rc
    while :; do
        if ! kill -0 "$xb_pid" 2>/dev/null; then
            wait "$xb_pid"; rc=$?
            xb_pid=""
            if ((rc != 0)); then finish "xboard exited with status $rc"; fi
            echo "xboard exited with status 0" >> "$log"
            # A clean exit still must not leave an engine running.
            if [[ -n $(list_leftovers) ]]; then
                finish "a process outlived xboard (an engine did not quit?)"
            fi
            finish ""
        fi
        if read -r -t 0 -u 8; then
            finish "the match script itself was killed"
        fi
        if ((SECONDS - start >= XM_TIMEOUT)); then
            finish "watchdog: the match ran past its timeout of $XM_TIMEOUT s"
        fi
        # Progress is anything new in the debug log (engine lines, clocks
        # sent, moves) or in the PGN.
        size=$(( $(stat -c %s "$XM_DEBUG" 2>/dev/null || echo 0) +
                 $(stat -c %s "$XM_PGN" 2>/dev/null || echo 0) ))
        if ((size != last_size)); then
            last_size=$size last_change=$SECONDS
        elif ((SECONDS - last_change >= XM_STALL)); then
            finish "stall: no engine traffic for $XM_STALL s (an engine or xboard hangs)"
        fi
        games=$(grep -c '^\[Result ' "$XM_PGN" 2>/dev/null)
        if ((${games:-0} >= XM_GAMES)); then
            ((done_at < 0)) && done_at=$SECONDS
            if ((SECONDS - done_at >= 20)); then
                finish "xboard did not exit within 20 s of the last game (an engine did not quit?)"
            fi
        fi
        sleep 1
    done
}

# Ends the match: ask xboard to stop (it then saves an unfinished game with
# the result "*"), give it a moment, then kill whatever is left.
finish() {
    trap '' INT TERM HUP
    local reason=$1 log=$XM_XBLOG i
    [[ -n $reason ]] && echo "$reason" >> "$log"
    if [[ -n ${xb_pid:-} ]] && kill -0 "$xb_pid" 2>/dev/null; then
        kill -TERM "$xb_pid" 2>/dev/null
        for ((i = 0; i < 50; i++)); do
            kill -0 "$xb_pid" 2>/dev/null || break
            sleep 0.1
        done
    fi
    list_leftovers >> "$log"
    printf '%s\n' "$reason" > "$XM_SCRATCH/status"
    [[ -n ${xvfb_pid:-} ]] && kill -TERM "$xvfb_pid" 2>/dev/null
    if [[ ${XM_NS:-0} == 1 && $$ == 1 ]]; then
        # We are the init of the match's own PID namespace: -1 reaches every
        # process in it and nothing outside.
        kill -KILL -1 2>/dev/null
    else
        kill_session "$$"
    fi
    wait 2>/dev/null    # reap them: no zombies left for the system to collect
    # Nobody is left to tidy up after a killed script.
    if [[ $reason == "the match script itself was killed" && ${XM_KEEP:-0} != 1 ]]; then
        rm -rf -- "$XM_SCRATCH"
    fi
    exit 0
}

# Processes of the match still alive besides ourselves and the X server, for
# the post-mortem: in a namespace every process is one of ours, in a session
# those that kept our session id. The X server's own children are its
# business: when xboard, its last client, goes, Xvfb resets and compiles its
# keymap again (sh -c xkbcomp), which a look at that moment would otherwise
# count as an engine that did not quit.
list_leftovers() {
    local me=$BASHPID out="" pid ppid sid args table
    local ps_args="pid=,ppid=,sid=,args="
    local -A server=()
    [[ -n ${xvfb_pid:-} ]] && server[$xvfb_pid]=1
    table=$(ps -e -o "$ps_args")
    # The server's descendants, parents before children whatever the order
    # of the table: repeat until a pass adds none.
    local grew=1
    while ((grew)); do
        grew=0
        while read -r pid ppid sid args; do
            [[ -n ${server[$ppid]:-} && -z ${server[$pid]:-} ]] && server[$pid]=1 && grew=1
        done <<< "$table"
    done
    while read -r pid ppid sid args; do
        ((pid == 1 || pid == $$ || pid == me)) && continue
        [[ -n ${server[$pid]:-} ]] && continue
        [[ $args == "ps -e -o $ps_args" ]] && continue
        [[ ${XM_NS:-0} == 1 || $sid == "$$" ]] || continue
        out+="  $pid $args"$'\n'
    done <<< "$table"
    [[ -n $out ]] && printf 'still running at the end of the match:\n%s' "$out"
    return 0
}

# Kills every process of session SID except the caller (session fallback).
# The list is taken whole first, so that ps is not among the killed.
kill_session() {
    local sid=$1 pid s table
    table=$(ps -e -o pid=,sid=)
    while read -r pid s; do
        [[ $s == "$sid" && $pid != "$$" && $pid != "$BASHPID" ]] &&
            kill -KILL "$pid" 2>/dev/null
    done <<< "$table"
}

# One line per game: round, colour of the first engine, players, result,
# termination text, and a verdict.  The termination is the comment xboard
# writes just before the result; loser-side terminations count against the
# first engine only when it lost, but an unfinished game counts always.
#   summarise PGN GAMES-WANTED FIRST-BLACK(0/1) FAULT-COUNT-FILE
summarise() {
    [[ -e $1 ]] || : > "$1"     # xboard saves nothing when no game had a move
    awk -v want="$2" -v first_black="$3" -v count_file="$4" '
    function flush(   white_first, result, term, first_res, t, kind, verdict, remark) {
        if (!have) return
        n++
        if (!("Round" in tag)) round = n
        white_first = ((round % 2 == 1) != (first_black == 1))
        result = tag["Result"]
        term = ""
        if (match(moves, /\{[^{}]*\}[ ]*(1-0|0-1|1\/2-1\/2|\*)[ ]*$/)) {
            term = substr(moves, RSTART + 1)
            sub(/\}[ ]*(1-0|0-1|1\/2-1\/2|\*)[ ]*$/, "", term)
            if (term ~ /^[-+]?[0-9.]+\/[0-9]+/) term = ""   # a move score, not a reason
        }
        if (result == "1/2-1/2") { first_res = "draw"; draws++ }
        else if (result == "1-0") { first_res = white_first ? "win" : "loss" }
        else if (result == "0-1") { first_res = white_first ? "loss" : "win" }
        else first_res = "unfinished"
        if (first_res == "win") wins++
        if (first_res == "loss") losses++
        # What kind of end it was, whoever lost.
        t = tolower(term); kind = ""
        if (t ~ /illegal|invalid move/) kind = "illegal move"
        else if (t ~ /on time|flag/) kind = "time forfeit (or hang)"
        else if (t ~ /false .*claim/) kind = "false claim"
        else if (t ~ /crash|exit|disconnect|died|terminat|killed|error/) kind = "crash or disconnect"
        else if (t ~ /abort/) kind = "aborted game"
        verdict = ""; remark = ""
        if (first_res == "unfinished") verdict = "unfinished game"
        else if (first_res == "loss") verdict = kind
        else if (first_res == "win" && kind != "") remark = "   (opponent: " kind ")"
        if (verdict != "") faults++
        if (n == 1) {
            printf "first engine: %s; opponent: %s\n",
                tag[white_first ? "White" : "Black"], tag[white_first ? "Black" : "White"]
            print "game  first  result   outcome    termination"
        }
        printf "%4d  %-5s  %-7s  %-10s {%s}%s\n", round, white_first ? "White" : "Black",
            result, first_res, term, verdict != "" ? "   FAULT: " verdict : remark
        have = 0; moves = ""; delete tag
    }
    /^\[Event / { flush() }
    /^\[[A-Za-z]+ "/ {
        k = substr($0, 2, index($0, " ") - 2)
        v = substr($0, index($0, "\"") + 1); sub(/"\][ \t\r]*$/, "", v)
        tag[k] = v; have = 1
        if (k == "Round") round = v + 0
        next
    }
    { sub(/\r$/, ""); if (have) moves = moves " " $0 }
    END {
        flush()
        printf "games %d of %d; first engine: %d wins, %d draws, %d losses (%.1f/%d)\n",
            n, want, wins, draws, losses, wins + draws / 2, n
        if (n < want) { printf "FAULT: only %d of %d games were played\n", n, want; faults++ }
        print faults + 0 > count_file
    }' "$1"
}

# The last line of every summary, and the exit status that goes with it.
conclude() {
    if (($1)); then
        echo "RESULT: $1 fault(s) flagged"
        exit 1
    fi
    echo "RESULT: no faults"
    exit 0
}

if [[ ${1:-} == --supervise ]]; then
    supervise
fi

# ---------------------------------------------------------------------------
# Options
# ---------------------------------------------------------------------------

games="" summary_of="" tc=10+0.1 ponder=0 engine="$REPO/build/tarno" engine_dir=""
opponent=fairymax opponent_pkg="" pgn=xboard_match.pgn timeout="" stall=""
cores="" openings="" gui=1 first_black=0 install=1 keep=0 first_uci=0 second_uci=0
engine_files=() extra=()

need_arg() { (($# >= 2)) || die "option $1 needs a value (see --help)"; }
while (($#)); do
    case $1 in
        -n|--games) need_arg "$@"; games=$2; shift ;;
        -t|--tc) need_arg "$@"; tc=$2; shift ;;
        --ponder) ponder=1 ;;
        --no-ponder) ponder=0 ;;
        -e|--engine) need_arg "$@"; engine=$2; shift ;;
        -d|--engine-dir) need_arg "$@"; engine_dir=$2; shift ;;
        -f|--engine-file) need_arg "$@"; engine_files+=("$2"); shift ;;
        --uci) first_uci=1 ;;
        -p|--opponent) need_arg "$@"; opponent=$2; shift ;;
        --opponent-uci) second_uci=1 ;;
        --opponent-package) need_arg "$@"; opponent_pkg=$2; shift ;;
        -o|--pgn) need_arg "$@"; pgn=$2; shift ;;
        --timeout) need_arg "$@"; timeout=$2; shift ;;
        --stall) need_arg "$@"; stall=$2; shift ;;
        --cores) need_arg "$@"; cores=$2; shift ;;
        --openings) need_arg "$@"; openings=$2; shift ;;
        --nogui) gui=0 ;;
        --first-black) first_black=1 ;;
        --no-install) install=0 ;;
        --keep-scratch) keep=1 ;;
        --summarize) need_arg "$@"; summary_of=$2; shift ;;
        -h|--help) usage; exit 0 ;;
        --) shift; extra=("$@"); break ;;
        *) die "unknown option '$1' (see --help)" ;;
    esac
    shift
done

is_count() { [[ $1 =~ ^[0-9]+$ ]] && (($1 > 0)); }
[[ -z $games ]] || is_count "$games" || die "--games needs a positive whole number, not '$games'"

if [[ -n $summary_of ]]; then
    [[ -r $summary_of ]] || die "cannot read $summary_of"
    [[ -n $games ]] || games=$(grep -c '^\[Result ' "$summary_of")
    counts=$(mktemp) || die "no temporary file"
    summarise "$summary_of" "$games" "$first_black" "$counts"
    faults=$(cat "$counts"); rm -f "$counts"
    conclude "$faults"
fi
games=${games:-10}
[[ -z $timeout ]] || is_count "$timeout" || die "--timeout needs seconds, not '$timeout'"
[[ -z $stall ]] || is_count "$stall" || die "--stall needs seconds, not '$stall'"
[[ -z $cores ]] || is_count "$cores" || die "--cores needs a positive number, not '$cores'"
[[ $pgn != *%* ]] || die "the PGN path may not contain '%' (xboard expands it)"

# Time control -> base seconds, increment and moves per session.
base_seconds() {
    local b=$1
    if [[ $b =~ ^([0-9]+)s?$ ]]; then echo "${BASH_REMATCH[1]}"
    elif [[ $b =~ ^([0-9]+)m$ ]]; then echo $((BASH_REMATCH[1] * 60))
    elif [[ $b =~ ^([0-9]+):([0-5][0-9])$ ]]; then
        echo $((BASH_REMATCH[1] * 60 + 10#${BASH_REMATCH[2]}))
    else return 1
    fi
}
mps="" inc=0
if [[ $tc =~ ^([0-9]+)/(.+)$ ]]; then
    mps=${BASH_REMATCH[1]}
    base=$(base_seconds "${BASH_REMATCH[2]}") || die "bad time control '$tc'"
    is_count "$mps" || die "bad time control '$tc': no moves per session"
elif [[ $tc =~ ^([^+]+)(\+([0-9]+(\.[0-9]+)?))?$ ]]; then
    base=$(base_seconds "${BASH_REMATCH[1]}") || die "bad time control '$tc'"
    inc=${BASH_REMATCH[3]:-0}
else
    die "bad time control '$tc' (see --help)"
fi
((base > 0)) || die "bad time control '$tc': the base time is 0"
tc_xboard=$(printf '%d:%02d' $((base / 60)) $((base % 60)))
if [[ -n $mps ]]; then tc_text="$mps moves in $base s"; else tc_text="$base s + $inc s a move"; fi

# Generous bounds: a game of up to 150 moves a side using all of both clocks.
if [[ -z $timeout ]]; then
    if [[ -n $mps ]]; then
        per_game=$((2 * base * ((150 + mps - 1) / mps) + 10))
    else
        per_game=$(awk -v b="$base" -v i="$inc" 'BEGIN { printf "%d", 2 * (b + 150 * i) + 10 }')
    fi
    timeout=$((games * per_game + 60))
fi
[[ -n $stall ]] || stall=$((base + 60))

# ---------------------------------------------------------------------------
# Packages and engines
# ---------------------------------------------------------------------------

# The Debian package of an engine command: most are named after it.
package_of() {
    case $(basename "$1") in
        gnuchess|gnuchessx|gnuchessu) echo gnuchess ;;
        fairymax|shamax|maxqi) echo fairymax ;;
        xphalanx) echo phalanx ;;
        *) basename "$1" ;;
    esac
}

read -r -a engine_words <<< "$engine"
read -r -a opponent_words <<< "$opponent"
((${#engine_words[@]})) || die "--engine is empty"
((${#opponent_words[@]})) || die "--opponent is empty"
[[ -n $opponent_pkg ]] || opponent_pkg=$(package_of "${opponent_words[0]}")

missing=()
command -v xboard >/dev/null || missing+=(xboard)
command -v Xvfb >/dev/null || missing+=(xvfb)
command -v "${opponent_words[0]}" >/dev/null || missing+=("$opponent_pkg")
if ((first_uci || second_uci)) && ! command -v polyglot >/dev/null; then missing+=(polyglot); fi
if [[ ${engine_words[0]} != */* ]] && ! command -v "${engine_words[0]}" >/dev/null; then
    missing+=("$(package_of "${engine_words[0]}")")
fi
if ((${#missing[@]})); then
    ((install)) || die "missing packages: ${missing[*]} (and --no-install given)"
    packages=()
    for pkg in "${missing[@]}"; do packages+=(--package "$pkg"); done
    # The project's installer: apt-get as root or through sudo, or one line
    # naming the command to run. Its apt output stays off the summary.
    "$REPO/tools/install-deps.sh" "${packages[@]}" </dev/null >/dev/null ||
        die "could not install ${missing[*]}"
fi

# xboard starts the engines in their own directories, so a relative command
# would be looked up there: make both commands absolute.
absolute_command() {
    local word=$1 path
    if [[ $word == */* ]]; then path=$(readlink -f "$word") || return 1
    else path=$(command -v "$word") || return 1
    fi
    [[ -f $path && -x $path ]] || return 1
    echo "$path"
}
engine_words[0]=$(absolute_command "${engine_words[0]}") ||
    die "first engine '${engine%% *}' not found or not executable (for build/tarno run make first)"
opponent_words[0]=$(absolute_command "${opponent_words[0]}") ||
    die "opponent '${opponent%% *}' not found even after installing $opponent_pkg"

# Ends the match's processes if they still run: first the supervisor is asked
# to stop (so xboard saves the game in progress), then everything is killed.
stop_run() {
    local sup i
    [[ -n ${run_pid:-} ]] && kill -0 "$run_pid" 2>/dev/null || return 0
    if ((${XM_NS:-0})); then sup=$(ps -o pid= --ppid "$run_pid")
    else sup=$(cat "$scratch/sid" 2>/dev/null)
    fi
    [[ -n $sup ]] && kill -TERM $sup 2>/dev/null
    for ((i = 0; i < 80; i++)); do
        kill -0 "$run_pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -KILL "$run_pid" 2>/dev/null
    ((${XM_NS:-0})) || kill_session "$(cat "$scratch/sid" 2>/dev/null)"
    wait "$run_pid" 2>/dev/null
}

# Runs on every exit of the outer script.
cleanup() {
    stop_run
    if ((keep)); then note "scratch directory kept: $scratch"
    else rm -rf -- "$scratch"
    fi
}

# ---------------------------------------------------------------------------
# Files
# ---------------------------------------------------------------------------

mkdir -p "$(dirname "$pgn")" || die "cannot create the directory of $pgn"
pgn=$(readlink -f "$pgn")
base_name=${pgn%.pgn}
debug_log=$base_name.debug.log
xboard_log=$base_name.xboard.log
if [[ -e $pgn ]]; then
    mv -f "$pgn" "$pgn.bak" || die "cannot move the old $pgn aside"
    note "moved the existing $pgn to $pgn.bak"
fi
: > "$debug_log" && : > "$xboard_log" || die "cannot write beside $pgn"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/xboard_match.XXXXXX") || die "no scratch directory"
trap cleanup EXIT
mkdir -p "$scratch/home" "$scratch/opponent"
if [[ -z $engine_dir ]]; then
    engine_dir=$scratch/engine
    mkdir -p "$engine_dir"
fi
engine_dir=$(readlink -f "$engine_dir") && [[ -d $engine_dir ]] ||
    die "engine directory '$engine_dir' does not exist"
for f in "${engine_files[@]}"; do
    cp -- "$f" "$engine_dir/" || die "cannot copy $f into $engine_dir"
done

# xboard's options.  Beyond the match itself:
#  -autoCallFlag  calls a fallen flag at once; without it an engine that
#                 overruns (or hangs) on move keeps the game going forever.
#  -matchPause    one second between games (the default ten are for engines
#                 without "ping"; xboard pings both before each game anyway).
#  -testLegality, -testClaims, -checkMates
#                 xboard checks every move and claim, so an illegal move or a
#                 false claim loses and shows in the result comment.
#  no popups, no sounds, no saved settings: nobody is there to click.
args=(
    -fcp "${engine_words[*]}" -fd "$engine_dir"
    -scp "${opponent_words[*]}" -sd "$scratch/opponent"
    -mg "$games" -tc "$tc_xboard"
    -sgf "$pgn" -debugMode true -nameOfDebugFile "$debug_log" -engineDebugOutput 1
    -autoCallFlag true -matchPause 1000
    -testLegality true -testClaims true -checkMates true
    -popupExitMessage false -popupMoveErrors false
    -saveSettingsOnExit false -soundProgram "" -showThinking true
)
if [[ -n $mps ]]; then args+=(-mps "$mps"); else args+=(-inc "$inc"); fi
if ((ponder)); then args+=(-ponder); else args+=(-xponder); fi
# A UCI engine is started by xboard's adapter command, polyglot by default.
((first_uci)) && args+=(-fUCI)
((second_uci)) && args+=(-sUCI)
((first_black)) && args+=(-firstPlaysBlack true)
[[ -n $cores ]] && args+=(-smpCores "$cores")
# Index -2: the next opening every second game, so both engines play each
# side of it.
if [[ -n $openings ]]; then
    openings=$(readlink -f "$openings") && [[ -r $openings ]] ||
        die "cannot read the openings file"
    if grep -q '^\[' "$openings"; then args+=(-lgf "$openings" -lgi -2 -td 0)
    else args+=(-lpf "$openings" -lpi -2)
    fi
fi
((gui)) || args+=(-noGUI)
args+=("${extra[@]}")
printf '%s\n' "${args[@]}" > "$scratch/xboard.args"

# ---------------------------------------------------------------------------
# Run
# ---------------------------------------------------------------------------

export XM_SCRATCH=$scratch XM_PGN=$pgn XM_DEBUG=$debug_log XM_XBLOG=$xboard_log
export XM_GAMES=$games XM_TIMEOUT=$timeout XM_STALL=$stall XM_KEEP=$keep

# A PID namespace with its own /proc if the system lets us make one; the
# --kill-child makes the kernel end the namespace even if this script is
# killed outright.
if [[ ${XBOARD_MATCH_NO_NAMESPACE:-0} != 1 ]] &&
    unshare --pid --fork --kill-child --mount-proc true 2>/dev/null; then
    export XM_NS=1
    runner=(unshare --pid --fork --kill-child --mount-proc)
else
    export XM_NS=0
    runner=(setsid --wait)
fi

interrupted=0
trap 'interrupted=1; echo "interrupted" >> "$xboard_log"; stop_run' INT TERM HUP

ponder_text=off; ((ponder)) && ponder_text=on
((first_uci)) && note "first engine speaks UCI (through polyglot)"
((second_uci)) && note "opponent speaks UCI (through polyglot)"
note "$games games at $tc_text, pondering $ponder_text: ${engine_words[*]} vs ${opponent_words[*]}"
note "PGN $pgn (watchdog $timeout s, stall $stall s)"

# The supervisor reads the far end of a pipe that only this script writes to:
# should this script be killed outright, the pipe reports end-of-file and the
# supervisor ends the match instead of playing on unwatched.
mkfifo "$scratch/alive" || die "cannot make a pipe in $scratch"
"${runner[@]}" bash "$SELF" --supervise </dev/null 8<"$scratch/alive" &
run_pid=$!
exec 9>"$scratch/alive"
wait "$run_pid"
if ((!interrupted)) && ((XM_NS == 0)); then kill_session "$(cat "$scratch/sid" 2>/dev/null)"; fi
run_pid=""
reason=""
((interrupted)) || reason=$(cat "$scratch/status" 2>/dev/null || echo "the supervisor died")

# ---------------------------------------------------------------------------
# Summary
# ---------------------------------------------------------------------------


echo
echo "Match: ${engine_words[*]} (first) vs ${opponent_words[*]}; $tc_text, pondering $ponder_text"
summarise "$pgn" "$games" "$first_black" "$scratch/faults"
faults=$(cat "$scratch/faults" 2>/dev/null)
[[ $faults =~ ^[0-9]+$ ]] || faults=1

# What xboard said about the engines' processes and pipes.  The PGN of a game
# whose engine died often just reads "wins on time", so this is where a crash
# shows; xboard calls our engine the "first" program.
engine_errors=$(grep -aE 'exited unexpectedly|Error (writing to|reading from)|failed to start|Broken pipe' "$xboard_log" |
    sort | uniq -c)
if [[ -n $engine_errors ]]; then
    echo "xboard reported:"
    while read -r count line; do
        tag=""
        [[ $line == *first* ]] && tag="   FAULT: first engine" && faults=$((faults + 1))
        [[ $line == *second* ]] && tag="   (opponent)"
        ((count > 1)) && line+=" ($count times)"
        echo "  $line$tag"
    done <<< "$engine_errors"
fi
# xboard's own count, as a cross-check: a game that ends before its first
# move (an engine that never answers) is counted there but not saved.
grep -a 'final score' "$xboard_log"
if ((interrupted)); then
    echo "interrupted: the match was stopped by a signal"
elif [[ $reason == setup:* ]]; then
    echo "$reason"
    exit 2
elif [[ -n $reason ]]; then
    echo "FAULT: $reason"
    faults=$((faults + 1))
fi
echo "PGN: $pgn"
echo "debug log: $debug_log"
echo "xboard log: $xboard_log"

((interrupted)) && exit 130
conclude "$faults"
