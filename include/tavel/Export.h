#pragma once
// Symbol visibility of the library: everything is hidden unless marked.
// Exception classes and class templates are marked too, so their type
// information is shared with the host (catch clauses, dynamic_cast).

#define TAVEL_EXPORT __attribute__((visibility("default")))
