#!/bin/sh
# Fails when a code block of the documents no longer matches the region of
# the source it was copied from, so the guide cannot drift from code that
# compiles and runs. A block is tied to its region by the line before it:
#
#   <!-- snippet: examples/guide/nodes.cpp nodes -->
#
# The region is the text between the lines `// [nodes]` of that source (taken
# in pairs, so checks may stand between the parts of a region), without the
# indentation its lines share. Every C++ block of the documents checked must
# be tied to a region.
#
#   check-snippets.sh SOURCE_ROOT DOCUMENT...   (documents relative to the root)
set -u

root=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
checked=0

for doc in "$@"; do
    rm -f "$work"/*
    # Each tied block goes to work/N.doc, and "N source region line" to work/list.
    if ! awk -v dir="$work" -v doc="$doc" '
        function fail(message) { print doc ":" FNR ": " message > "/dev/stderr"; bad = 1 }
        inblock {
            if ($0 ~ /^```[ \t]*$/) { inblock = 0; if (file != "") close(file); next }
            if (file != "") print > file
            next
        }
        /^<!-- snippet: [^ ]+ [^ ]+ -->[ \t]*$/ {
            if (pending != "") fail("a snippet line not followed by a code block")
            pending = $3 " " $4
            next
        }
        /^```/ {
            inblock = 1
            file = ""
            if (pending != "") {
                n++
                file = dir "/" n ".doc"
                printf "" > file
                print n, pending, FNR > (dir "/list")
                pending = ""
            } else if ($0 ~ /^```(cpp|c\+\+)[ \t]*$/) {
                fail("a C++ block tied to no source region")
            }
            next
        }
        pending != "" { fail("a snippet line not followed by a code block"); pending = "" }
        END {
            if (inblock) fail("a code block that never ends")
            exit bad
        }
    ' "$root/$doc"; then
        status=1
    fi
    [ -f "$work/list" ] || continue
    while read -r n source region line; do
        checked=$((checked + 1))
        if [ ! -f "$root/$source" ]; then
            echo "$doc:$line: $source does not exist" >&2
            status=1
            continue
        fi
        if ! awk -v name="$region" '
            {
                trimmed = $0
                sub(/^[ \t]+/, "", trimmed)
                sub(/[ \t]+$/, "", trimmed)
            }
            trimmed == "// [" name "]" { marks++; next }
            marks % 2 == 1 { lines[++count] = $0 }
            END {
                if (marks == 0 || marks % 2 != 0) exit 1
                indent = -1
                for (i = 1; i <= count; i++) {
                    if (lines[i] ~ /^[ \t]*$/) continue
                    match(lines[i], /^ */)
                    if (indent < 0 || RLENGTH < indent) indent = RLENGTH
                }
                for (i = 1; i <= count; i++) {
                    if (lines[i] ~ /^[ \t]*$/) print ""
                    else print substr(lines[i], indent + 1)
                }
            }
        ' "$root/$source" > "$work/$n.source"; then
            echo "$doc:$line: $source has no region [$region] between pairs of lines \"// [$region]\"" >&2
            status=1
            continue
        fi
        if ! diff -u --label "$source [$region]" --label "$doc:$line" \
            "$work/$n.source" "$work/$n.doc" >&2; then
            echo "$doc:$line: the block differs from [$region] of $source; copy the region again" >&2
            status=1
        fi
    done < "$work/list"
done

if [ "$status" -eq 0 ]; then
    echo "$checked code blocks match their source regions"
fi
exit "$status"
