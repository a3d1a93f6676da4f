#!/usr/bin/env bash
# Checks tavro-dap's manual page: groff formats it without a warning, no rendered line is wider
# than 80 columns, its title names the project's version, and it documents every launch
# attribute the adapter reads and every option it takes. Skipped (77) without groff.
#   dap-man-page.sh MANPAGE VERSION REQUESTS_CPP
set -u
page=$1 version=$2 requests=$3
command -v groff > /dev/null || { echo "groff is not installed"; exit 77; }
status=0

warnings=$(groff -man -ww -z "$page" 2>&1)
[ -z "$warnings" ] || { echo "groff warns:"; echo "$warnings"; status=1; }
wide=$(groff -man -Tascii -rLL=78n -P-cbou "$page" 2> /dev/null | awk 'length > 80')
[ -z "$wide" ] || { echo "rendered lines wider than 80 columns:"; echo "$wide"; status=1; }
grep -q "^\.TH TAVRO-DAP 1 .* \"tavro $version\"" "$page" ||
    { echo "the .TH line does not name version $version"; status=1; }

# The launch attributes are the fields that launchRequest reads from its arguments.
attributes=$(sed -n '/^void launchRequest/,/^}/p' "$requests" | grep -o 'Field(args, "[a-zA-Z]*"' |
    sed 's/.*"\(.*\)"/\1/' | sort -u)
[ -n "$attributes" ] || { echo "no launch attributes found"; status=1; }
for attribute in $attributes; do
    grep -q "^\.BI $attribute " "$page" || { echo "attribute $attribute is not documented"; status=1; }
done
for option in version help log; do
    grep -q "^\.BI\? \\\\-\\\\-$option\( \|\$\)" "$page" || { echo "option --$option is not documented"; status=1; }
done
exit $status
