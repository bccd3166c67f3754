#!/bin/sh
# The strength matches that decide which network is built in, with the settings used for
# every figure in Training/README.md, so that a figure can be played again on any machine.
#
#   Training/strength.sh nodes NET_A NET_B GAMES SEED [PGN]
#       network A against network B, 4,000 nodes a move (fair while other jobs share the
#       cores);
#   Training/strength.sh clock TARN GAMES SEED [PGN]
#       the engine TARN with its built-in network against the same engine with the
#       hand-crafted evaluation, at 10 s + 0.1 s (needs both cores to itself);
#   Training/strength.sh net TARN NET GAMES SEED [PGN]
#       the engine TARN with its built-in network against the same engine with the network
#       file NET (an earlier generation), at 10 s + 0.1 s (needs both cores to itself);
#   Training/strength.sh peer TARN PEER GAMES SEED [PGN]
#       the engine TARN against another UCI engine PEER at 10 s + 0.1 s (PEER's own book
#       switched off where it has one).
#
# All use the openings of openings-noob3moves.txt in seeded random order, both colours of
# each opening, one thread and 16 MB of hash a side, draw adjudication after move 40 and
# resignation. MATCH names the tarn-match binary and TARN_NODES the engine of the "nodes"
# matches (defaults: the build's). The report ends with the Elo difference of the first
# engine and its 95 % interval.
set -eu

usage() {
    sed -n 's/^# \{0,1\}//; 4,17p' "$0" >&2
    exit 2
}

here=$(cd "$(dirname "$0")/.." && pwd)
match=${MATCH:-$here/build/Training/match/tarn-match}
openings=$here/../shared/data/openings-noob3moves.txt
mode=${1:-}
[ $# -gt 0 ] && shift

# Each mode leaves the engines' arguments in "$@" and names GAMES, SEED and PGN by their
# place among its operands; the arguments every match shares follow.
case $mode in
nodes)
    [ $# -ge 4 ] || usage
    tarn=${TARN_NODES:-$here/build/tarn}
    games=$3 seed=$4 pgn=${5:-}
    set -- -engine cmd="$tarn" name=A option.NN_File="$1" \
        -engine cmd="$tarn" name=B option.NN_File="$2" \
        -each nodes=4000 tc=inf option.Hash=16 option.Threads=1 option.Ponder=false
    ;;
clock)
    [ $# -ge 3 ] || usage
    games=$2 seed=$3 pgn=${4:-}
    set -- -engine cmd="$1" name=NN \
        -engine cmd="$1" name=HCE option.Use_NN_eval=false \
        -each tc=10+0.1 option.Hash=16 option.Threads=1 option.Ponder=false
    ;;
net)
    [ $# -ge 4 ] || usage
    games=$3 seed=$4 pgn=${5:-}
    set -- -engine cmd="$1" name=Tarn \
        -engine cmd="$1" name=NET option.NN_File="$2" \
        -each tc=10+0.1 option.Hash=16 option.Threads=1 option.Ponder=false
    ;;
peer)
    [ $# -ge 4 ] || usage
    games=$3 seed=$4 pgn=${5:-}
    set -- -engine cmd="$1" name=Tarn option.Hash=16 option.Threads=1 option.Ponder=false \
        -engine cmd="$2" option.Hash=16 option.Threads=1 \
        -each tc=10+0.1
    ;;
*)
    usage
    ;;
esac
set -- "$@" -games "$games" -repeat -concurrency 2 \
    -openings file="$openings" format=epd order=random -srand "$seed" \
    -draw movenumber=40 movecount=8 score=10 -resign movecount=4 score=1000
if [ -n "$pgn" ]; then
    set -- "$@" -pgnout file="$pgn"
fi
exec "$match" "$@"
