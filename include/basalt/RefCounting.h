#pragma once
// Intrusive reference counting: RefCountable (the interface), RefCountableBase (its
// implementation), RefCounter (the count record) and the Ref, ConstRef and WeakRef
// handles.
//
//   class Lamp : public norv::basalt::RefCountableBase { ... };
//   Ref<Lamp> lamp(new Lamp);   // the Ref takes ownership
//   WeakRef<Lamp> watch(lamp);  // watch.lock() is null once the lamp is gone
//
// Contract: an object handed to a Ref must come from `new`; the last strong reference
// calls preDestroy() and then deletes it through RefCountable's virtual destructor.
// The object is deleted even when preDestroy throws. reset() passes that exception on;
// where it cannot propagate (a reference's destructor, an assignment, a container
// erasing), it is written to the debug-output channel instead (see setReleaseDescriber).
// Setting a strong reference to an object being destroyed, or a weak reference to an
// object no strong reference has held, throws internal_error(ERROR_INVALID_OPERATION).
// Counts are plain integers: an object and its references belong to one thread at a time.
// T may be incomplete where a Ref<T> is only declared; it must be complete wherever a
// reference is set, copied or released.

#include <basalt/Errors.h>
#include <basalt/Export.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <type_traits>
#include <utility>

namespace norv::basalt {

enum LifeCycle : std::int32_t {
    LC_CREATED = 0,    // never referenced
    LC_REFERENCED = 1, // held by a strong reference at least once
    LC_DESTROYING = 2  // preDestroy has run; no new reference may be taken
};

class RefCounter;
template <class T> class Ref;
template <class T> class ConstRef;
template <class T> class WeakRef;

// The interface a Ref needs of an object; derive from RefCountableBase, which implements it.
class BASALT_EXPORT RefCountable {
public:
    // The counter is never null for a live object.
    virtual RefCounter* getRefCounter() const = 0;
    virtual ~RefCountable();
    // Both return the new strong count.
    virtual std::int32_t addRef() = 0;
    virtual std::int32_t decRef() = 0;
    // Called once by the last strong reference, just before it deletes the object.
    virtual void preDestroy() = 0;

protected:
    RefCountable() = default;
    RefCountable(RefCountable const&) = default;
    RefCountable& operator=(RefCountable const&) = default;
};

// The count record of one object. It is freed by the object's destructor, or, when weak
// references remain then, by the last of them: it outlives the object while it is watched.
// An object made with `new` usually has its record in the same block, just before it; the
// block then lasts as long as the record.
class BASALT_EXPORT RefCounter {
public:
    RefCounter() = default;
    RefCounter(RefCounter const&) = delete;
    RefCounter& operator=(RefCounter const&) = delete;
    ~RefCounter();

    // A record made with its object starts their block, so freeing it frees the block.
    static void operator delete(void* counter) noexcept;

    std::int32_t getStrongCount() const noexcept { return m_strongCount; }
    std::int32_t getWeakCount() const noexcept { return m_weakCount; }
    LifeCycle getLifeCycle() const noexcept { return m_lifeCycle; }
    // True once the counted object has been destroyed.
    bool isOrphaned() const noexcept { return m_orphaned; }

    // Records that a strong reference took the object; an object being destroyed stays so.
    void markReferenced() noexcept {
        if (m_lifeCycle == LC_CREATED)
            m_lifeCycle = LC_REFERENCED;
    }
    // Records that the last strong reference went: no new reference may be taken.
    void markDestroying() noexcept { m_lifeCycle = LC_DESTROYING; }

    // A short hold on a referenced object for the length of one call, without
    // the virtual addRef/decRef. release() returns the strong count left; at 0
    // the caller hands the object to a Ref to end it properly.
    void hold() noexcept { ++m_strongCount; }
    std::int32_t release() noexcept { return --m_strongCount; }
    std::int32_t addWeakRef() noexcept { return ++m_weakCount; }
    // Returns the remaining weak count; never goes below 0.
    std::int32_t decWeakRef() noexcept { return m_weakCount > 0 ? --m_weakCount : 0; }

private:
    friend class RefCountableBase;

    std::int32_t m_strongCount = 0;
    std::int32_t m_weakCount = 0;
    LifeCycle m_lifeCycle = LC_CREATED;
    bool m_orphaned = false;
    // Made in its object's block (RefCountableBase::operator new).
    bool m_embedded = false;
};

// Copying a RefCountableBase gives the copy a fresh counter; assigning one leaves the
// target's count alone.
class BASALT_EXPORT RefCountableBase : public virtual RefCountable {
public:
    RefCountableBase();
    RefCountableBase(RefCountableBase const& other);
    RefCountableBase& operator=(RefCountableBase const& other) noexcept;
    ~RefCountableBase() override;

