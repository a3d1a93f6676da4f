#!/usr/bin/env bash
# Checks the manual page: groff formats it without a warning, no rendered line is wider than
# 80 columns (so `man` shows it cleanly in a standard terminal), its title names the project's
# version, and it documents every option letter that the program's usage text lists. Skipped
# (77) without groff.
#   man-page.sh TAVRO MANPAGE VERSION
set -u
tavro=$1 page=$2 version=$3
command -v groff > /dev/null || { echo "groff is not installed"; exit 77; }
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

grep -q "^\.TH TAVRO 1 .* \"tavro $version\"" "$page" ||
    { echo "the .TH line does not name version $version"; status=1; }

# The usage text lists one option per line, as a tab, a dash and the letter.
letters=$("$tavro" -h 2>&1 | sed -n 's/^\t-\([a-z]\) .*/\1/p')
[ -n "$letters" ] || { echo "no options found in the usage text"; status=1; }
for letter in $letters; do
    grep -q "^\.B \\\\-$letter\$" "$page" || { echo "option -$letter is not documented"; status=1; }
done
exit $status
