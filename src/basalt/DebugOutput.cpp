#include <basalt/DebugOutput.h>

#include <QByteArray>
#include <QString>

#include <cstdio>
#include <limits>
#include <memory>
#include <mutex>
#include <utility>

namespace norv::basalt {

namespace {

// Both never destroyed: objects torn down at exit may still write to the channel.
std::mutex& handlerMutex() {
    static auto* const mutex = new std::mutex;
    return *mutex;
}

// Held by shared pointer so a write can run the handler outside the lock: a handler may
// then replace itself without deadlock, and a replaced handler lives until its call ends.
std::shared_ptr<DebugOutputHandler const>& currentHandler() {
    static auto* const handler = new std::shared_ptr<DebugOutputHandler const>;
    return *handler;
}

void writeToStandardError(std::u16string const& text) {
#if QT_VERSION_MAJOR >= 6
    QString const converted = QString::fromUtf16(text.data(), qsizetype(text.size()));
#else
    // Qt 5 counts in int; a longer text is cut rather than misread as null-terminated.
    std::size_t const limit = static_cast<std::size_t>(std::numeric_limits<int>::max());
    int const length = static_cast<int>(text.size() < limit ? text.size() : limit);
    QString const converted =
        QString::fromUtf16(reinterpret_cast<ushort const*>(text.data()), length);
#endif
    QByteArray const utf8 = converted.toUtf8();
    std::fwrite(utf8.constData(), 1, static_cast<std::size_t>(utf8.size()), stderr);
    std::fflush(stderr);
}

} // namespace

void outputDebugString(std::u16string const& text) {
    std::shared_ptr<DebugOutputHandler const> handler;
    {
        std::lock_guard<std::mutex> const lock(handlerMutex());
        handler = currentHandler();
    }
    if (handler)
        (*handler)(text);
    else
        writeToStandardError(text);
}

DebugOutputHandler setDebugOutputHandler(DebugOutputHandler handler) {
    std::shared_ptr<DebugOutputHandler const> next;
    if (handler)
        next = std::make_shared<DebugOutputHandler const>(std::move(handler));
    std::shared_ptr<DebugOutputHandler const> previous;
    {
        std::lock_guard<std::mutex> const lock(handlerMutex());
        previous = std::exchange(currentHandler(), std::move(next));
    }
    if (!previous)
        return DebugOutputHandler();
    // Another write may still be running the old handler, so hand out a copy.
    return *previous;
}

} // namespace norv::basalt
