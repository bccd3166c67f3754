#!/bin/sh
# The front door's packaging targets as a framework or a packager uses them. "make EXE=NAME"
# and "make install" are checked as a dry run (nothing is built twice); the install rules of
# the build at hand are then run into a scratch prefix, and the installed engine and match
# runner play one game from there.
# Usage: make_targets_test.sh SOURCE_DIR BUILD_DIR
set -eu
src=$1
build=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
    echo "make targets: $*" >&2
    exit 1
}

exe=$(make -n -C "$src" EXE=tarn-under-test)
echo "$exe" | grep -q -- "--target tarn$" || fail "make EXE=NAME does not build the engine alone"
echo "$exe" | grep -q -- "-DTARN_TESTS=OFF" || fail "make EXE=NAME would need GoogleTest"
echo "$exe" | grep -qx "cp build-exe/tarn tarn-under-test" ||
    fail "make EXE=NAME does not copy the engine to ./NAME"
make -n -C "$src" test | grep -q "ctest" || fail "make test no longer runs the tests"
make -n -C "$src" install | grep -qx "cmake --install build --prefix /usr/local" ||
    fail "make install does not default to PREFIX=/usr/local"
make -n -C "$src" install PREFIX="$tmp/elsewhere" |
    grep -qx "cmake --install build --prefix $tmp/elsewhere" || fail "make install ignores PREFIX"

cmake --install "$build" --prefix "$tmp" >/dev/null
for program in tarn tarn-match; do
    [ -x "$tmp/bin/$program" ] || fail "$program is not installed in PREFIX/bin"
done
printf 'uci\nquit\n' | "$tmp/bin/tarn" -hash 1 | grep -qx uciok ||
    fail "the installed engine does not answer uci"
(cd "$tmp" && "$tmp/bin/tarn-match" -engine cmd="$tmp/bin/tarn" name=A \
    -engine cmd="$tmp/bin/tarn" name=B -each depth=1 option.Hash=1 -games 1) |
    grep -qx "Match finished: 1 games" || fail "the installed match runner cannot play a game"
echo "make targets: EXE and install work"
