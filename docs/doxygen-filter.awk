# Input filter for doxygen (see docs/Doxyfile): the headers keep plain `//`
# comments, as the code's conventions want, and this turns them into
# documentation comments on the way in. The opening comment of a header
# documents the file; a block of comment lines documents the declaration
# below it; a comment after code documents that member; comment lines
# indented by two or more further spaces are example code.

# Ends an example, then writes the empty comment lines held back meanwhile.
function closeCode() {
    if (inCode) {
        print lead "/// \\endcode"
        inCode = 0
    }
    flushBlanks()
}

function flushBlanks() {
    for (; blanks > 0; blanks--) {
        print lead "///"
    }
}

{
    line = $0
    if (line ~ /\\$/ || line ~ /^#/) {
        # Macro bodies and preprocessor lines stay as they are.
        closeCode()
        print line
        next
    }
    if (match(line, /^[ \t]*\/\//)) {
        lead = substr(line, 1, RLENGTH - 2)
        text = substr(line, RLENGTH + 1)
        sub(/^ /, "", text)
        if (!seenCode && !opened) {
            print lead "/// \\file"
            opened = 1
        }
        if (text ~ /^[ \t]*$/) {
            # An empty line may stand inside an example: decided by the next line.
            blanks++
            if (!inCode) {
                flushBlanks()
            }
            next
        }
        if (text ~ /^  /) {
            if (!inCode) {
                print lead "/// \\code"
                inCode = 1
            }
            flushBlanks()
        } else {
            closeCode()
        }
        print lead "/// " text
        next
    }
    closeCode()
    if (line !~ /^[ \t]*$/) {
        seenCode = 1
    }
    # A trailing comment, outside string literals, documents the member before it.
    position = index(line, "//")
    if (position > 0) {
        code = substr(line, 1, position - 1)
        quotes = gsub(/"/, "\"", code)
        if (quotes % 2 == 0 && code !~ /^[ \t]*}[ \t]*$/ && code !~ /[{][ \t]*$/) {
            rest = substr(line, position + 2)
            sub(/^ /, "", rest)
            line = code "///< " rest
        }
    }
    print line
}

END {
    closeCode()
}
