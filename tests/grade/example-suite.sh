#!/usr/bin/env bash
# Grades the example class of examples/grading/ in every report format, from inside that
# folder (so that the paths in the reports are relative), and compares each report byte for
# byte with its file in examples/grading/expected/. Then checks the command's promises around
# the reports: --output gives the same bytes and nothing on standard output, and a usage
# error or an unreadable suite exits with 1 and a message, leaving no report behind.
#   example-suite.sh TAVRO_GRADE EXAMPLE_DIR
# With TAVRO_BLESS=1 the expected reports are rewritten instead: read each before committing.
set -u
grade=$1 dir=$2
cd "$dir" || exit 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
submissions=(submissions/*.tas)

# check NAME ARGS...: the report of tavro-grade ARGS must be expected/NAME.
check() {
    local name=$1
    shift
    "$grade" "$@" > "$work/$name" 2> "$work/stderr"
    local rc=$?
    # junit's and gradescope's times are the clock's: the expected reports hold them as 0.
    sed -i -e 's/ time="[0-9.]*"/ time="0.000"/g' \
        -e 's/"execution_time": [0-9.e-]*,/"execution_time": 0,/' "$work/$name"
    if [ $rc != 0 ] || [ -s "$work/stderr" ]; then
        echo "--- $name: exit status $rc, standard error:"; cat "$work/stderr"; status=1
    fi
    if [ "${TAVRO_BLESS:-0}" = 1 ]; then
        cp "$work/$name" "expected/$name"
    elif ! cmp -s "expected/$name" "$work/$name"; then
        echo "--- $name differs (expected, then actual)"
        diff "expected/$name" "$work/$name" | head -40
        status=1
    fi
}
check report.txt --diff . "${submissions[@]}"
check report.json --format json . "${submissions[@]}"
check report.csv --format csv . "${submissions[@]}"
check report.xml --format junit . "${submissions[@]}"
check results.json --format gradescope --diff . submissions/wrong.tas
# The playground's assignment: the visible tests alone (negative is after_published).
check assignment.json --export .

"$grade" --format json --jobs 3 --output "$work/out.json" . "${submissions[@]}" > "$work/stdout"
[ $? = 0 ] && [ ! -s "$work/stdout" ] && cmp -s "$work/out.json" expected/report.json ||
    { echo "--output did not write the report alone"; status=1; }

# refuse ARGS...: a usage error or an unreadable suite.
refuse() {
    "$grade" --output "$work/refused" "$@" > "$work/stdout" 2> "$work/stderr"
    local rc=$?
    if [ $rc != 1 ] || [ ! -s "$work/stderr" ] || [ -s "$work/stdout" ] || [ -e "$work/refused" ]; then
        echo "--- tavro-grade $*: exit status $rc, expected 1 with a message and no report"
        cat "$work/stderr"; status=1
    fi
}
refuse .
refuse --format xml . "${submissions[0]}"
refuse --max-steps 0 . "${submissions[0]}"
refuse --format gradescope . "${submissions[@]}"
refuse submissions "${submissions[0]}"
refuse no-such-suite "${submissions[0]}"

# An export that cannot be made: exit status 1, the message shown, nothing on standard output.
mkdir -p "$work/bad" "$work/binary"
printf 'points = "two"\n' > "$work/bad/suite.toml"
printf 'x\n' > "$work/bad/t.out"
printf '\377\n' > "$work/binary/t.out"
while IFS='|' read -r suite message; do
    "$grade" --export "$suite" > "$work/stdout" 2> "$work/stderr"
    rc=$?
    if [ $rc != 1 ] || [ -s "$work/stdout" ] || ! grep -qF -- "$message" "$work/stderr"; then
        echo "--- tavro-grade --export $suite: exit status $rc, expected 1 and: $message"
        cat "$work/stderr"; status=1
    fi
done <<EOF
no-such-suite|tavro-grade: no-such-suite: No such file or directory
$work/bad|suite.toml:1:
$work/binary|tavro-grade: test t: its texts are not UTF-8
EOF
exit $status
