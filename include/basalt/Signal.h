#pragma once
// Signals of the base component: a signal calls its subscribed slots in connection order.
//
//   Signal<void (int)> changed;
//   Connection c = changed.connect([](int v) { ... });
//   changed(42);        // calls every connected, unblocked slot
//   c.disconnect();
//
// What a caller must know:
// - Not thread-safe: connect, disconnect and emit on the thread that owns the signal.
// - Emission is re-entrant. A slot may connect (the new slot is called later in the same
//   emission), disconnect itself or others (no further call in any running emission),
//   emit the same signal again, or destroy the signal object.
// - An exception thrown by a slot ends the emission and passes to the emitter; the
//   signal stays usable.
// - A Connection is a handle: destroying it does not disconnect. The subscription lasts
//   until Connection::disconnect() or the end of the signal, after which every handle
//   answers isConnected() == false and stays safe to use.
// - connect() throws SignalError ("signal error") when the subscription cannot be made
//   (nothing is added) and ttl::func::BadFunctionCall for an empty slot.
// - DisconnectNotificationSignal runs its last-disconnect callback when a
//   Connection::disconnect() outside any emission leaves no slot connected. The callback
//   may delete the signal; destroying the signal never runs it.

#include <basalt/Export.h>
#include <basalt/Function.h>

#include <boost/function.hpp>
#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>

namespace norv::basalt::signal {

// Implementation tag of the signal templates.
struct TTLModImplementation {};

// Thrown by connect() when the subscription cannot be made.
class BASALT_EXPORT SignalError : public std::runtime_error {
public:
    SignalError();
    ~SignalError() override;
};

// One subscription, shared by its signal and every Connection copied from it.
class BASALT_EXPORT ConnectionInterface {
public:
    virtual ~ConnectionInterface();
    virtual void disconnect() = 0;
    virtual bool isConnected() const = 0;
    virtual void block() = 0;
    virtual void unblock() = 0;
    virtual bool isBlocked() const = 0;

protected:
    ConnectionInterface() = default;
    ConnectionInterface(ConnectionInterface const&) = default;
    ConnectionInterface& operator=(ConnectionInterface const&) = default;
};

// Copyable handle to a subscription. A default-constructed handle is not connected.
class BASALT_EXPORT Connection {
public:
    Connection() noexcept;
    // onDisconnect runs after disconnect() has released the subscription, and only when
    // that call is what ended it.
    explicit Connection(boost::shared_ptr<ConnectionInterface> holder,
                        boost::function<void()> onDisconnect = boost::function<void()>());
    Connection(Connection const& other);
    Connection& operator=(Connection const& other);
    ~Connection();

    // Ends the subscription and empties this handle; other copies then report not connected.
    void disconnect();
    bool isConnected() const;
    // A blocked slot is skipped by emissions until unblocked.
    void block();
    void unblock();
    bool isBlocked() const;

private:
    boost::shared_ptr<ConnectionInterface> m_holder;
    boost::function<void()> m_onDisconnect;
};

namespace detail {

class HolderBase;
using HolderPtr = boost::shared_ptr<HolderBase>;

// Subscription state of one signal, allocated with the first connection. It is freed once
// no reference remains and no emission runs, so a slot may destroy the signal that owns it.
// A disconnection outside an emission leaves an empty place where its holder
// was, found through the holder's own index, so disconnecting costs O(1); the
// places are squeezed out once they make up half the list.
struct SignalState {
    std::vector<HolderPtr> m_holders; // connection order, with empty places; walked by index
    boost::function<void()>* m_onLastDisconnect = nullptr; // lives in the signal object
    std::size_t m_live = 0;                                // connected holders
    std::size_t m_holes = 0;                               // empty places in m_holders
    int m_refs = 1;      // the signal and its notifying connections
    int m_depth = 0;     // nesting of running emissions; pins the state like a reference
    int m_removals = 0;  // holders disconnected during an emission, still listed
    bool m_dead = false; // the signal object is gone

    SignalState() = default;
    SignalState(SignalState const&) = delete;
    SignalState& operator=(SignalState const&) = delete;
};

// Holder of one slot: the typed part is the slot alone, the rest is shared by all signals.
class BASALT_EXPORT HolderBase : public ConnectionInterface {
public:
    enum : unsigned char { FLAG_CONNECTED = 1, FLAG_BLOCKED = 2 };

    ~HolderBase() override;
    void disconnect() override;
    bool isConnected() const override;
    void block() override;
    void unblock() override;
    bool isBlocked() const override;

