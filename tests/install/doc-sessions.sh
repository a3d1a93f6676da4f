#!/usr/bin/env bash
# Checks the example sessions of the documentation against the real program. In a Markdown
# file, a ```console block holds commands, each on a line starting with "$ ", and below each
# the output it prints (standard output and standard error together, in the order printed).
# The latest ```tas block before it is the source of the first command that names a .tas
# file: a file NAME.tas in the current directory is written from it; a file with a directory
# (examples/hello.tas) must equal the block where the source tree has one. Commands run in an
# empty directory, with "tavro" (and TAVRO_PROGRAMS) on the path and examples/ beside them,
# standard input empty.
#   doc-sessions.sh TAVRO SOURCE_DIR FILE.md...
set -u -f
tavro=$1 source=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/run"
ln -s "$tavro" "$work/bin/tavro"
# Further programs, TAVRO_PROGRAMS (paths separated by blanks), go on the path beside it.
for program in ${TAVRO_PROGRAMS:-}; do
    ln -s "$program" "$work/bin/$(basename "$program")"
done
ln -s "$source/examples" "$work/run/examples"
status=0 sessions=0

# Runs one command of $doc (line $at) and compares its output with $expected.
run_command() {
    for word in $command; do
        # The latest source block belongs to the first command that names a .tas file.
        case $word in *.tas) ;; *) continue ;; esac
        if [ -z "$tas_file" ] && [ -n "$tas" ]; then
            tas_file=$word
            case $word in
            */*)
                if [ -f "$source/$word" ] && ! cmp -s <(printf '%s' "$tas") "$source/$word"; then
                    echo "$doc:$at: the source shown differs from $word"; status=1
                fi ;;
            *) printf '%s' "$tas" > "$work/run/$word" ;;
            esac
        fi
    done
    (cd "$work/run" && PATH="$work/bin:$PATH" bash -c "$command" < /dev/null > "$work/actual" 2>&1)
    sessions=$((sessions + 1))
    if ! cmp -s <(printf '%s' "$expected") "$work/actual"; then
        echo "--- $doc:$at: \$ $command (expected, then actual)"
        diff <(printf '%s' "$expected") "$work/actual" | head -20
        status=1
    fi
}

for doc in "$@"; do
    block="" tas="" tas_file="" command="" n=0
    while IFS= read -r line; do
        n=$((n + 1))
        case $block in
        "")
            case $line in
            '```tas') block=tas tas="" tas_file="" ;;
            '```console') block=console command="" ;;
            esac ;;
        tas)
            if [ "$line" = '```' ]; then block=""; else tas+="$line"$'\n'; fi ;;
        console)
            if [ "$line" = '```' ] || [ "${line:0:2}" = '$ ' ]; then
                [ -n "$command" ] && run_command
                command="" expected=""
            fi
            if [ "$line" = '```' ]; then
                block=""
            elif [ "${line:0:2}" = '$ ' ]; then
                command=${line:2} at=$n
            elif [ -z "$command" ]; then
                echo "$doc:$n: output before any command"; status=1
            else
                expected+="$line"$'\n'
            fi ;;
        esac
    done < "$doc"
done
[ $sessions -gt 0 ] || { echo "no sessions found"; status=1; }
echo "$sessions commands checked"
exit $status
