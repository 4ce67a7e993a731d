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

void RefCounter::operator delete(void* counter) noexcept {
    ::operator delete(counter);
}

namespace {

// Room for the count record before an object, keeping the object aligned as `new` would.
constexpr std::size_t RECORD_SPACE = (sizeof(RefCounter) + __STDCPP_DEFAULT_NEW_ALIGNMENT__ - 1) /
                                     __STDCPP_DEFAULT_NEW_ALIGNMENT__ *
                                     __STDCPP_DEFAULT_NEW_ALIGNMENT__;

// The block last made by RefCountableBase::operator new on this thread, until a
// RefCountableBase inside it takes its record. Allocation comes before the constructor's
// arguments are evaluated, and they may make other objects: only one lying in the block
// (the object itself, or a part of it) may take the record.
struct UnclaimedRecord {
    char const* begin = nullptr;
    char const* end = nullptr;
};
thread_local UnclaimedRecord t_unclaimed;

RefCounter* recordOf(void* object) noexcept {
    return reinterpret_cast<RefCounter*>(static_cast<char*>(object) - RECORD_SPACE);
}

} // namespace

void* RefCountableBase::operator new(std::size_t size) {
    char* const block = static_cast<char*>(::operator new(size + RECORD_SPACE));
    RefCounter* const record = ::new (block) RefCounter();
    record->m_embedded = true;
    char* const object = block + RECORD_SPACE;
    t_unclaimed = UnclaimedRecord{object, object + size};
    return object;
}

void RefCountableBase::operator delete(void* object) noexcept {
    if (object == nullptr) {
        return;
    }
    if (t_unclaimed.begin == object) {
        t_unclaimed = UnclaimedRecord();
    }
    // A record still watched keeps the block; the last weak reference frees it.
    RefCounter* const record = recordOf(object);
    if (record->m_weakCount > 0) {
        return;
    }
    record->~RefCounter();
    ::operator delete(static_cast<void*>(record));
}

void* RefCountableBase::operator new(std::size_t size, std::align_val_t alignment) {
    return ::operator new(size, alignment);
}

void RefCountableBase::operator delete(void* object, std::align_val_t alignment) noexcept {
    ::operator delete(object, alignment);
}

// The same block as the plain form: whichever form made it, `delete` frees it alike.
void* RefCountableBase::operator new(std::size_t size, std::nothrow_t const&) noexcept {
    try {
        return RefCountableBase::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

void RefCountableBase::operator delete(void* object, std::nothrow_t const&) noexcept {
    RefCountableBase::operator delete(object);
}

// The record made with this object's block, if this object lies in the block still
// unclaimed; otherwise a record of its own.
RefCounter* RefCountableBase::takeRecord() {
    UnclaimedRecord const unclaimed = t_unclaimed;
    char const* const self = reinterpret_cast<char const*>(this);
    if (unclaimed.begin != nullptr && unclaimed.begin <= self && self < unclaimed.end) {
        t_unclaimed = UnclaimedRecord();
        return recordOf(const_cast<char*>(unclaimed.begin));
    }
    return new RefCounter;
}

RefCountableBase::RefCountableBase() : m_refCounter(takeRecord()) {}

// The copy is a new object: it starts unreferenced with a counter of its own.
RefCountableBase::RefCountableBase(RefCountableBase const& other)
    : RefCountable(other), m_refCounter(takeRecord()) {}

RefCountableBase& RefCountableBase::operator=(RefCountableBase const&) noexcept {
    return *this;
}

RefCountableBase::~RefCountableBase() {
    // Weak references still watching keep the counter; marking it lets them see the object
    // is gone (even when it was deleted without preDestroy) and lets the last one free it.
    m_refCounter->m_lifeCycle = LC_DESTROYING;
    if (m_refCounter->m_weakCount == 0) {
        // A record in the object's block goes with the block.
        if (!m_refCounter->m_embedded) {
            delete m_refCounter;
        }
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
