#!/bin/sh
# The training pipeline end to end on a tiny scale: self-play, variations with shallow labels,
# packing and one epoch of training, each stage run twice to show that finished work is kept.
#
#   pipeline_test.sh TARN TARN_TRAIN TARN_MATCH
set -eu

tarn=${1:?engine binary}
train=${2:?trainer binary}
match=${3:?match binary}
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tarn-pipeline.XXXXXX")
trap 'rm -rf "$work"' EXIT

fail() {
    echo "pipeline_test: $*" >&2
    exit 1
}
shared=${TARN_SHARED_DATA:-$here/../shared/data}
if [ ! -e "$shared/openings-noob3moves.txt" ] || [ ! -e "$shared/syzygy" ]; then
    echo "pipeline_test: skipped: no shared test data in $shared (set TARN_SHARED_DATA)"
    exit 77
fi

export TARN="$tarn" MATCH="$match" TRAIN="$train"

# Games: two chunks of two games.
GAMES=2 NODES=300 CONCURRENCY=1 GEN_SEED=9 "$here/Training/selfplay.sh" "$work/games" 1 2
for k in 1 2; do
    [ -e "$work/games/chunk-$k.done" ] || fail "self-play chunk $k has no .done marker"
    [ -s "$work/games/chunk-$k.epd" ] || fail "self-play chunk $k wrote no positions"
done
grep -qv ' ce -\{0,1\}[0-9]*; gr [01]\.[05];$' "$work/games/chunk-1.epd" &&
    fail "self-play positions are not 'FEN ce S; gr R;'"
# A finished chunk is not played again.
cp "$work/games/chunk-1.epd" "$work/chunk-1.before"
GAMES=2 NODES=300 CONCURRENCY=1 GEN_SEED=9 "$here/Training/selfplay.sh" "$work/games" 1 2
cmp -s "$work/games/chunk-1.epd" "$work/chunk-1.before" || fail "a finished chunk was replayed"

# Records from the games.
TBPATH="$shared/syzygy" "$here/Training/pack.sh" "$work/games.epd" "$work/games" \
    >"$work/pack.log"
games=$(wc -l <"$work/games.epd")
[ "$(wc -c <"$work/games.bin")" -eq $((40 * games)) ] || fail "games.bin is not 40 bytes a position"

# Variations of the game positions, labelled at depth 1 in chunks.
CHUNK=100 JOBS=2 "$here/Training/label.sh" "$work/games.epd" "$work/varied" 1 2 >"$work/label.log"
[ -e "$work/varied/inputs.done" ] || fail "label.sh left no inputs marker"
inputs=$(cat "$work/varied"/input-*.epd | wc -l)
[ "$inputs" -gt "$games" ] || fail "$inputs variations of $games positions"
for input in "$work/varied"/input-*.epd; do
    base=$work/varied/chunk-${input##*/input-}
    [ -e "${base%.epd}.done" ] || fail "label chunk of $input has no .done marker"
done
grep -qv '^[^;]* sc -\{0,1\}[0-9]*;$' "$work/varied"/chunk-0000.epd &&
    fail "labelled variations are not 'FEN sc N;'"
# Resuming: a removed chunk is labelled again, the others are kept.
labelled=$(cat "$work/varied"/chunk-*.epd | wc -l)
rm "$work/varied/chunk-0000.done" "$work/varied/chunk-0000.epd"
touch "$work/varied/chunk-0001.epd"
CHUNK=100 JOBS=2 "$here/Training/label.sh" "$work/games.epd" "$work/varied" 1 2 >"$work/label.log"
[ "$(cat "$work/varied"/chunk-*.epd | wc -l)" -eq "$labelled" ] ||
    fail "a resumed labelling run gave another number of positions"
TARN="$tarn" "$here/Training/pack.sh" "$work/varied.epd" "$work/varied" >"$work/pack.log"

# One epoch on both record files gives a network file and its checkpoint.
"$train" --data "$work/games.bin,$work/varied.bin" --out "$work/run" --epochs 1 --batch 256 \
    --threads 2 --quiet >"$work/train.log"
[ -s "$work/run/epoch-1.net" ] || fail "training wrote no network"
[ -s "$work/run/last.ckpt" ] || fail "training wrote no checkpoint"
"$train" --check "$work/run/epoch-1.net" "$work/varied.bin" 500 >"$work/check.log" ||
    fail "the engine and the trainer disagree: $(tail -1 "$work/check.log")"
# Factorised, with positions labelled by the hand-crafted evaluation, validated on other
# games: every kept game position is validated on.
"$train" --data "$work/varied.bin" --hce-data "$work/varied.bin" --val-data "$work/games.bin" \
    --factorise --out "$work/run2" --epochs 1 --batch 256 --threads 2 >"$work/train2.log"
kept=$(grep '^records' "$work/train2.log" | tail -1 | sed 's/^records [0-9]*, kept \([0-9]*\),.*/\1/')
grep -q "validating on $kept\$" "$work/train2.log" ||
    fail "validation is not the $kept kept positions of games.bin: $(grep validating "$work/train2.log")"
"$train" --check "$work/run2/epoch-1.net" "$work/games.bin" 500 >"$work/check2.log" ||
    fail "the factorised network disagrees with the engine: $(tail -1 "$work/check2.log")"
echo "pipeline_test: $games game positions, $labelled labelled variations, network checked"
