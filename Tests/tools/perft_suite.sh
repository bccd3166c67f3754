#!/bin/sh
# One perft suite of the shared test data folder through tarn_perft: the folder is
# TARN_SHARED_DATA when set, else the build's default (../shared/data beside the repository).
# Without the file the test is skipped (exit status 77), saying so.
perft=${1:?perft binary}
default=${2:?default shared data folder}
file=${3:?suite file name}
shift 3
shared=${TARN_SHARED_DATA:-$default}
if [ ! -e "$shared/$file" ]; then
    echo "skipped: no shared test data $shared/$file (set TARN_SHARED_DATA to the folder that has it)"
    exit 77
fi
exec "$perft" suite "$shared/$file" "$@"
