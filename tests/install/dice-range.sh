#!/usr/bin/env bash
# Runs examples/dice.tas many times and checks every run: exactly ten lines "out: N" with N
# from 1 to 6, not all ten the same (one chance in ten million for a fair die), then the
# closing line of a halt, nothing on standard error and exit status 0. The values themselves
# come from the random port and differ from run to run, so no run is compared byte for byte.
#   dice-range.sh TAVRO EXAMPLES_DIR [RUNS]
set -u
tavro=$1 examples=$2 runs=${3:-20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "run $run: $1"; cat "$work/out" "$work/err"; exit 1; }
for ((run = 1; run <= runs; run++)); do
    timeout 10 "$tavro" "$examples/dice.tas" < /dev/null > "$work/out" 2> "$work/err"
    rc=$?
    [ $rc = 0 ] || fail "exit status $rc"
    [ -s "$work/err" ] && fail "standard error is not empty"
    [ "$(wc -l < "$work/out")" = 11 ] || fail "expected 11 lines"
    [ "$(tail -n 1 "$work/out")" = ">>> Program terminated. (Halt)" ] || fail "no halt line"
    head -n 10 "$work/out" | grep -qvx 'out: [1-6]' && fail "a roll outside 1 to 6"
    [ "$(head -n 10 "$work/out" | sort -u | wc -l)" -gt 1 ] || fail "ten equal rolls"
done
echo "$runs runs, every roll from 1 to 6"
