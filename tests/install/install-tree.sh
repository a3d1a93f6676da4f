#!/usr/bin/env bash
# Installs a build into a temporary prefix, as a teacher would with `cmake --install`, and
# checks the tree: the program in bin/, the manual page in share/man/man1/, the guide and every
# example (with its expected output) in share/doc/tavro/, and the playground in
# share/tavro/playground/ when it has been built. Then runs the installed program on
# installed examples, standard input and trace included, and compares every stream with the
# installed expected files.
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

[ -x "$prefix/bin/tavro" ] || { echo "bin/tavro is missing or not executable"; status=1; }
cmp -s "$source/docs/tavro.1" "$prefix/share/man/man1/tavro.1" ||
    { echo "share/man/man1/tavro.1 is missing or differs"; status=1; }
cmp -s "$source/docs/language.md" "$prefix/share/doc/tavro/language.md" ||
    { echo "share/doc/tavro/language.md is missing or differs"; status=1; }
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
exit $status
