#include <basalt/Signal.h>

#include <boost/optional.hpp>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace norv::basalt::signal;

namespace {

using IntSignal = Signal<void(int)>;
using Log = std::vector<std::string>;

void freeSlot(int) {}

template <class Exception, class F> std::string thrownText(F&& f) {
    try {
        f();
    } catch (Exception const& e) {
        return e.what();
    }
    return "no exception";
}

// Once armed, copying it fails as an out-of-memory copy would.
struct FailingCopySlot {
    bool const* m_armed;
    explicit FailingCopySlot(bool const* armed) : m_armed(armed) {}
    FailingCopySlot(FailingCopySlot const& other) : m_armed(other.m_armed) {
        if (*m_armed) {
            throw std::bad_alloc();
        }
    }
    void operator()(int) const {}
};

} // namespace

TEST(Function, ConvertsFromCallablesAndThrowsWhenEmpty) {
    ttl::func::function<int(int)> twice = [](auto v) { return 2 * v; };
    EXPECT_TRUE(twice);
    EXPECT_EQ(twice(4), 8);
    ttl::func::function<void(int)> fromPointer = &freeSlot;
    EXPECT_TRUE(fromPointer);

    void (*nullPointer)(int) = nullptr;
    for (ttl::func::function<void(int)> empty :
         {ttl::func::function<void(int)>(), ttl::func::function<void(int)>(nullPointer)}) {
        EXPECT_FALSE(empty);
        EXPECT_EQ(thrownText<ttl::func::BadFunctionCall>([&] { empty(1); }),
                  "ttl::func::function error");
    }
}

TEST(Signal, ConnectRejectsEmptySlotsAndFailedHoldersWithoutAddingThem) {
    IntSignal sig;
    EXPECT_THROW(sig.connect(ttl::func::function<void(int)>()), ttl::func::BadFunctionCall);
    bool armed = false;
    ttl::func::function<void(int)> failing = FailingCopySlot(&armed);
    armed = true;
    EXPECT_EQ(thrownText<SignalError>([&] { sig.connect(failing); }), "signal error");
    EXPECT_TRUE(sig.empty());
    sig(1);
}

TEST(Signal, CallsConnectedUnblockedSlotsInConnectionOrder) {
    IntSignal sig;
    Log log;
    Connection a = sig.connect([&](int v) { log.push_back("a" + std::to_string(v)); });
    Connection b = sig.connect([&](int v) { log.push_back("b" + std::to_string(v)); });
    {
        Connection dropped = sig.connect([&](int) { log.push_back("c"); });
    }
    EXPECT_EQ(sig.numSlots(), 3u);

    sig(1);
    a.block();
    EXPECT_TRUE(a.isBlocked());
    sig(2);
    a.unblock();
    Connection copyOfB = b;
    copyOfB.disconnect();
    EXPECT_FALSE(b.isConnected());
    EXPECT_FALSE(copyOfB.isConnected());
    sig(3);
    EXPECT_EQ(log, (Log{"a1", "b1", "c", "b2", "c", "a3", "c"}));
    EXPECT_EQ(sig.numSlots(), 2u);
}

TEST(Signal, DisconnectAndConnectDuringEmissionFollowTheLiveList) {
    IntSignal sig;
    Log log;
    Connection self, later;
    self = sig.connect([&](int) {
        log.push_back("self");
        self.disconnect();
        later.disconnect();
        sig.connect([&](int) { log.push_back("added"); });
    });
    sig.connect([&](int) { log.push_back("next"); });
    later = sig.connect([&](int) { log.push_back("later"); });

    sig(0);
    EXPECT_EQ(log, (Log{"self", "next", "added"}));
    EXPECT_EQ(sig.numSlots(), 2u);
    log.clear();
    sig(0);
    EXPECT_EQ(log, (Log{"next", "added"}));
}

TEST(Signal, NestedEmissionDefersRemovalToTheOutermost) {
    IntSignal sig;
    Log log;
    Connection first, second;
    first = sig.connect([&](int depth) {
        log.push_back("first" + std::to_string(depth));
        if (depth < 2) {
            sig(depth + 1);
        } else {
            first.disconnect();
            second.disconnect();
        }
    });
    second = sig.connect([&](int depth) { log.push_back("second" + std::to_string(depth)); });
    sig.connect([&](int depth) { log.push_back("third" + std::to_string(depth)); });

    sig(0);
    EXPECT_EQ(log, (Log{"first0", "first1", "first2", "third2", "third1", "third0"}));
    EXPECT_EQ(sig.numSlots(), 1u);
}

// Disconnections leave places that are squeezed out later: whatever the order of
// disconnection, the rest keep their order, new slots come last, and a slot goes
// (with what it holds) when its connection ends.
TEST(Signal, DisconnectingInAnyOrderKeepsTheRestInOrderAndReleasesTheSlot) {
    IntSignal sig;
    Log log;
    auto const held = std::make_shared<int>(0);
    std::vector<Connection> connections;
    for (int i = 0; i < 8; ++i) {
        connections.push_back(
            sig.connect([&log, i, held](int) { log.push_back(std::to_string(i)); }));
    }
    EXPECT_EQ(held.use_count(), 9);
    long expected = 9;
    for (std::size_t i : {0u, 1u, 5u, 2u}) {
        connections[i].disconnect();
        EXPECT_EQ(held.use_count(), --expected);
    }
    sig(0);
    EXPECT_EQ(log, (Log{"3", "4", "6", "7"}));
    connections.push_back(sig.connect([&](int) { log.push_back("new"); }));
    connections[7].disconnect();
    connections[3].disconnect();
    log.clear();
    sig(0);
    EXPECT_EQ(log, (Log{"4", "6", "new"}));
    EXPECT_EQ(sig.numSlots(), 3u);
    EXPECT_EQ(held.use_count(), 3);
}

