#include <basalt/RefCounting.h>

#include <exception>
#include <vector>

namespace norv::basalt {

RefCountable::~RefCountable() = default;

RefCounter::~RefCounter() = default;

RefCountableBase::RefCountableBase() : m_refCounter(new RefCounter) {}

// The copy is a new object: it starts unreferenced with a counter of its own.
RefCountableBase::RefCountableBase(RefCountableBase const& other)
    : RefCountable(other), m_refCounter(new RefCounter) {}

RefCountableBase& RefCountableBase::operator=(RefCountableBase const&) noexcept {
    return *this;
}

RefCountableBase::~RefCountableBase() {
    // Weak references still watching keep the counter; marking it lets them see the object
    // is gone (even when it was deleted without preDestroy) and lets the last one free it.
    m_refCounter->m_lifeCycle = LC_DESTROYING;
    if (m_refCounter->m_weakCount == 0) {
        delete m_refCounter;
    } else {
        m_refCounter->m_orphaned = true;
    }
}

RefCounter* RefCountableBase::getRefCounter() const {
    return m_refCounter;
}

std::int32_t RefCountableBase::addRef() {
    return ++m_refCounter->m_strongCount;
}

std::int32_t RefCountableBase::decRef() {
    if (m_refCounter->m_strongCount <= 0)
        return 0;
    return --m_refCounter->m_strongCount;
}

void RefCountableBase::preDestroy() {
    m_refCounter->m_lifeCycle = LC_DESTROYING;
}

namespace {

// The objects released while a destruction runs on this thread; null when none runs.
thread_local std::vector<RefCountable*>* t_released = nullptr;

void destroyNow(RefCountable* object) {
    struct Deleter {
        RefCountable* target;
        ~Deleter() { delete target; }
    } const deleter{object};
    object->preDestroy();
}

} // namespace

void detail::destroyReleased(RefCountable* object) {
    // Marked at once, so a queued object cannot be referenced again while it waits.
    if (RefCounter* const counter = object->getRefCounter())
        counter->markDestroying();
    if (t_released != nullptr) {
        t_released->push_back(object);
        return;
    }
    std::vector<RefCountable*> released;
    t_released = &released;
    std::exception_ptr firstFailure;
    auto destroy = [&firstFailure](RefCountable* target) {
        try {
            destroyNow(target);
        } catch (...) {
            if (!firstFailure)
                firstFailure = std::current_exception();
        }
    };
    destroy(object);
    for (std::size_t i = 0; i < released.size(); ++i)
        destroy(released[i]);
    t_released = nullptr;
    if (firstFailure)
        std::rethrow_exception(firstFailure);
}

} // namespace norv::basalt
