#!/bin/sh
# Gathers the finished chunks of tarn-datagen folders into one training file and one
# validation file: chunk K goes to validation when K is a multiple of VAL_EVERY (default 25;
# 0 keeps every chunk for training), to training otherwise. A chunk without its .done marker
# is still being played and is left out.
#
#   Training/gather.sh OUT DIR [DIR ...]
#
# writes OUT-train.bin and OUT-val.bin (40 bytes a record), each under a temporary name
# first, so that an interrupted run leaves no half-written file behind.
set -eu

out=${1:?usage: gather.sh OUT DIR [DIR ...]}
shift
[ $# -gt 0 ] || {
    echo "usage: gather.sh OUT DIR [DIR ...]" >&2
    exit 2
}
every=${VAL_EVERY:-25}
case $every in
'' | *[!0-9]*)
    echo "gather.sh: VAL_EVERY must be a number, not '$every'" >&2
    exit 2
    ;;
esac

trap 'rm -f "$out-train.bin.part" "$out-val.bin.part"' EXIT
: >"$out-train.bin.part"
: >"$out-val.bin.part"
train=0 val=0
for dir in "$@"; do
    [ -d "$dir" ] || {
        echo "gather.sh: no folder $dir" >&2
        exit 1
    }
    for done_marker in "$dir"/chunk-*.done; do
        [ -e "$done_marker" ] || continue
        chunk=${done_marker%.done}.bin
        k=${done_marker##*/chunk-}
        k=${k%.done}
        [ -e "$chunk" ] || {
            echo "gather.sh: $done_marker has no $chunk" >&2
            exit 1
        }
        if [ "$every" -gt 0 ] && [ $((k % every)) -eq 0 ]; then
            cat "$chunk" >>"$out-val.bin.part"
            val=$((val + 1))
        else
            cat "$chunk" >>"$out-train.bin.part"
            train=$((train + 1))
        fi
    done
done
mv "$out-train.bin.part" "$out-train.bin"
mv "$out-val.bin.part" "$out-val.bin"
echo "gather.sh: $train chunks, $(($(wc -c <"$out-train.bin") / 40)) records in $out-train.bin;" \
    "$val chunks, $(($(wc -c <"$out-val.bin") / 40)) records in $out-val.bin"
