#!/usr/bin/env bash
# The layer check: a file under Source/ may include the headers of its own layer and of the
# layers below it, never of a layer above (see the README's Layout section):
#
#   base < core < eval, tb, book < search < tools < frontend
#
# base is a set of files rather than a folder: the platform layer, the output routine and the
# option and run-settings records that every subsystem reads. .ci/layers-pending.txt lists the
# climbs still being taken apart; the check fails on any other climb, and on a listed one
# that no longer climbs, so the list only shrinks.
set -euo pipefail
cd "$(dirname "$0")/.."

layer_of() {
    case "$1" in
    core/platform.h | core/platform.cpp | frontend/output.h | frontend/output.cpp | \
        frontend/run_settings.h | frontend/engine_options.h | frontend/engine_options.cpp)
        echo 0 ;;
    core/*) echo 1 ;;
    eval/* | tb/* | book/*) echo 2 ;;
    search/*) echo 3 ;;
    tools/*) echo 4 ;;
    frontend/*) echo 5 ;;
    *) echo 9 ;;
    esac
}

pending=.ci/layers-pending.txt
found=$(mktemp)
trap 'rm -f "$found"' EXIT
for path in $(find Source -name '*.h' -o -name '*.cpp' | sort); do
    file=${path#Source/}
    mine=$(layer_of "$file")
    while IFS= read -r header; do
        if [ "$(layer_of "$header")" -gt "$mine" ]; then
            echo "$file -> $header" >>"$found"
        fi
    done < <(sed -n 's/^#include "\([a-z_]*\/[a-z_0-9]*\.h\)".*/\1/p' "$path")
done

status=0
while IFS= read -r climb; do
    if ! grep -qxF "$climb" "$pending"; then
        echo "layer check: $climb includes a higher layer"
        status=1
    fi
done <"$found"
while IFS= read -r listed; do
    case "$listed" in '' | '#'*) continue ;; esac
    if ! grep -qxF "$listed" "$found"; then
        echo "layer check: '$listed' no longer climbs; take it off $pending"
        status=1
    fi
done <"$pending"
[ $status -eq 0 ] && echo "layer check: $(wc -l <"$found") pending climbs, no others"
exit $status
