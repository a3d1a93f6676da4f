#!/usr/bin/env bash
# Keeps the embedding example of docs/engine.md honest. At build time, `extract` writes the
# page's first ```cpp block to DIR/example.cpp and the first ```text block after it (what the
# page says the example prints) to DIR/example.expected; the build compiles the example
# against the core. The test then runs `check`: the program must print exactly that.
#   doc-example.sh extract PAGE DIR
#   doc-example.sh check PROGRAM EXPECTED
set -u
case $1 in
extract)
    page=$2 dir=$3
    mkdir -p "$dir"
    awk -v source="$dir/example.cpp.new" -v expected="$dir/example.expected.new" '
        state == 0 && $0 == "```cpp" { state = 1; next }
        state == 1 && $0 == "```" { state = 2; next }
        state == 1 { print > source; next }
        state == 2 && $0 == "```text" { state = 3; next }
        state == 3 && $0 == "```" { state = 4; next }
        state == 3 { print > expected }
        END { if (state != 4) { print "no ```cpp block followed by a ```text block"; exit 1 } }
    ' "$page" || exit 1
    mv "$dir/example.cpp.new" "$dir/example.cpp"
    mv "$dir/example.expected.new" "$dir/example.expected"
    ;;
check)
    program=$2 expected=$3
    actual=$(mktemp)
    trap 'rm -f "$actual"' EXIT
    "$program" > "$actual" || { echo "the example exited with status $?"; exit 1; }
    if ! cmp -s "$expected" "$actual"; then
        echo "the example prints (expected, then actual):"
        diff "$expected" "$actual"
        exit 1
    fi
    ;;
*) echo "usage: doc-example.sh extract PAGE DIR | check PROGRAM EXPECTED"; exit 2 ;;
esac
