#include <basalt/Function.h>
#include <basalt/Signal.h>

namespace ttl::func {

BadFunctionCall::BadFunctionCall() : std::runtime_error("ttl::func::function error") {}
BadFunctionCall::~BadFunctionCall() = default;

void detail::throwBadFunctionCall() {
    throw BadFunctionCall();
}

} // namespace ttl::func

namespace norv::basalt::signal {

SignalError::SignalError() : std::runtime_error("signal error") {}
SignalError::~SignalError() = default;

ConnectionInterface::~ConnectionInterface() = default;

namespace detail {
namespace {

// Kept out of line so that the compiler does not mistake a shared state for freed memory.
[[gnu::noinline]] void destroy(SignalState* state) noexcept {
    delete state;
}

void decRef(SignalState& state) noexcept {
    if (--state.m_refs == 0 && state.m_depth == 0) {
        destroy(&state);
    }
}

// Counted reference to a state; small and nothrow-copyable so that boost::function keeps
// it in place and a connection costs no allocation beyond its holder.
class StateRef {
public:
    explicit StateRef(SignalState& state) noexcept : m_state(&state) { ++state.m_refs; }
    StateRef(StateRef const& other) noexcept : m_state(other.m_state) { ++m_state->m_refs; }
    StateRef& operator=(StateRef const&) = delete;
    ~StateRef() { decRef(*m_state); }

    SignalState& get() const noexcept { return *m_state; }

private:
    SignalState* m_state;
};

// The disconnection callable of a notifying connection: runs the signal's last-disconnect
// callback once nothing is connected and no emission is running.
struct LastDisconnectCheck {
    StateRef m_state;

    void operator()() const {
        SignalState& state = m_state.get();
        boost::function<void()>* const target = state.m_onLastDisconnect;
        if (state.m_dead || state.m_depth != 0 || state.m_live != 0 || target == nullptr ||
            target->empty()) {
            return;
        }
        // The callback may delete the signal and with it *target: run a moved-out copy and
        // put it back only if the signal survived and nobody set a new one meanwhile.
        StateRef const keepAlive(state);
        boost::function<void()> callback(std::move(*target));
        target->clear();
        callback();
        if (!state.m_dead && state.m_onLastDisconnect == target && target->empty()) {
            *target = std::move(callback);
        }
    }
};

} // namespace

HolderBase::~HolderBase() = default;

void HolderBase::disconnect() {
    if ((m_flags & FLAG_CONNECTED) == 0) {
        return;
    }
    m_flags &= static_cast<unsigned char>(~FLAG_CONNECTED);
    SignalState* const state = m_state;
    m_state = nullptr;
    // May release this holder: nothing of it is touched afterwards.
    if (state != nullptr) {
        SignalCore::unlink(*state, this);
    }
}

bool HolderBase::isConnected() const {
    return (m_flags & FLAG_CONNECTED) != 0;
}
void HolderBase::block() {
    m_flags |= FLAG_BLOCKED;
}
void HolderBase::unblock() {
    m_flags &= static_cast<unsigned char>(~FLAG_BLOCKED);
}
bool HolderBase::isBlocked() const {
    return (m_flags & FLAG_BLOCKED) != 0;
}

Connection SignalCore::connect(SignalState*& state, HolderPtr const& holder,
                               boost::function<void()>* onLastDisconnect) {
    try {
        if (state == nullptr) {
            state = new SignalState;
        }
        Connection connection = onLastDisconnect == nullptr
                                    ? Connection(holder)
                                    : Connection(holder, LastDisconnectCheck{StateRef(*state)});
        holder->m_index = state->m_holders.size();
        state->m_holders.push_back(holder);
        // Nothing below throws: the subscription exists only once it is listed.
        if (onLastDisconnect != nullptr) {
            state->m_onLastDisconnect = onLastDisconnect;
        }
        holder->m_state = state;
        holder->m_flags |= HolderBase::FLAG_CONNECTED;
        ++state->m_live;
        return connection;
    } catch (std::bad_alloc const&) {
        throwSignalError();
    }
}

void SignalCore::unlink(SignalState& state, HolderBase* holder) noexcept {
    --state.m_live;
    if (state.m_depth > 0) {
        ++state.m_removals;
        return;
    }
    std::vector<HolderPtr>& holders = state.m_holders;
    std::size_t const index = holder->m_index;
    if (index >= holders.size() || holders[index].get() != holder) {
        return;
    }
    HolderPtr released = std::move(holders[index]);
    if (index + 1 == holders.size()) {
        holders.pop_back();
        while (!holders.empty() && !holders.back()) {
            holders.pop_back();
            --state.m_holes;
        }
    } else if (++state.m_holes * 2 > holders.size()) {
        squeeze(state);
    }
    // released goes here, with the list already consistent
}

void SignalCore::squeeze(SignalState& state) noexcept {
    std::vector<HolderPtr>& holders = state.m_holders;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < holders.size(); ++i) {
        if (holders[i]) {
            if (i != kept) {
                holders[kept] = std::move(holders[i]);
            }
            holders[kept]->m_index = kept;
            ++kept;
        }
    }
    holders.erase(holders.begin() + static_cast<std::ptrdiff_t>(kept), holders.end());
    state.m_holes = 0;
}

// Unlinks the holders disconnected during emissions. A holder's destruction runs the slot's
// destructor, which may re-enter the signal, so each one is taken out of the list before it
// is released and the list is searched again afterwards.
void SignalCore::purge(SignalState& state) noexcept {
    squeeze(state);
    std::vector<HolderPtr>& holders = state.m_holders;
    // Connected holders to the front in their order, so the disconnected ones end the list.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < holders.size(); ++i) {
        if (holders[i]->isConnected()) {
            if (i != kept) {
                holders[kept].swap(holders[i]);
            }
            ++kept;
        }
    }
    for (std::size_t i = 0; i < holders.size(); ++i) {
        holders[i]->m_index = i;
    }
    while (state.m_removals > 0 && !state.m_dead) {
        std::size_t i = holders.size();
        while (i > 0 && (!holders[i - 1] || holders[i - 1]->isConnected())) {
            --i;
        }
        if (i == 0) {
            state.m_removals = 0;
            break;
        }
        HolderPtr doomed = std::move(holders[i - 1]);
        if (i == holders.size()) {
            holders.pop_back();
            while (!holders.empty() && !holders.back()) {
                holders.pop_back();
                --state.m_holes;
            }
        } else {
            ++state.m_holes;
        }
        --state.m_removals;
        doomed.reset();
    }
}

