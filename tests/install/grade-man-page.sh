#!/usr/bin/env bash
# Checks tavro-grade's manual page as man-page.sh checks tavro's: groff formats it without a
# warning, no rendered line is wider than 80 columns, its title names the project's version,
# and it documents every option that the program's --help lists. Skipped (77) without groff.
#   grade-man-page.sh TAVRO_GRADE MANPAGE VERSION
set -u
grade=$1 page=$2 version=$3
command -v groff > /dev/null || { echo "groff is not installed"; exit 77; }
status=0

warnings=$(groff -man -ww -z "$page" 2>&1)
[ -z "$warnings" ] || { echo "groff warns:"; echo "$warnings"; status=1; }

wide=$(groff -man -Tascii -rLL=78n -P-cbou "$page" 2> /dev/null | awk 'length > 80')
[ -z "$wide" ] || { echo "rendered lines wider than 80 columns:"; echo "$wide"; status=1; }

grep -q "^\.TH TAVRO-GRADE 1 .* \"tavro-grade $version\"" "$page" ||
    { echo "the .TH line does not name version $version"; status=1; }

# --help lists each option at the start of a line, after blanks: "  --max-steps N ...".
options=$("$grade" --help | sed -n 's/^ *\(-h,\)\{0,1\}--\([a-z-]*\).*/\2/p')
[ -n "$options" ] || { echo "no options found in --help"; status=1; }
for option in $options; do
    grep -q "^\.B[IR]* .*\\\\-\\\\-${option//-/\\\\-}\\b" "$page" ||
        { echo "option --$option is not documented"; status=1; }
done
exit $status
