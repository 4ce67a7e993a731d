#pragma once
// Base exceptions of the base component: norv_error carries a numeric code and a
// message, internal_error marks misuse detected by the component itself (for example
// referencing an object that is being destroyed). Both are exported so that their type
// information matches across the library boundary; catch them by reference.

#include <basalt/Export.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

namespace norv::basalt {

// Code of the internal_error thrown when a reference is set to an object in the wrong
// life-cycle state.
constexpr std::uint64_t ERROR_INVALID_OPERATION = 5001;

// An error with a numeric code and a message; copying it never throws.
class BASALT_EXPORT norv_error : public std::exception {
public:
    norv_error(std::uint64_t code, std::string message);
    ~norv_error() override;

    char const* what() const noexcept override;
    std::uint64_t code() const noexcept { return m_code; }

private:
    std::uint64_t m_code;
    // Shared so that copying the exception while it propagates can never throw.
    std::shared_ptr<std::string const> m_message;
};

// Misuse detected by the base component itself, such as referencing an object being destroyed.
class BASALT_EXPORT internal_error : public norv_error {
public:
    using norv_error::norv_error;
    ~internal_error() override;
};

// Formats "function (in file:line) text (code)", bounded to 2047 characters; null
// strings are taken as empty.
BASALT_EXPORT std::string formatErrorMessage(char const* function, char const* file, int line,
                                             char const* text, std::uint64_t code);

namespace detail {

// Throws internal_error(ERROR_INVALID_OPERATION) for a reference template. typeSource is
// the __PRETTY_FUNCTION__ of typeNameSource<T>(), from which the target type name is cut.
[[noreturn]] BASALT_EXPORT void throwInvalidReference(char const* refTemplate,
                                                      char const* typeSource, char const* operation,
                                                      char const* file, int line);

template <class T> char const* typeNameSource() noexcept {
    return __PRETTY_FUNCTION__;
}

} // namespace detail

} // namespace norv::basalt