TEST(Signal, ThrowingSlotLeavesSignalUsable) {
    IntSignal sig;
    int calls = 0;
    Connection thrower;
    thrower = sig.connect([&](int) {
        thrower.disconnect();
        throw std::runtime_error("slot failed");
    });
    sig.connect([&](int) { ++calls; });

    EXPECT_THROW(sig(0), std::runtime_error);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(sig.numSlots(), 1u);
    sig(0);
    Connection c = sig.connect([&](int) { ++calls; });
    c.disconnect();
    sig(0);
    EXPECT_EQ(calls, 2);
}

TEST(Signal, SlotMayDestroyItsSignalEvenWhenNested) {
    for (int destroyAtDepth : {0, 1}) {
        SCOPED_TRACE(destroyAtDepth);
        auto* sig = new IntSignal;
        int afterCalls = 0;
        Connection killer = sig->connect([&](int depth) {
            if (depth < destroyAtDepth) {
                (*sig)(depth + 1);
            } else {
                delete sig;
            }
        });
        sig->connect([&](int) { ++afterCalls; });
        (*sig)(0);
        EXPECT_EQ(afterCalls, 0);
        EXPECT_FALSE(killer.isConnected());
    }
}

TEST(Signal, HandlesStaySafeAfterTheSignalIsGone) {
    Connection plain, notifying;
    int notified = 0;
    {
        IntSignal sig;
        DisconnectNotificationSignal<void(int)> dns([&] { ++notified; });
        plain = sig.connect(&freeSlot);
        notifying = dns.connect(&freeSlot);
        dns.connect(&freeSlot);
    }
    Connection copy = notifying, none;
    for (Connection* c : {&plain, &notifying, &copy, &none}) {
        EXPECT_FALSE(c->isConnected());
        c->block();
        c->disconnect();
    }
    EXPECT_EQ(notified, 0);

    // A handle owned only by its own slot: disconnecting destroys the handle itself.
    IntSignal sig;
    auto owned = std::make_shared<Connection>();
    Connection* raw = owned.get();
    *raw = sig.connect([owned](int) {});
    owned.reset();
    raw->disconnect();
    EXPECT_TRUE(sig.empty());
}

namespace {

struct Attribute {};

// Owns its signal the way a node does: created on first subscription, deleted when the
// last subscription leaves or when the owner dies.
struct Owner {
    using ChangeSignal =
        DisconnectNotificationSignal<void(int, Owner const&, boost::optional<Attribute const&>)>;
    ChangeSignal* m_signal = nullptr;
    int m_lastDisconnects = 0;

    ~Owner() { delete m_signal; }
    Connection subscribe(ChangeSignal::Slot const& slot) {
        if (m_signal == nullptr) {
            m_signal = new ChangeSignal([this] { lastConnectionDisconnected(); });
        }
        return m_signal->connect(slot);
    }
    void lastConnectionDisconnected() {
        ++m_lastDisconnects;
        delete m_signal;
        m_signal = nullptr;
    }
    void emit(int action) {
        if (m_signal != nullptr) {
            (*m_signal)(action, *this, boost::none);
        }
    }
};

} // namespace

TEST(DisconnectNotificationSignal, LastDisconnectOutsideEmissionRunsTheCallbackOnce) {
    Owner owner;
    int calls = 0;
    Connection a = owner.subscribe([&](int, Owner const&, auto) { ++calls; });
    Connection b = owner.subscribe([&](int, Owner const&, auto) { ++calls; });
    Connection copyOfA = a;
    a.disconnect();
    copyOfA.disconnect();
    EXPECT_EQ(owner.m_lastDisconnects, 0);
    b.disconnect();
    EXPECT_EQ(owner.m_lastDisconnects, 1);
    EXPECT_EQ(owner.m_signal, nullptr);

    // Disconnected during an emission: the signal stays, empty, without a callback run.
    Connection self;
    self = owner.subscribe([&](int, Owner const&, auto) { self.disconnect(); });
    owner.emit(1);
    ASSERT_NE(owner.m_signal, nullptr);
    EXPECT_TRUE(owner.m_signal->empty());
    EXPECT_EQ(owner.m_lastDisconnects, 1);

    // Resubscribing works; destroying the owner deletes the signal without the callback.
    Connection again = owner.subscribe([&](int, Owner const&, auto) { ++calls; });
    owner.emit(2);
    EXPECT_EQ(calls, 1);
    auto* doomed = new Owner;
    Connection last = doomed->subscribe([&](int, Owner const&, auto) { delete doomed; });
    doomed->emit(3);
    EXPECT_FALSE(last.isConnected());
    last.disconnect();
}