    RefCounter* getRefCounter() const override;
    // Overrides forward to these.
    std::int32_t addRef() override;
    std::int32_t decRef() override;
    // Enters LC_DESTROYING; overrides call this first.
    void preDestroy() override;

    LifeCycle getLifeCycle() const noexcept { return m_refCounter->getLifeCycle(); }
    // The counter without a virtual call; the same as getRefCounter().
    RefCounter* refCounter() const noexcept { return m_refCounter; }

    // One block for the object and its count record, which the object's constructor takes
    // up. While weak references watch the record, the block outlives the object.
    static void* operator new(std::size_t size);
    static void operator delete(void* object) noexcept;
    // The nothrow form makes the same block; over-aligned classes and placement
    // have their record made on its own.
    static void* operator new(std::size_t size, std::align_val_t alignment);
    static void operator delete(void* object, std::align_val_t alignment) noexcept;
    static void* operator new(std::size_t size, std::nothrow_t const&) noexcept;
    static void operator delete(void* object, std::nothrow_t const&) noexcept;
    static void* operator new(std::size_t, void* where) noexcept { return where; }
    static void operator delete(void*, void*) noexcept {}

private:
    RefCounter* takeRecord();

    RefCounter* m_refCounter;
};

// Names an object in the report of a preDestroy that threw where no caller could hear of
// it ("node 42 of class Lamp"). A library whose objects carry ids installs one; without
// one, or when it gives the empty text, the report names the object's C++ type.
using ReleaseDescriber = std::u16string (*)(RefCountable const& object);
// Installs `describer` (null for none) and returns the one it replaces.
BASALT_EXPORT ReleaseDescriber setReleaseDescriber(ReleaseDescriber describer) noexcept;

namespace detail {

// Takes a strong reference on object for the handle named refTemplate<T>.
template <class T>
void acquireStrong(RefCountable* object, char const* refTemplate, char const* file, int line) {
    RefCounter* const counter = object->getRefCounter();
    if (counter == nullptr || counter->getLifeCycle() == LC_DESTROYING)
        throwInvalidReference(refTemplate, typeNameSource<T>(), "setElement", file, line);
    counter->markReferenced();
    object->addRef();
}

// Runs preDestroy and deletes an object whose last strong reference went, even if
// preDestroy throws. Objects released while another destruction runs on this thread wait
// for it to finish and are then destroyed in release order: the destruction of a long
// chain of objects that own each other is a loop, never a recursion as deep as the chain.
// The first exception from a preDestroy is passed on once every object is gone; any
// other is reported on the debug-output channel.
BASALT_EXPORT void destroyReleased(RefCountable* object);
// As destroyReleased, for a release no exception may leave: every exception from a
// preDestroy is reported on the debug-output channel.
BASALT_EXPORT void destroyReleasedQuietly(RefCountable* object) noexcept;

// Drops a strong reference; the last one destroys the object.
inline void releaseStrong(RefCountable* object) {
    if (object->decRef() != 0)
        return;
    destroyReleased(object);
}
inline void releaseStrongQuietly(RefCountable* object) noexcept {
    if (object->decRef() != 0)
        return;
    destroyReleasedQuietly(object);
}

} // namespace detail

// Strong reference to a T. Copying never allocates.
template <class T> class Ref {
public:
    using element_type = T;

    Ref() noexcept = default;
    Ref(std::nullptr_t) noexcept {}
    explicit Ref(T* object) { set(object); }
    Ref(Ref const& other) { set(other.m_ptr); }
    Ref(Ref&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ref(Ref<U> const& other) {
        set(other.get());
    }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ref(Ref<U>&& other) noexcept : m_ptr(other.release()) {}
    // A preDestroy exception cannot leave here: it is reported instead.
    ~Ref() {
        if (T* const old = std::exchange(m_ptr, nullptr))
            detail::releaseStrongQuietly(old);
    }

    Ref& operator=(Ref other) noexcept {
        swap(other);
        return *this;
    }

    T* get() const noexcept { return m_ptr; }
    T* operator->() const noexcept { return m_ptr; }
    T& operator*() const noexcept { return *m_ptr; }
    explicit operator bool() const noexcept { return m_ptr != nullptr; }

    // Clears this reference before releasing, so code run by preDestroy sees it null.
    // Passes on what a preDestroy throws; the object is gone all the same.
    void reset() {
        if (T* const old = std::exchange(m_ptr, nullptr))
            detail::releaseStrong(old);
    }
    void reset(T* object) {
        Ref next(object);
        swap(next);
        next.reset();
    }
    void swap(Ref& other) noexcept { std::swap(m_ptr, other.m_ptr); }

private:
    template <class> friend class Ref;

    void set(T* object) {
        if (object != nullptr)
            detail::acquireStrong<T>(object, "norv::basalt::Ref", __FILE__, __LINE__);
        m_ptr = object;
    }
    // Hands the pointer over without touching the count.
    T* release() noexcept { return std::exchange(m_ptr, nullptr); }

    T* m_ptr = nullptr;
};

// Strong reference that gives only const access to its target.
template <class T> class ConstRef {
public:
    using element_type = T const;

    ConstRef() noexcept = default;
    ConstRef(std::nullptr_t) noexcept {}
    explicit ConstRef(T const* object) { set(object); }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T const*>>>
    ConstRef(Ref<U> const& other) {
        set(other.get());
    }
    ConstRef(ConstRef const& other) { set(other.m_ptr); }
    ConstRef(ConstRef&& other) noexcept : m_ptr(std::exchange(other.m_ptr, nullptr)) {}
    template <class U, class = std::enable_if_t<std::is_convertible_v<U const*, T const*>>>
    ConstRef(ConstRef<U> const& other) {
        set(other.get());
    }
    ~ConstRef() {
        if (T const* const old = std::exchange(m_ptr, nullptr))
            detail::releaseStrongQuietly(mutableObject(old));
    }

    ConstRef& operator=(ConstRef other) noexcept {
        swap(other);
        return *this;
    }

    T const* get() const noexcept { return m_ptr; }
    T const* operator->() const noexcept { return m_ptr; }
    T const& operator*() const noexcept { return *m_ptr; }
    explicit operator bool() const noexcept { return m_ptr != nullptr; }

    void reset() {
        if (T const* const old = std::exchange(m_ptr, nullptr))
            detail::releaseStrong(mutableObject(old));
    }
    void reset(T const* object) {
        ConstRef next(object);
        swap(next);
        next.reset();
    }
    void swap(ConstRef& other) noexcept { std::swap(m_ptr, other.m_ptr); }

private:
    // Counting changes only the count record, not the object's observable state.
    static RefCountable* mutableObject(T const* object) noexcept { return const_cast<T*>(object); }
    void set(T const* object) {
        if (object != nullptr)
            detail::acquireStrong<T>(mutableObject(object), "norv::basalt::ConstRef", __FILE__,
                                     __LINE__);
        m_ptr = object;
    }

    T const* m_ptr = nullptr;
};

// Weak reference: watches a T without keeping it alive. Setting it to an object needs the
// object to be referenced (LC_REFERENCED); copying an existing WeakRef never throws.
template <class T> class WeakRef {
public:
    WeakRef() noexcept = default;
    explicit WeakRef(T* object) { set(object); }
    template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    WeakRef(Ref<U> const& target) {
        set(target.get());
    }
    WeakRef(WeakRef const& other) noexcept : m_ptr(other.m_ptr), m_counter(other.m_counter) {
        if (m_counter != nullptr)
            m_counter->addWeakRef();
    }
    WeakRef(WeakRef&& other) noexcept
        : m_ptr(std::exchange(other.m_ptr, nullptr)),
          m_counter(std::exchange(other.m_counter, nullptr)) {}
    ~WeakRef() { reset(); }

    WeakRef& operator=(WeakRef other) noexcept {
        swap(other);
        return *this;
    }

    // The target while it is alive and strongly held, else a null Ref.
    Ref<T> lock() const {
        if (expired())
            return Ref<T>();
        return Ref<T>(m_ptr);
    }
    bool expired() const noexcept {
        return m_counter == nullptr || m_counter->isOrphaned() ||
               m_counter->getLifeCycle() != LC_REFERENCED || m_counter->getStrongCount() < 1;
    }

    void reset() noexcept {
        RefCounter* const counter = std::exchange(m_counter, nullptr);
        m_ptr = nullptr;
        // The object's destructor leaves a watched counter behind; the last watcher frees it.
        if (counter != nullptr && counter->decWeakRef() == 0 && counter->isOrphaned())
            delete counter;
    }
    void swap(WeakRef& other) noexcept {
        std::swap(m_ptr, other.m_ptr);
        std::swap(m_counter, other.m_counter);
    }

private:
    void set(T* object) {
        if (object == nullptr)
            return;
        RefCountable* const countable = object;
        RefCounter* const counter = countable->getRefCounter();
        if (counter == nullptr || counter->getLifeCycle() != LC_REFERENCED)
            detail::throwInvalidReference("norv::basalt::WeakRef", detail::typeNameSource<T>(),
                                          "setElement", __FILE__, __LINE__);
        counter->addWeakRef();
        m_ptr = object;
        m_counter = counter;
    }

    T* m_ptr = nullptr;
    RefCounter* m_counter = nullptr;
};

template <class U, class T> Ref<U> static_ref_cast(Ref<T> const& ref) {
    return Ref<U>(static_cast<U*>(ref.get()));
}

// A null Ref when the target is not a U.
template <class U, class T> Ref<U> dynamic_ref_cast(Ref<T> const& ref) {
    return Ref<U>(dynamic_cast<U*>(ref.get()));
}

// Comparisons are by object address.
template <class T, class U> bool operator==(Ref<T> const& a, Ref<U> const& b) noexcept {
    return a.get() == b.get();
}
template <class T, class U> bool operator!=(Ref<T> const& a, Ref<U> const& b) noexcept {
    return a.get() != b.get();
}
template <class T> bool operator<(Ref<T> const& a, Ref<T> const& b) noexcept {
    return std::less<T*>()(a.get(), b.get());
}
template <class T> bool operator==(Ref<T> const& a, std::nullptr_t) noexcept {
    return !a;
}
template <class T> bool operator==(std::nullptr_t, Ref<T> const& a) noexcept {
    return !a;
}
template <class T> bool operator!=(Ref<T> const& a, std::nullptr_t) noexcept {
    return static_cast<bool>(a);
}
template <class T> bool operator!=(std::nullptr_t, Ref<T> const& a) noexcept {
    return static_cast<bool>(a);
}

template <class T, class U> bool operator==(ConstRef<T> const& a, ConstRef<U> const& b) noexcept {
    return a.get() == b.get();
}
template <class T, class U> bool operator!=(ConstRef<T> const& a, ConstRef<U> const& b) noexcept {
    return a.get() != b.get();
}
template <class T, class U> bool operator==(ConstRef<T> const& a, Ref<U> const& b) noexcept {
    return a.get() == b.get();
}
template <class T, class U> bool operator!=(ConstRef<T> const& a, Ref<U> const& b) noexcept {
    return a.get() != b.get();
}
template <class T, class U> bool operator==(Ref<T> const& a, ConstRef<U> const& b) noexcept {
    return a.get() == b.get();
}
template <class T, class U> bool operator!=(Ref<T> const& a, ConstRef<U> const& b) noexcept {
    return a.get() != b.get();
}
template <class T> bool operator<(ConstRef<T> const& a, ConstRef<T> const& b) noexcept {
    return std::less<T const*>()(a.get(), b.get());
}
template <class T> bool operator==(ConstRef<T> const& a, std::nullptr_t) noexcept {
    return !a;
}
template <class T> bool operator==(std::nullptr_t, ConstRef<T> const& a) noexcept {
    return !a;
}
template <class T> bool operator!=(ConstRef<T> const& a, std::nullptr_t) noexcept {
    return static_cast<bool>(a);
}
template <class T> bool operator!=(std::nullptr_t, ConstRef<T> const& a) noexcept {
    return static_cast<bool>(a);
}

template <class T> void swap(Ref<T>& a, Ref<T>& b) noexcept {
    a.swap(b);
}
template <class T> void swap(ConstRef<T>& a, ConstRef<T>& b) noexcept {
    a.swap(b);
}
template <class T> void swap(WeakRef<T>& a, WeakRef<T>& b) noexcept {
    a.swap(b);
}

} // namespace norv::basalt

namespace std {

template <class T> struct hash<norv::basalt::Ref<T>> {
    std::size_t operator()(norv::basalt::Ref<T> const& ref) const noexcept {
        return std::hash<T*>()(ref.get());
    }
};

template <class T> struct hash<norv::basalt::ConstRef<T>> {
    std::size_t operator()(norv::basalt::ConstRef<T> const& ref) const noexcept {
        return std::hash<T const*>()(ref.get());
    }
};

} // namespace std