void SignalCore::release(SignalState*& statePtr) noexcept {
    SignalState* const state = statePtr;
    if (state == nullptr) {
        return;
    }
    statePtr = nullptr;
    state->m_dead = true;
    state->m_onLastDisconnect = nullptr;
    state->m_live = 0;
    for (HolderPtr const& holder : state->m_holders) {
        if (holder) {
            holder->m_flags &= static_cast<unsigned char>(~HolderBase::FLAG_CONNECTED);
            holder->m_state = nullptr;
        }
    }
    // While an emission runs its slot's holder must survive; the outermost one drops the list.
    std::vector<HolderPtr> doomed;
    if (state->m_depth == 0) {
        doomed.swap(state->m_holders);
    }
    decRef(*state);
    // doomed goes last: holders no Connection uses die here, their slots with them.
}

void SignalCore::endEmission(SignalState& state) noexcept {
    // Slots destroyed below may re-enter and even destroy the signal: hold the state.
    ++state.m_refs;
    std::vector<HolderPtr> doomed;
    if (state.m_dead) {
        doomed.swap(state.m_holders);
        state.m_removals = 0;
        state.m_holes = 0;
    } else {
        purge(state);
    }
    decRef(state);
}

void SignalCore::throwSignalError() {
    throw SignalError();
}

} // namespace detail

Connection::Connection() noexcept = default;

Connection::Connection(boost::shared_ptr<ConnectionInterface> holder,
                       boost::function<void()> onDisconnect)
    : m_holder(std::move(holder)), m_onDisconnect(std::move(onDisconnect)) {}

Connection::Connection(Connection const& other) = default;
Connection& Connection::operator=(Connection const& other) = default;
Connection::~Connection() = default;

void Connection::disconnect() {
    if (!m_holder) {
        return;
    }
    // Releasing the holder may destroy the slot and with it this handle (a slot that owns
    // its own connection), so the members are moved out first.
    boost::shared_ptr<ConnectionInterface> holder = std::move(m_holder);
    m_holder.reset();
    boost::function<void()> onDisconnect(std::move(m_onDisconnect));
    m_onDisconnect.clear();
    bool const ended = holder->isConnected();
    holder->disconnect();
    holder.reset();
    if (ended && onDisconnect) {
        onDisconnect();
    }
}

bool Connection::isConnected() const {
    return m_holder && m_holder->isConnected();
}

void Connection::block() {
    if (m_holder) {
        m_holder->block();
    }
}

void Connection::unblock() {
    if (m_holder) {
        m_holder->unblock();
    }
}

bool Connection::isBlocked() const {
    return m_holder && m_holder->isBlocked();
}

} // namespace norv::basalt::signal