    // Connected and not blocked.
    bool isCallable() const noexcept { return m_flags == FLAG_CONNECTED; }

protected:
    HolderBase() = default;

private:
    friend class SignalCore;
    SignalState* m_state = nullptr; // null once disconnected or detached
    std::size_t m_index = 0;        // the holder's place in its state's list while listed
    unsigned char m_flags = 0;
};

template <class Sig> class Holder final : public HolderBase {
public:
    explicit Holder(ttl::func::function<Sig> const& slot) : m_slot(slot) {}
    ttl::func::function<Sig> m_slot;
};

// The signature-independent bookkeeping: list management, deferred removal, destruction.
class BASALT_EXPORT SignalCore {
public:
    // Appends holder, creating the state on first use; strong guarantee.
    static Connection connect(SignalState*& state, HolderPtr const& holder,
                              boost::function<void()>* onLastDisconnect);
    // Marks the state dead, detaches every holder and drops the signal's reference.
    static void release(SignalState*& state) noexcept;
    // Called when the outermost emission ends with removals pending or the signal gone.
    static void endEmission(SignalState& state) noexcept;
    [[noreturn]] static void throwSignalError();

private:
    friend class HolderBase;
    static void unlink(SignalState& state, HolderBase* holder) noexcept;
    // Drops the empty places, keeping the order of the rest.
    static void squeeze(SignalState& state) noexcept;
    static void purge(SignalState& state) noexcept;
};

// Counts one running emission for its duration (exceptions included). Restoring the saved
// depth instead of decrementing keeps back-to-back emissions free of a load-store chain.
class EmissionGuard {
public:
    explicit EmissionGuard(SignalState& state) noexcept
        : m_state(state), m_outerDepth(state.m_depth) {
        m_state.m_depth = m_outerDepth + 1;
    }
    ~EmissionGuard() {
        m_state.m_depth = m_outerDepth;
        if (m_outerDepth == 0 && (m_state.m_removals != 0 || m_state.m_dead)) {
            SignalCore::endEmission(m_state);
        }
    }
    EmissionGuard(EmissionGuard const&) = delete;
    EmissionGuard& operator=(EmissionGuard const&) = delete;

private:
    SignalState& m_state;
    int const m_outerDepth;
};

template <class Sig, class Impl = TTLModImplementation> class SignalBase;

template <class R, class... Args, class Impl> class SignalBase<R(Args...), Impl> {
public:
    using Slot = ttl::func::function<R(Args...)>;

    SignalBase() noexcept = default;
    SignalBase(SignalBase const&) = delete;
    SignalBase& operator=(SignalBase const&) = delete;
    virtual ~SignalBase() { SignalCore::release(m_state); }

    // Calls every connected, unblocked slot in connection order; results are discarded.
    // Const because it leaves the subscriptions as they are (slots themselves may not).
    void operator()(Args... args) const {
        SignalState* const state = m_state;
        if (state == nullptr) {
            return;
        }
        EmissionGuard guard(*state);
        // Index and size are re-read after every call: slots may append or destroy the signal.
        for (std::size_t i = 0; i < state->m_holders.size(); ++i) {
            auto const* holder = static_cast<Holder<R(Args...)> const*>(state->m_holders[i].get());
            if (holder != nullptr && holder->isCallable()) {
                holder->m_slot(args...);
            }
        }
    }

    // Number of connected slots (disconnected ones awaiting removal do not count).
    std::size_t numSlots() const noexcept { return m_state ? m_state->m_live : 0; }
    bool empty() const noexcept { return numSlots() == 0; }

protected:
    Connection connectSlot(Slot const& slot, boost::function<void()>* onLastDisconnect) {
        if (!slot) {
            ttl::func::detail::throwBadFunctionCall();
        }
        HolderPtr holder;
        try {
            holder = boost::make_shared<Holder<R(Args...)>>(slot);
        } catch (std::bad_alloc const&) {
            SignalCore::throwSignalError();
        }
        return SignalCore::connect(m_state, holder, onLastDisconnect);
    }

    // Lets a derived signal tear down before its own members go.
    void releaseState() noexcept { SignalCore::release(m_state); }

private:
    SignalState* m_state = nullptr;
};

} // namespace detail

// The signal type users name.
template <class Sig, class Impl = TTLModImplementation>
class Signal : public detail::SignalBase<Sig, Impl> {
public:
    using Slot = typename detail::SignalBase<Sig, Impl>::Slot;

    Signal() noexcept = default;

    Connection connect(Slot const& slot) { return this->connectSlot(slot, nullptr); }
};

// A signal that tells its owner when its last subscription has been disconnected, so the
// owner can delete it. Only connections made through this class's connect() notify.
template <class Sig, class Impl = TTLModImplementation>
class DisconnectNotificationSignal : public Signal<Sig, Impl> {
public:
    using Slot = typename Signal<Sig, Impl>::Slot;

    DisconnectNotificationSignal() = default;
    explicit DisconnectNotificationSignal(boost::function<void()> onLastDisconnect)
        : m_onLastDisconnect(std::move(onLastDisconnect)) {}
    // Detaches before the callback is destroyed, so nothing can reach a dead callback.
    ~DisconnectNotificationSignal() override { this->releaseState(); }

    virtual Connection connect(Slot const& slot) {
        return this->connectSlot(slot, &m_onLastDisconnect);
    }

    void setLastDisconnectCallback(boost::function<void()> onLastDisconnect) {
        m_onLastDisconnect = std::move(onLastDisconnect);
    }

private:
    boost::function<void()> m_onLastDisconnect;
};

} // namespace norv::basalt::signal
