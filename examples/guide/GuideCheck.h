#pragma once
// The guide's programs check what the guide says of each snippet: a failed
// check prints where it failed, and the program then exits with 1, so the
// test that runs it fails.

#include <cstdio>

namespace guide {

inline int& failures() {
    static int count = 0;
    return count;
}

inline void check(bool holds, char const* what, char const* file, int line) {
    if (!holds) {
        std::fprintf(stderr, "%s:%d: the guide says %s, but it does not hold\n", file, line, what);
        ++failures();
    }
}

// The exit status of a chapter's program.
inline int result() {
    return failures() == 0 ? 0 : 1;
}

} // namespace guide

#define GUIDE_CHECK(condition)                                                                     \
    ::guide::check(static_cast<bool>(condition), #condition, __FILE__, __LINE__)
