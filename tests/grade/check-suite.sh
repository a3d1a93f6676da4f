#!/usr/bin/env bash
# --check on a table of suites, each with one mistake a suite's author makes, and a clean one:
# the exit status, a line the report must hold, and how many warnings it gives.
#   check-suite.sh TAVRO_GRADE
set -u
grade=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 2
status=0
printf ' COPY AX, #1\n OUT AX\n END\n' > model.tas
good='out: 1\n>>> Program terminated. (Halt)\n'

# row NAME RC LINE WARNINGS OUT [TOML [EXTRA-FILE]]: a suite whose a.out holds OUT (printf).
row() {
    local name=$1 rc=$2 line=$3 warnings=$4 out=$5 toml=${6:-} extra=${7:-}
    mkdir "$name"
    printf "$out" > "$name/a.out"
    printf '5\n' > "$name/a.in"
    [ -z "$toml" ] || printf '%s\n' "$toml" > "$name/suite.toml"
    [ -z "$extra" ] || : > "$name/$extra"
    "$grade" --check "$name" model.tas > stdout 2> stderr
    local got=$?
    local count
    count=$(grep -c '^warning: ' stdout)
    if [ $got != "$rc" ] || ! grep -qF -- "$line" stdout || [ "$count" != "$warnings" ] ||
        [ -s stderr ]; then
        echo "--- $name: exit status $got (expected $rc), $count warnings (expected $warnings)," \
            "expected a line with: $line"
        cat stdout stderr
        status=1
    fi
}
row clean 0 "the model passes 1 of 1 test; 0 warnings" 0 "$good" 'points = 2'
row wrong 1 'a: wrong-output: line 1: expected "out: 2", got "out: 1"' 0 \
    'out: 2\n>>> Program terminated. (Halt)\n'
row crlf 1 "a.out has CR LF line ends" 1 'out: 1\r\n>>> Program terminated. (Halt)\r\n'
row crlf-trim 0 'passes only because compare = "trim"' 2 \
    'out: 1\r\n>>> Program terminated. (Halt)\r\n' 'compare = "trim"'
row unended 1 "a.out has no line end after its last line" 1 \
    'out: 1\n>>> Program terminated. (Halt)'
row lone-input 0 "lone.in: there is no lone.out beside it" 1 "$good" '' lone.in
row unknown-key 0 "unknown key 'pionts'" 1 "$good" 'pionts = 2'
row unknown-test-key 0 "unknown key 'titel'" 1 "$good" $'[tests.a]\ntitel = "A"'
row blanks-trim 0 'passes only because compare = "trim"' 1 \
    'out: 1  \n>>> Program terminated. (Halt)\n\n' 'compare = "trim"'
row blanks 1 '(it would pass with compare = "trim")' 0 'out: 1  \n>>> Program terminated. (Halt)\n'

# Graded as a class, the same mistakes are still errors.
"$grade" unknown-key model.tas > /dev/null 2>&1 && { echo "--- an unknown key graded a class"; status=1; }
"$grade" lone-input model.tas > /dev/null 2>&1 && { echo "--- a lone .in graded a class"; status=1; }
"$grade" --check clean model.tas model.tas > /dev/null 2>&1 # one file given twice is one
[ $? = 0 ] || { echo "--- a repeated model was refused"; status=1; }
"$grade" --check --format json clean model.tas > /dev/null 2>&1 && { echo "--- --check took --format"; status=1; }
exit $status
