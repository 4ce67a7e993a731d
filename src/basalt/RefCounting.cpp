#include <basalt/RefCounting.h>

#include <basalt/DebugOutput.h>

#include <boost/core/demangle.hpp>

#include <QString>

#include <atomic>
#include <exception>
#include <typeinfo>
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

std::atomic<ReleaseDescriber> s_describer{nullptr};

std::u16string toUtf16(QString const& text) {
    return std::u16string(reinterpret_cast<char16_t const*>(text.utf16()),
                          static_cast<std::size_t>(text.size()));
}

// Written while the object still exists, so the describer can read its id.
void reportFailure(RefCountable const& object, std::exception_ptr const& failure) noexcept {
    try {
        std::u16string name;
        if (ReleaseDescriber const describer = s_describer.load()) {
            try {
                name = describer(object);
            } catch (...) {
            }
        }
        if (name.empty())
            name = toUtf16(QString::fromStdString(boost::core::demangle(typeid(object).name())));
        QString what = QStringLiteral("an exception of unknown type");
        try {
            std::rethrow_exception(failure);
        } catch (std::exception const& e) {
            what = QString::fromUtf8(e.what());
        } catch (...) {
        }
        outputDebugString(u"norv::basalt: preDestroy of " + name +
                          u" threw where no caller could hear of it (" + toUtf16(what) +
                          u"); it was destroyed all the same.\n");
    } catch (...) {
        // A failing report must not stop the destruction.
    }
}

// Runs preDestroy and deletes the object whatever preDestroy does. What it threw is
// reported when `report`, else returned.
std::exception_ptr destroyNow(RefCountable* object, bool report) noexcept {
    std::exception_ptr failure;
    try {
        object->preDestroy();
    } catch (...) {
        failure = std::current_exception();
        if (report) {
            reportFailure(*object, failure);
            failure = nullptr;
        }
    }
    delete object;
    return failure;
}

void destroyInOrder(RefCountable* object, bool passOn) {
    // Marked at once, so a queued object cannot be referenced again while it waits.
    if (RefCounter* const counter = object->getRefCounter())
        counter->markDestroying();
    if (t_released != nullptr) {
        t_released->push_back(object);
        return;
    }
    std::vector<RefCountable*> released;
    t_released = &released;
    // Only the first failure can be passed on; the others are reported.
    std::exception_ptr firstFailure = destroyNow(object, !passOn);
    for (std::size_t i = 0; i < released.size(); ++i) {
        std::exception_ptr failure = destroyNow(released[i], !passOn || firstFailure);
        if (!firstFailure)
            firstFailure = std::move(failure);
    }
    t_released = nullptr;
    if (firstFailure)
        std::rethrow_exception(firstFailure);
}

} // namespace

ReleaseDescriber setReleaseDescriber(ReleaseDescriber describer) noexcept {
    return s_describer.exchange(describer);
}

void detail::destroyReleased(RefCountable* object) {
    destroyInOrder(object, true);
}

void detail::destroyReleasedQuietly(RefCountable* object) noexcept {
    destroyInOrder(object, false);
}

} // namespace norv::basalt
