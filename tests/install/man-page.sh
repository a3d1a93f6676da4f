#!/usr/bin/env bash
# Checks a program's manual page: groff formats it without a warning, no rendered line is wider
# than 80 columns (so `man` shows it cleanly in a standard terminal), its title names the
# project's version, and a .TP item's tag documents every option that the program's usage
# text lists and, for tavro-dap, every launch attribute that launchRequest in REQUESTS_CPP
# reads. Skipped (77) without groff.
#   man-page.sh PROGRAM MANPAGE VERSION [REQUESTS_CPP]
set -u
program=$1 page=$2 version=$3 requests=${4:-}
command -v groff > /dev/null || { echo "groff is not installed"; exit 77; }
name=$(basename "$program")
status=0

warnings=$(groff -man -ww -z "$page" 2>&1)
[ -z "$warnings" ] || { echo "groff warns:"; echo "$warnings"; status=1; }
wide=$(groff -man -Tascii -rLL=78n -P-cbou "$page" 2> /dev/null | awk 'length > 80')
[ -z "$wide" ] || { echo "rendered lines wider than 80 columns:"; echo "$wide"; status=1; }
# The servers' pages name the project in their title, the other programs themselves.
grep -q "^\.TH ${name^^} 1 .* \"\(tavro\|$name\) $version\"" "$page" ||
    { echo "the .TH line does not name version $version"; status=1; }

# tavro's usage text lists one option per line as a tab, a dash and the letter; CLI11's help
# lists "  -h,--help" and "  --version", two blanks in (its pages document --help).
words=$("$program" -h 2>&1 | sed -n -e 's/^\t\(-[a-z]\) .*/\1/p' \
    -e 's/^  -[a-zA-Z],\(--[a-z-]*\) .*/\1/p' -e 's/^  \(--[a-z-]*\) .*/\1/p')
[ -n "$words" ] || { echo "no options found in the usage text"; status=1; }
if [ -n "$requests" ]; then
    # The launch attributes are the fields that launchRequest reads from its arguments.
    attributes=$(sed -n '/^void launchRequest/,/^}/p' "$requests" |
        grep -o 'Field(args, "[a-zA-Z]*"' | sed 's/.*"\(.*\)"/\1/' | sort -u)
    [ -n "$attributes" ] || { echo "no launch attributes found"; status=1; }
    words+=" $attributes"
fi
# A word is documented where a .TP item's tag (a .B, .BI or .BR line) names it, written with \-.
tags=$(awk 'previous ~ /^\.TP/ && /^\.B[IR]? / { print } { previous = $0 }' "$page")
for word in $words; do
    escaped=${word//-/\\\\-}
    grep -Eq "^\.B[IR]? (.* )?$escaped( |\"|\$)" <<< "$tags" ||
        { echo "$word is not documented"; status=1; }
done
exit $status
