#pragma once
// ttl::func::function<Sig>: the callable type that signal slots are stored as.
// It converts implicitly from anything invocable as Sig (lambdas, generic lambdas,
// function pointers, bind expressions). A default-constructed function is empty, and
// calling an empty one throws BadFunctionCall ("ttl::func::function error").

#include <basalt/Export.h>

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <type_traits>
#include <utility>

namespace ttl::func {

// Thrown when an empty function is called.
class BASALT_EXPORT BadFunctionCall : public std::runtime_error {
public:
    BadFunctionCall();
    ~BadFunctionCall() override;
};

namespace detail {
[[noreturn]] BASALT_EXPORT void throwBadFunctionCall();
} // namespace detail

template <class Sig> class function;

template <class R, class... Args> class function<R(Args...)> {
public:
    using result_type = R;

    function() noexcept = default;
    function(std::nullptr_t) noexcept {}

    // Implicit on purpose: slots are written as lambdas at the call site.
    template <class F,
              class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, function> &&
                                       !std::is_same_v<std::decay_t<F>, std::nullptr_t> &&
                                       std::is_invocable_r_v<R, std::decay_t<F>&, Args...>>>
    function(F&& f) : m_fn(std::forward<F>(f)) {}

    explicit operator bool() const noexcept { return static_cast<bool>(m_fn); }

    R operator()(Args... args) const {
        if (!m_fn) {
            detail::throwBadFunctionCall();
        }
        return m_fn(std::forward<Args>(args)...);
    }

private:
    std::function<R(Args...)> m_fn;
};

} // namespace ttl::func
