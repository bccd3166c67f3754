#!/bin/sh
# Self-play games for training data, in chunks that can be resumed: a chunk whose ".done"
# marker exists is skipped, an unfinished one is played again from its start.
#
#   Training/selfplay.sh OUT_DIR FIRST_CHUNK LAST_CHUNK [NETWORK_FILE]
#
# Without NETWORK_FILE both sides use the hand-crafted evaluation; with it, that network.
# Chunk K uses the seed 1000003 * GEN_SEED + K, where GEN_SEED (default 1) names the
# generation, so every chunk of every generation plays different games. Each chunk writes
# OUT_DIR/chunk-K.epd (training positions "FEN ce S; gr R;") and OUT_DIR/chunk-K.pgn.
# Settings come from the environment: TARN (engine binary), MATCH (tarn-match binary),
# NODES (8000), GAMES per chunk (200), CONCURRENCY (2), GEN_SEED (1).
set -eu

out=${1:?usage: selfplay.sh OUT_DIR FIRST_CHUNK LAST_CHUNK [NETWORK_FILE]}
first=${2:?first chunk}
last=${3:?last chunk}
network=${4:-}
here=$(cd "$(dirname "$0")/.." && pwd)
tarn=${TARN:-$here/build/tarn}
match=${MATCH:-$here/build/Training/match/tarn-match}
nodes=${NODES:-8000}
games=${GAMES:-200}
concurrency=${CONCURRENCY:-2}
gen_seed=${GEN_SEED:-1}
openings=${TARN_SHARED_DATA:-$here/../shared/data}/openings-noob3moves.txt

if [ -n "$network" ]; then
    eval_options="option.Use_NN_eval=true option.NN_File=$network"
else
    eval_options="option.Use_NN_eval=false"
fi
mkdir -p "$out"
chunk=$first
while [ "$chunk" -le "$last" ]; do
    base=$out/chunk-$chunk
    if [ ! -e "$base.done" ]; then
        rm -f "$base.epd" "$base.pgn"
        seed=$((1000003 * gen_seed + chunk))
        # shellcheck disable=SC2086 # eval_options is a list of words
        "$match" -engine cmd="$tarn" name=Tarn-a -engine cmd="$tarn" name=Tarn-b \
            -each nodes="$nodes" option.Hash=16 option.Threads=1 option.Ponder=false \
            $eval_options \
            -games "$games" -repeat -concurrency "$concurrency" \
            -openings file="$openings" format=epd order=random randomplies=4 \
            -draw movenumber=40 movecount=8 score=10 -resign movecount=4 score=1000 \
            -srand "$seed" -event "selfplay $seed" \
            -epdout file="$base.epd" skipcheck=true skipmate=true \
            -pgnout file="$base.pgn" >"$base.log" 2>&1
        touch "$base.done"
    fi
    chunk=$((chunk + 1))
done
