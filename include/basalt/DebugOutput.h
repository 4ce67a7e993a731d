#pragma once
// The debug-output channel: outputDebugString writes one text in one write, by default as
// UTF-8 to standard error. A host (or a test) may install a handler to receive the texts
// instead. Both functions may be called from any thread.

#include <basalt/Export.h>

#include <functional>
#include <string>

namespace norv::basalt {

using DebugOutputHandler = std::function<void(std::u16string const& text)>;

// Passes text to the installed handler, or writes it to standard error and flushes.
// Exceptions thrown by a handler propagate to the caller.
BASALT_EXPORT void outputDebugString(std::u16string const& text);

// Installs handler and returns the one it replaces. An empty handler stands for the
// default writer, both as argument (restoring it) and as result (it was in place).
BASALT_EXPORT DebugOutputHandler setDebugOutputHandler(DebugOutputHandler handler);

} // namespace norv::basalt
