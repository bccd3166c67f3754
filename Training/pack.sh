#!/bin/sh
# Packs the finished self-play chunks of one or more directories into training records:
# their positions are gathered into OUT.epd (unfinished chunks are left out) and converted
# with "tarn -epd2bin" into OUT.bin, 40 bytes a position.
#
#   Training/pack.sh OUT.epd GEN_DIR [GEN_DIR ...]
#
# TARN names the engine binary (default build/tarn); TBPATH, when set, gives the tablebase
# directories whose results replace the game results of positions they know.
set -eu

out=${1:?usage: pack.sh OUT.epd GEN_DIR [GEN_DIR ...]}
shift
case $out in
*.epd) ;;
*)
    echo "pack.sh: the output must end in .epd" >&2
    exit 1
    ;;
esac
here=$(cd "$(dirname "$0")/.." && pwd)
tarn=${TARN:-$here/build/tarn}

: >"$out.part"
chunks=0
for dir in "$@"; do
    for done_marker in "$dir"/chunk-*.done; do
        [ -e "$done_marker" ] || continue
        cat "${done_marker%.done}.epd" >>"$out.part"
        chunks=$((chunks + 1))
    done
done
mv "$out.part" "$out"
echo "pack.sh: $chunks chunks, $(wc -l <"$out") positions in $out"
if [ -n "${TBPATH:-}" ]; then
    "$tarn" -tbpath "$TBPATH" -epd2bin "$out"
else
    "$tarn" -epd2bin "$out"
fi
