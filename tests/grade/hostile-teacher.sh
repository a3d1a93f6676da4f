#!/usr/bin/env bash
# The command line as a careless or hostile teacher uses it, in a temporary folder: --output
# pointed at a submission, at the suite, at a folder, at a FIFO, at a link to a device or to
# standard output, at a link to a regular file; every numeric option at and beyond its range;
# the same submission given twice. Each case says what must hold afterwards.
#   hostile-teacher.sh TAVRO_GRADE
set -u
grade=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
status=0
mkdir suite class
printf '>>> Program terminated. (Halt)\n' > suite/a.out
printf 'out: 1\n>>> Program terminated. (Halt)\n' > suite/b.out
printf ' END\n' > class/one.tas
mkdir class/two
printf ' COPY AX, #1\n OUT AX\n' > class/two/main.tas
cp suite/a.out a.expected
report=$("$grade" --format csv suite class/one.tas)

bad() { echo "--- $*"; status=1; }

# Every file of the folder but stdout and stderr: its name, mode, size, time and contents.
snapshot() {
    find . -not -name stdout -not -name stderr -exec ls -ld --time-style=+%s.%N {} + | sort
    find . -type f -not -name stdout -not -name stderr -exec md5sum {} + | sort
}
# refused DESCRIPTION ARGS...: exit status 1, a message, nothing on standard output, and no
# file in the folder changed, added or removed.
refused() {
    local what=$1 before
    shift
    : > stdout; : > stderr
    before=$(snapshot)
    "$grade" "$@" > stdout 2> stderr
    local rc=$?
    if [ $rc != 1 ] || [ ! -s stderr ] || [ -s stdout ]; then
        bad "$what: exit status $rc, expected 1 with a message"; cat stderr
    fi
    [ "$before" = "$(snapshot)" ] || bad "$what: the folder changed"
}

# written DESCRIPTION TARGET ARGS...: exit status 0, and TARGET (read through any link) holds
# the report.
written() {
    local what=$1 target=$2
    shift 2
    "$grade" --format csv "$@" suite class/one.tas > stdout 2> stderr ||
        { bad "$what: exit status $?"; cat stderr; }
    [ "$(cat "$target")" = "$report" ] || bad "$what: $target does not hold the report"
}

refused "the submission itself" --output class/one.tas suite class/one.tas
ln -s one.tas class/link.tas
refused "a link to the submission" --output class/link.tas suite class/one.tas
refused "the .tas file in a submission folder" --output class/two/main.tas suite class/two
refused "an expected output" --output suite/a.out suite class/one.tas
refused "a new file in the suite" --output suite/report.csv suite class/one.tas
refused "the suite through a link" --output ./suite/../suite/b.out suite class/one.tas
refused "a folder" --output class suite class/one.tas
refused "an empty name" --output '' suite class/one.tas
for value in -1 0 99999999999999999999 9223372036854775808 +5 ' 5' 5x 1e3 ''; do
    refused "--max-steps '$value'" --max-steps "$value" suite class/one.tas
done
for value in -5 0 9223372036854775808 18446744073709551616; do
    refused "--max-output '$value'" --max-output "$value" suite class/one.tas
done
for value in -1 4294967296; do refused "--seed '$value'" --seed "$value" suite class/one.tas; done
for value in 0 -1 1025; do refused "--jobs '$value'" --jobs "$value" suite class/one.tas; done
cmp -s suite/a.out a.expected || bad "the suite's a.out was changed"

# The largest values are taken, and grade.
for option in "--max-steps 9223372036854775807" "--max-output 9223372036854775807" \
    "--max-output 1" "--seed 4294967295" "--seed 0" "--jobs 1024" "--max-steps 1"; do
    # shellcheck disable=SC2086
    "$grade" $option --format csv suite class/one.tas > stdout 2> stderr ||
        { bad "$option: refused"; cat stderr; }
done

written "a new file" new.csv --output new.csv
written "a file replaced" new.csv --output new.csv
[ -z "$(find . -name '.tavro-grade-*')" ] || bad "a temporary file was left behind"
printf 'old\n' > kept.csv
ln -s kept.csv link.csv
written "a link to a regular file" kept.csv --output link.csv
[ -L link.csv ] || bad "the link to a regular file is no longer a link"
mkfifo fifo
cat fifo > from-fifo &
written "a FIFO" from-fifo --output fifo
wait
[ -p fifo ] || bad "the FIFO was replaced"
# A device: /dev/null through a link stands in for /dev/full, and a node made here when root.
ln -s /dev/null device
"$grade" --output device suite class/one.tas > stdout 2> stderr || bad "a link to a device: refused"
[ -L device ] && [ "$(readlink device)" = /dev/null ] || bad "the link to a device was replaced"
[ -c /dev/null ] || bad "/dev/null is no longer a device"
if [ "$(id -u)" = 0 ] && mknod null-node c 1 3 2> /dev/null; then
    "$grade" --output null-node suite class/one.tas > stdout 2> stderr || bad "a device: refused"
    [ -c null-node ] || bad "the device node was replaced by a file"
fi
# Standard output through a link, when it is a pipe.
ln -s /proc/self/fd/1 own-stdout
"$grade" --format csv --output own-stdout suite class/one.tas 2> stderr | cat > piped
[ "$(cat piped)" = "$report" ] || bad "a link to standard output (a pipe) did not get the report"
[ -L own-stdout ] || bad "the link to standard output was replaced"

# The same submission twice (by two spellings) is graded once, with a warning.
"$grade" --format csv suite class/one.tas ./class/one.tas class/two class/two/ > stdout 2> stderr
[ "$(wc -l < stdout)" = 3 ] || { bad "a repeated submission was graded twice"; cat stdout; }
[ "$(grep -c 'is the same submission as' stderr)" = 2 ] || { bad "no warning for a repeat"; cat stderr; }
exit $status
