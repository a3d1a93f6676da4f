#!/usr/bin/env bash
# Checks tavro-lsp's manual page: groff formats it without a warning, no rendered line is
# wider than 80 columns, its title names the project's version, and it documents every option
# that the program's usage text names. Skipped (77) without groff.
#   lsp-man-page.sh TAVRO_LSP MANPAGE VERSION
set -u
server=$1 page=$2 version=$3
command -v groff > /dev/null || { echo "groff is not installed"; exit 77; }
status=0

warnings=$(groff -man -ww -z "$page" 2>&1)
[ -z "$warnings" ] || { echo "groff warns:"; echo "$warnings"; status=1; }

wide=$(groff -man -Tascii -rLL=78n -P-cbou "$page" 2> /dev/null | awk 'length > 80')
[ -z "$wide" ] || { echo "rendered lines wider than 80 columns:"; echo "$wide"; status=1; }

grep -q "^\.TH TAVRO-LSP 1 .* \"tavro $version\"" "$page" ||
    { echo "the .TH line does not name version $version"; status=1; }
[ "$("$server" --version)" = "tavro-lsp $version" ] ||
    { echo "tavro-lsp --version does not say $version"; status=1; }

options=$("$server" --help | grep -o -- '--[a-z]*' | sort -u)
[ -n "$options" ] || { echo "no options found in the usage text"; status=1; }
for option in $options; do
    grep -q "^\.BI\? \\\\-\\\\-${option#--}\( \|\$\)" "$page" || { echo "option $option is not documented"; status=1; }
done
exit $status
