#!/usr/bin/env bash
# Runs tavro-list and tavro on every program of the golden cases and the examples, and checks
# that they agree: a refused program gets the same standard error and status from both; an
# accepted one the same warnings as `tavro -c`, and a listing whose rows, read in order, give
# the bytes of `tavro -d`'s dump at their addresses, with no gap and nothing left over.
#   against-tavro.sh TAVRO_LIST TAVRO SOURCE_DIR
set -u
list=$1 tavro=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0 count=0

# Prints what is wrong with the listing ($1) against the dump in tavro's output ($2).
compare_bytes() {
    awk '
        FNR == NR {
            if ($0 == "----- MEMORY DUMP -----") { inDump = 1; next }
            if ($0 == "-----") inDump = 0
            if (inDump) for (i = 1; i <= NF; i++) dump[size++] = $i
            next
        }
        FNR == 1 { next }
        $0 == "" { done = 1 }
        done { next }
        {
            address = substr($0, 1, 4); bytes = substr($0, 7, 8)
            gsub(/ /, "", address); sub(/ +$/, "", bytes)
            if (address == "") { if (bytes != "") print "bytes without an address: " $0; next }
            if (address + 0 != expected && !(long && address + 0 > expected)) {
                print "address " address ", expected " (long ? "after " : "") expected
            }
            n = split(bytes, shown, " ")
            long = shown[n] == ".."
            if (long) n--
            for (i = 1; i <= n; i++) {
                at = address + i - 1
                if (shown[i] != dump[at]) print "byte " at " is " shown[i] ", in the dump " dump[at]
            }
            expected = address + n + (long ? 1 : 0)
        }
        END {
            if (expected != size && !(long && size > expected)) {
                print "the rows end at " expected ", the dump at " size
            }
        }' "$2" "$1"
}

for file in "$source"/examples/*.tas "$source"/examples/errors/*.tas "$source"/tests/golden/*.tas \
    "$source"/tests/golden-list/*.tas; do
    count=$((count + 1))
    name=${file#"$source/"}
    "$list" "$file" > "$work/list.out" 2> "$work/list.err"
    rc=$?
    if [ $rc != 0 ]; then
        timeout 60 "$tavro" "$file" < /dev/null > "$work/tavro.out" 2> "$work/tavro.err"
        trc=$?
        if [ $rc != $trc ] || [ -s "$work/list.out" ] ||
            ! cmp -s "$work/list.err" "$work/tavro.err"; then
            echo "--- $name: tavro-list exits $rc, tavro $trc; standard error (tavro, then list):"
            diff "$work/tavro.err" "$work/list.err" | head -10
            status=1
        fi
        continue
    fi
    "$tavro" -c "$file" > /dev/null 2> "$work/tavro.err"
    if ! cmp -s "$work/list.err" "$work/tavro.err"; then
        echo "--- $name: warnings differ (tavro -c, then tavro-list):"
        diff "$work/tavro.err" "$work/list.err" | head -10
        status=1
    fi
    timeout 60 "$tavro" -d "$file" < /dev/null > "$work/tavro.out" 2> /dev/null
    problems=$(compare_bytes "$work/list.out" "$work/tavro.out")
    if [ -n "$problems" ]; then
        echo "--- $name: the listing disagrees with tavro -d:"
        echo "$problems" | head -10
        status=1
    fi
done
[ $count -gt 50 ] || { echo "only $count programs found"; status=1; }
exit $status
