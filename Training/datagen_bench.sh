#!/bin/sh
# Positions a CPU second of the two ways of making self-play records, at one node count:
# tarn-datagen (games inside one process) and selfplay.sh (tarn-match driving two engine
# processes over the protocol). CPU seconds, not wall time, so that the figure holds on a busy
# machine (one process per core makes positions a CPU second the rate per core), and wall
# time beside it, which is the rate per core only when the machine has nothing else to do.
#
#   Training/datagen_bench.sh NODES GAMES [SCRATCH_DIR]
#
# TARN, MATCH and DATAGEN name the binaries (defaults: the build's).
set -eu
nodes=${1:?usage: datagen_bench.sh NODES GAMES [SCRATCH_DIR]}
games=${2:?games}
here=$(cd "$(dirname "$0")/.." && pwd)
scratch=${3:-$(mktemp -d)}
tarn=${TARN:-$here/build/tarn}
match=${MATCH:-$here/build/Training/match/tarn-match}
datagen=${DATAGEN:-$here/build/Training/datagen/tarn-datagen}
openings=$here/../shared/data/openings-noob3moves.txt
rm -rf "$scratch/datagen" "$scratch/selfplay"

# CPU seconds (user + system) of a command and every process it started, from the "times" of a
# shell that ran only it, and the wall seconds it took.
cpu_seconds() {
    start=$(date +%s.%N)
    sh -c '"$@" >/dev/null 2>&1; times' cpu "$@" | sed -n 2p |
        awk '{ t = 0; for (i = 1; i <= 2; ++i) { split($i, p, "m"); t += p[1] * 60 + p[2] } printf "%.2f", t }'
    echo " $(echo "$(date +%s.%N) $start" | awk '{printf "%.2f", $1 - $2}')"
}

# Positions, CPU seconds and wall seconds as a report line.
report() {
    echo "$1 $2 $3 $4" | awk '{printf "%-13s %6d positions, %7.2f CPU s, %7.2f wall s: %4.0f a CPU second, %4.0f a wall second\n", $1, $2, $3, $4, $2 / $3, $2 / $4}'
}

set -- $(cpu_seconds "$datagen" --out "$scratch/datagen" --chunks 1-1 --games "$games" \
    --nodes "$nodes" --seed 99 --openings "$openings" --chess960 0)
report tarn-datagen "$(sed -n 's/.*positions \([0-9]*\).*/\1/p' "$scratch/datagen/chunk-1.done")" "$1" "$2"

set -- $(cpu_seconds env TARN="$tarn" MATCH="$match" NODES="$nodes" GAMES="$games" CONCURRENCY=1 \
    GEN_SEED=99 "$here/Training/selfplay.sh" "$scratch/selfplay" 1 1 embedded)
report selfplay.sh "$(wc -l <"$scratch/selfplay/chunk-1.epd")" "$1" "$2"
