#include <basalt/Errors.h>

#include <cstdio>
#include <utility>

namespace norv::basalt {

norv_error::norv_error(std::uint64_t code, std::string message)
    : m_code(code), m_message(std::make_shared<std::string const>(std::move(message))) {}

norv_error::~norv_error() = default;

char const* norv_error::what() const noexcept {
    return m_message->c_str();
}

internal_error::~internal_error() = default;

std::string formatErrorMessage(char const* function, char const* file, int line, char const* text,
                               std::uint64_t code) {
    char buffer[2048];
    int const written = std::snprintf(buffer, sizeof buffer, "%s (in %s:%d) %s (%llu)",
                                      function ? function : "", file ? file : "", line,
                                      text ? text : "", static_cast<unsigned long long>(code));
    if (written < 0)
        return std::string();
    return std::string(buffer);
}

namespace detail {

namespace {

// Cuts the T out of "... [with T = Name]" (g++) or "... [T = Name]" (clang++); falls back
// to the whole text when the form is unknown.
std::string typeNameFrom(char const* source) {
    std::string const text = source ? source : "";
    std::string::size_type const start = text.find("T = ");
    std::string::size_type const end = text.rfind(']');
    if (start == std::string::npos || end == std::string::npos || end < start + 4)
        return text;
    return text.substr(start + 4, end - start - 4);
}

} // namespace

void throwInvalidReference(char const* refTemplate, char const* typeSource, char const* operation,
                           char const* file, int line) {
    std::string const function = std::string(refTemplate ? refTemplate : "") + "<" +
                                 typeNameFrom(typeSource) + ">::" + (operation ? operation : "");
    throw internal_error(ERROR_INVALID_OPERATION,
                         formatErrorMessage(function.c_str(), file, line, "invalid operation",
                                            ERROR_INVALID_OPERATION));
}

} // namespace detail

} // namespace norv::basalt
