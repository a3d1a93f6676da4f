# Makes the Debian package's changelog from CHANGELOG.md: each section "## VERSION (YYYY-MM-DD)"
# becomes an entry dated that day, and each item "- text" (continued on indented lines) one
# "  * " item, wrapped within 78 columns. The lines before the first section are the file's
# introduction; any other line inside a section stops the build, so that nothing is dropped.
#   awk -v package=NAME -v maintainer="NAME <ADDRESS>" -f changelog.awk CHANGELOG.md
function fail(message) {
    print "CHANGELOG.md:" NR ": " message > "/dev/stderr"
    failed = 1
    exit 1
}
# Prints an item's words after "  * ", breaking lines before 78 columns.
function wrap(text,    words, n, i, line, count) {
    gsub(/`|\*\*/, "", text)
    n = split(text, words, " ")
    line = "  *"
    count = 0
    for (i = 1; i <= n; i++) {
        if (count > 0 && length(line) + 1 + length(words[i]) > 78) {
            print line
            line = "   "
            count = 0
        }
        line = line " " words[i]
        count++
    }
    print line
}
function endItem() {
    if (item != "") wrap(item)
    item = ""
}
function endEntry() {
    endItem()
    if (version != "") {
        if (!items) fail("version " version " lists no change")
        print ""
        print " -- " maintainer "  " date
    }
}

/^## / {
    endEntry()
    if ($0 !~ /^## [0-9]+(\.[0-9]+)* \([0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]\)$/)
        fail("a section's heading is \"## VERSION (YYYY-MM-DD)\"")
    version = $2
    day = substr($3, 2, 10)
    command = "date -u -d " day " '+%a, %d %b %Y %H:%M:%S +0000'"
    date = ""
    command | getline date
    close(command)
    if (date == "") fail("no such day: " day)
    if (entries++) print ""
    print package " (" version ") unstable; urgency=medium"
    print ""
    items = 0
    next
}
version == "" { next }
/^- / { endItem(); item = substr($0, 3); items++; next }
/^ +[^ ]/ && item != "" { sub(/^ +/, ""); item = item " " $0; next }
/^[ \t]*$/ { endItem(); next }
{ fail("not an item of version " version ": " $0) }
END {
    if (failed) exit 1
    if (!entries) { NR = 0; fail("no section \"## VERSION (YYYY-MM-DD)\"") }
    endEntry()
}
