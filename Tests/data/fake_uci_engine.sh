#!/bin/sh
# A scripted UCI engine for the match runner's tests. Its arguments are the moves of a whole
# game in coordinate text; asked to move in a position reached by k moves, it answers with
# argument k + 1, so two copies with the same list play that game against each other. A move
# may carry its reported score as "e2e4:-250" (15 centipawns otherwise). Some words act
# instead of moving:
#   crash    end at once, in the middle of the game
#   hang     never answer again
#   nomove   answer "bestmove" without a move
# A first argument "--log=FILE" appends every line received to FILE.
set -f
log=/dev/null
case "$1" in
--log=*)
    log="${1#--log=}"
    shift
    ;;
esac
script="$*"
count=0
hung=0
while IFS= read -r line; do
    echo "$line" >>"$log"
    set -- $line
    case "$1" in
    uci)
        echo "id name Fake"
        echo "option name Hash type spin default 1 min 1 max 64"
        echo "uciok"
        ;;
    isready)
        [ $hung = 1 ] || echo "readyok"
        ;;
    position)
        count=0
        seen=0
        for word in "$@"; do
            [ $seen = 1 ] && count=$((count + 1))
            [ "$word" = moves ] && seen=1
        done
        ;;
    go)
        [ $hung = 1 ] && continue
        set -- $script
        entry=none
        if [ "$count" -lt $# ]; then
            shift "$count"
            entry="$1"
        fi
        move="${entry%%:*}"
        score=15
        case "$entry" in *:*) score="${entry#*:}" ;; esac
        case "$move" in
        crash) exit 3 ;;
        hang) hung=1 ;;
        nomove) echo "bestmove" ;;
        *)
            echo "info depth 2 score cp $score nodes 10 pv $move"
            echo "bestmove $move"
            ;;
        esac
        ;;
    quit)
        exit 0
        ;;
    esac
done
