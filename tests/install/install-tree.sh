#!/usr/bin/env bash
# Installs a build into a temporary prefix, as a teacher would with `cmake --install`, and
# checks the tree: the programs in bin/, their manual pages in share/man/man1/, the licence, the
# changelog, the guide and every example (with its expected output) in share/doc/tavro/, and
# the playground in share/tavro/playground/ when it has been built. Then runs the installed
# tavro on installed examples, standard input and trace included, and compares every stream
# with the installed expected files; and the installed tavro-list on one, against its golden
# listing.
#   install-tree.sh CMAKE BUILD_DIR SOURCE_DIR
set -u
cmake=$1 build=$2 source=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
status=0

if ! "$cmake" --install "$build" --prefix "$prefix" > "$prefix.log" 2>&1; then
    cat "$prefix.log"; rm -f "$prefix.log"; exit 1
fi
rm -f "$prefix.log"

for program in tavro tavro-list tavro-dap tavro-lsp tavro-grade; do
    [ -x "$prefix/bin/$program" ] || { echo "bin/$program is missing or not executable"; status=1; }
    cmp -s "$source/docs/$program.1" "$prefix/share/man/man1/$program.1" ||
        { echo "share/man/man1/$program.1 is missing or differs"; status=1; }
done
for file in LICENSE CHANGELOG.md docs/language.md docs/grading.md; do
    cmp -s "$source/$file" "$prefix/share/doc/tavro/${file#docs/}" ||
        { echo "share/doc/tavro/${file#docs/} is missing or differs"; status=1; }
done
diff -r "$source/examples" "$prefix/share/doc/tavro/examples" ||
    { echo "share/doc/tavro/examples differs from examples/"; status=1; }
if [ -f "$source/web/dist/index.html" ]; then
    diff -r "$source/web/dist" "$prefix/share/tavro/playground" ||
        { echo "share/tavro/playground differs from the built page in web/dist"; status=1; }
fi
[ $status = 0 ] || exit 1

unset TAVRO_BLESS
for name in hello hello-trace sum; do
    bash "$source/tests/golden/run-case.sh" "$prefix/bin/tavro" \
        "$prefix/share/doc/tavro/examples" "$name" || status=1
done
"$prefix/bin/tavro-list" "$prefix/share/doc/tavro/examples/hello.tas" |
    cmp -s - "$source/tests/golden-list/hello.stdout" ||
    { echo "the installed tavro-list lists hello.tas differently"; status=1; }

# The installed tavro-grade grades the installed example class.
(cd "$prefix/share/doc/tavro/examples/grading" &&
    "$prefix/bin/tavro-grade" --diff . submissions/*.tas | cmp -s - expected/report.txt) ||
    { echo "the installed tavro-grade does not grade the installed example class"; status=1; }
exit $status
