#pragma once
// Installs a debug-output handler while it lives: by default one that keeps
// every text written, so a test can read what the library reported.

#include <basalt/DebugOutput.h>

#include <string>
#include <utility>
#include <vector>

namespace support {
using norv::basalt::DebugOutputHandler;
using norv::basalt::setDebugOutputHandler;

class CapturedOutput {
public:
    CapturedOutput()
        : CapturedOutput([this](std::u16string const& text) { texts.push_back(text); }) {}
    explicit CapturedOutput(DebugOutputHandler handler)
        : m_previous(setDebugOutputHandler(std::move(handler))) {}
    CapturedOutput(CapturedOutput const&) = delete;
    CapturedOutput& operator=(CapturedOutput const&) = delete;
    ~CapturedOutput() { setDebugOutputHandler(std::move(m_previous)); }

    bool contains(std::size_t index, std::u16string const& part) const {
        return index < texts.size() && texts[index].find(part) != std::u16string::npos;
    }

    std::vector<std::u16string> texts;

private:
    DebugOutputHandler m_previous;
};

} // namespace support

namespace Norv::Tavel::testing {
using support::CapturedOutput;
} // namespace Norv::Tavel::testing
