#!/usr/bin/env bash
# Checks a program's manual page: groff formats it without a warning, no rendered line is wider
# than 80 columns (so `man` shows it cleanly in a standard terminal), its title names the
# program and the project's version, and it documents every option that the program's usage
# text lists. Skipped (77) without groff.
#   man-page.sh PROGRAM MANPAGE VERSION
set -u
program=$1 page=$2 version=$3
command -v groff > /dev/null || { echo "groff is not installed"; exit 77; }
name=$(basename "$program")
status=0

warnings=$(groff -man -ww -z "$page" 2>&1)
if [ -n "$warnings" ]; then
    echo "groff warns:"; echo "$warnings"; status=1
fi

rendered=$(groff -man -Tascii -rLL=78n -P-cbou "$page" 2> /dev/null)
wide=$(printf '%s\n' "$rendered" | awk 'length > 80')
if [ -n "$wide" ]; then
    echo "rendered lines wider than 80 columns:"; echo "$wide"; status=1
fi

grep -q "^\.TH ${name^^} 1 .* \"$name $version\"" "$page" ||
    { echo "the .TH line does not name $name $version"; status=1; }

# tavro's usage text lists one option per line as a tab, a dash and the letter; CLI11's help
# lists "  -h,--help" and "  --version", two blanks in.
options=$("$program" -h 2>&1 | sed -n -e 's/^\t\(-[a-z]\) .*/\1/p' \
    -e 's/^  \(-[a-zA-Z]\),\(--[a-z-]*\) .*/\1 \2/p' -e 's/^  \(--[a-z-]*\) .*/\1/p')
[ -n "$options" ] || { echo "no options found in the usage text"; status=1; }
# An option is documented where a .TP item's tag (a .B or .BR line) names it, written with \-.
tags=$(awk 'previous ~ /^\.TP/ && /^\.BR? / { print } { previous = $0 }' "$page")
for option in $options; do
    escaped=${option//-/\\\\-}
    grep -Eq "^\.BR? (.* )?$escaped( |\"|\$)" <<< "$tags" ||
        { echo "option $option is not documented"; status=1; }
done
exit $status
