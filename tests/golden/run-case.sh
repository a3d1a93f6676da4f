#!/usr/bin/env bash
# Runs one golden case and compares its standard output, standard error and exit status with
# NAME.stdout, NAME.stderr and NAME.rc (a missing file means empty output, or status 0).
#   run-case.sh TAVRO DIR NAME
# The case runs inside DIR with the program name "tavro". Its arguments are the lines of
# NAME.args (an empty line is an empty argument), or NAME.tas alone; its standard input is
# NAME.in, or empty. With TAVRO_BLESS=1 the expected files are rewritten from the run instead:
# read every blessed file before committing it. TAVRO_WRAPPER, if set, is a command (such as
# valgrind and its options) that the case runs under.
set -u
tavro=$1 dir=$2 name=$3
cd "$dir" || exit 2

args=("$name.tas")
[ -f "$name.args" ] && mapfile -t args < "$name.args"
input=/dev/null
[ -f "$name.in" ] && input=$name.in

actual=$(mktemp -d)
trap 'rm -rf "$actual"' EXIT
# A runaway case is stopped after 60 seconds or 64 MB of output instead of filling the disk.
if [ -n "${TAVRO_WRAPPER:-}" ]; then
    # The program must see itself called "tavro": run it through a link of that name on PATH.
    mkdir "$actual/bin"
    ln -s "$(realpath "$tavro")" "$actual/bin/tavro"
    # shellcheck disable=SC2086 # the wrapper is a command with its options
    (ulimit -f 65536; PATH="$actual/bin:$PATH" exec timeout 300 $TAVRO_WRAPPER tavro "${args[@]}") \
        < "$input" > "$actual/stdout" 2> "$actual/stderr"
else
    (ulimit -f 65536; exec timeout 60 bash -c 'exec -a tavro "$0" "$@"' "$tavro" "${args[@]}") \
        < "$input" > "$actual/stdout" 2> "$actual/stderr"
fi
echo $? > "$actual/rc"

if [ "${TAVRO_BLESS:-0}" = 1 ]; then
    for stream in stdout stderr; do
        if [ -s "$actual/$stream" ]; then cp "$actual/$stream" "$name.$stream"; else rm -f "$name.$stream"; fi
    done
    if [ "$(cat "$actual/rc")" = 0 ]; then rm -f "$name.rc"; else cp "$actual/rc" "$name.rc"; fi
    exit 0
fi

status=0
for stream in stdout stderr rc; do
    expected=$name.$stream
    if [ ! -f "$expected" ]; then
        expected=$actual/empty
        if [ $stream = rc ]; then echo 0 > "$expected"; else : > "$expected"; fi
    fi
    if ! cmp -s "$expected" "$actual/$stream"; then
        echo "--- $name: $stream differs (expected, then actual)"
        diff <(od -c "$expected") <(od -c "$actual/$stream") | head -40
        status=1
    fi
done
exit $status
