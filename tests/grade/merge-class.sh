#!/usr/bin/env bash
# Regrading one: the example class is graded, one submission is fixed and one handed in late,
# and --merge with the earlier json report and those two must give, in every format, the
# report of a full regrade byte for byte (run times aside). Reports that do not fit are refused.
#   merge-class.sh TAVRO_GRADE EXAMPLE_DIR
set -u
grade=$1 example=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -r "$example" "$work/class"
cd "$work/class" || exit 2
status=0
bad() { echo "--- $*"; status=1; }
times() { sed -e 's/ time="[0-9.]*"/ time="0.000"/g' "$1"; }

"$grade" --format json . submissions/*.tas > "$work/before.json" || bad "the first grading failed"
cp submissions/correct.tas submissions/wrong.tas           # fixed
sed 's/NEXT/AGAIN/g' submissions/correct.tas > submissions/zz-late.tas  # late, a copy
for format in json text csv junit; do
    "$grade" --format "$format" . submissions/*.tas > "$work/full.$format"
    "$grade" --format "$format" --merge "$work/before.json" . submissions/wrong.tas \
        submissions/zz-late.tas > "$work/merged.$format" 2> "$work/stderr"
    [ $? = 0 ] && [ ! -s "$work/stderr" ] || { bad "--merge, $format: failed"; cat "$work/stderr"; }
    cmp -s <(times "$work/full.$format") <(times "$work/merged.$format") ||
        { bad "--merge, $format: not the full regrade's report"; \
          diff "$work/full.$format" "$work/merged.$format" | head -20; }
done
grep -q '"zz-late.tas"\|submissions/zz-late.tas' "$work/merged.json" || bad "the late submission is missing"
# The report replaced in place, as --output does any report.
cp "$work/before.json" "$work/grades.json"
"$grade" --format json --merge "$work/grades.json" --output "$work/grades.json" . \
    submissions/wrong.tas submissions/zz-late.tas || bad "--merge into its own report failed"
cmp -s "$work/grades.json" "$work/full.json" || bad "--merge into its own report: not the full report"

# refused ARGS...: exit status 1 with a message and nothing on standard output.
refused() {
    "$grade" "$@" > "$work/stdout" 2> "$work/stderr"
    local rc=$?
    [ $rc = 1 ] && [ -s "$work/stderr" ] && [ ! -s "$work/stdout" ] ||
        { bad "$*: exit status $rc, expected 1 with a message"; cat "$work/stderr"; }
}
printf 'not json' > "$work/garbage.json"
refused --merge "$work/garbage.json" . submissions/wrong.tas
refused --merge "$work/full.csv" . submissions/wrong.tas
refused --merge "$work/no-such.json" . submissions/wrong.tas
refused --merge '' . submissions/wrong.tas
refused --merge "$work/before.json" --format gradescope . submissions/wrong.tas
sed 's/"name": "wrap"/"name": "warp"/' "$work/before.json" > "$work/other-suite.json"
refused --merge "$work/other-suite.json" . submissions/wrong.tas
sed 's/"max_score": 2,/"max_score": 3,/' "$work/before.json" > "$work/other-points.json"
refused --merge "$work/other-points.json" . submissions/wrong.tas
exit $status
