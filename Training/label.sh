#!/bin/sh
# Relabels positions with Tarn's own search, in chunks that can be resumed: a chunk whose
# ".done" marker exists is skipped, an unfinished one is labelled again from its start.
#
#   Training/label.sh IN.epd OUT_DIR DEPTH [PER]
#
# With PER, every position of IN.epd first gives up to PER positions one or two random moves
# away ("tarn-train --vary", seed SEED, default 1), and the variations are shuffled, so that a
# run stopped early has still seen every game. The positions are split into OUT_DIR/input-K.epd
# of CHUNK lines (default 50000), and "tarn -d DEPTH -mktune2" labels each into
# OUT_DIR/chunk-K.epd ("FEN sc N;" or, for game positions, "FEN ce S; sc N; gr R;"), which
# Training/pack.sh gathers like self-play chunks. JOBS chunks (default 2) are labelled at once.
# TARN and TRAIN name the engine and trainer binaries; TBPATH the tablebases (default
# ../shared/data/syzygy), whose results correct the labels.
set -eu

in=${1:?usage: label.sh IN.epd OUT_DIR DEPTH [PER]}
out=${2:?output directory}
depth=${3:?search depth}
per=${4:-}
here=$(cd "$(dirname "$0")/.." && pwd)
tarn=${TARN:-$here/build/tarn}
train=${TRAIN:-$here/build/Training/trainer/tarn-train}
tbpath=${TBPATH:-$here/../shared/data/syzygy}
chunk_lines=${CHUNK:-50000}
jobs=${JOBS:-2}
seed=${SEED:-1}

mkdir -p "$out"
if [ ! -e "$out/inputs.done" ]; then
    rm -f "$out"/input-*.epd
    if [ -n "$per" ]; then
        "$train" --vary "$in" "$out/varied.tmp" --per "$per" --seed "$seed"
        # A fixed random source keeps the order the same on every run.
        shuf --random-source="$in" "$out/varied.tmp" >"$out/all.tmp"
        rm -f "$out/varied.tmp"
    else
        cp "$in" "$out/all.tmp"
    fi
    split -l "$chunk_lines" -d -a 4 --additional-suffix=.epd "$out/all.tmp" "$out/input-"
    rm -f "$out/all.tmp"
    touch "$out/inputs.done"
fi

# Worker j labels the chunks whose number leaves j when divided by the number of jobs.
worker() {
    j=$1
    k=0
    for input in "$out"/input-*.epd; do
        if [ $((k % jobs)) -eq "$j" ]; then
            base=$out/chunk-${input##*/input-}
            base=${base%.epd}
            if [ ! -e "$base.done" ]; then
                "$tarn" -tbpath "$tbpath" -d "$depth" -mktune2 "$input" -o "$base.epd" \
                    </dev/null >"$base.log" 2>&1
                touch "$base.done"
            fi
        fi
        k=$((k + 1))
    done
}

j=0
while [ "$j" -lt "$jobs" ]; do
    worker "$j" &
    j=$((j + 1))
done
wait
echo "label.sh: $(cat "$out"/chunk-*.epd | wc -l) positions labelled in $out"
