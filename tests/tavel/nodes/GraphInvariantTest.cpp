// A randomized attack on the node graph: random reference edits, cycles and
// scopes, hooks that refuse, and subscribers that (by chance) edit references,
// drop nodes, open scopes or throw in the middle of a notification. After
// every step the graph must be whole: owner links match the positions that
// hold each node, no depth is negative and every depth is 0 once all scopes
// have ended, and every change is reported exactly once. Copies and compares of
// random nodes, also from inside notifications, must neither touch the graph
// nor differ from their sources; assignments with any flags and synchronised
// edits must leave it whole too. TAVEL_GRAPH_STEPS sets the length.

#include "support/GraphTestSupport.h"
#include "support/OutputCapture.h"

#include <tavel/operations/AssignOperator.h>
#include <tavel/operations/NodeSynchronizer.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <stdexcept>
#include <utility>

namespace Norv::Tavel::testing {
namespace {

using norv::basalt::WeakRef;

struct Attack {
    // Every node is made here, copies by assign and sync too, so the end finds
    // cycles of copies nothing refers to any more.
    boost::shared_ptr<Registry> registry = boost::make_shared<Registry>();
    std::unique_ptr<NodeSynchronizer> sync; // lives for one operation
    int operating = 0;
    std::mt19937 random{20261207};
    // Draws for the copies alone: copies notify nobody, so the edits, scopes
    // and subscriber acts go exactly as without them.
    std::mt19937 copies{4711};
    std::vector<Ref<Group>> pool;      // the nodes the test holds
    std::vector<WeakRef<Group>> every; // every node made, to check the live ones
    // Open scopes, innermost last, with the nodes they were opened on.
    std::vector<std::pair<InhibitUpdate*, Node const*>> scopes;
    std::map<Node const*, long long> reported; // last own incarnation reported
    std::vector<std::string> faults;
    int nesting = 0;
    bool calm = false; // subscribers only listen

    std::size_t pick(std::size_t n) { return std::size_t(random() % n); }
    bool chance(unsigned percent) { return random() % 100 < percent; }

    Ref<Group> anyNode() {
        Ref<Group>& slot = pool[pick(pool.size())];
        if (!slot) {
            slot = makeNode();
        }
        return slot;
    }

    Ref<Group> makeNode() {
        Ref<Group> node = makeGroup("n" + std::to_string(every.size()), nullptr, registry);
        every.emplace_back(node);
        Node const* const key = node.get();
        reported[key] = node->getInstanceIncarnation();
        node->subscribeForNodeChangeNotification(
            [this, key](ChangeAction action, Node const& from, boost::optional<Attribute const&>) {
                heard(key, action, from);
            });
        return node;
    }

    void heard(Node const* key, ChangeAction action, Node const& from) {
        if (action == CA_NODE_DESTROYED) {
            reported.erase(key);
            return;
        }
        if (from.getInhibitUpdateCounter() != 0) {
            faults.push_back("reported while inhibited");
        }
        long long const incarnation = from.getInstanceIncarnation();
        if (incarnation <= reported[key]) {
            faults.push_back("a change reported twice");
        }
        reported[key] = incarnation;
        if (!calm && copies() % 20 == 0) {
            copyAndCompare();
        }
        // Now and then the subscriber acts itself.
        if (calm || nesting >= 2 || !chance(12)) {
            return;
        }
        ++nesting;
        struct Leave {
            int& nesting;
            ~Leave() { --nesting; }
        } const leave{nesting};
        switch (pick(5)) {
        case 0:
            edit();
            break;
        case 3:
            operate();
            break;
        case 1: {
            Ref<Group> const node = anyNode();
            note("{ scope on " + node->name);
            InhibitUpdate const inner(*node);
            edit();
            note("} scope on " + node->name);
            break;
        }
        case 2:
            note("drop a slot");
            pool[pick(pool.size())].reset();
            break;
        default:
            note("throw");
            throw std::runtime_error("subscriber");
        }
    }

    std::vector<NodeRef> someNodes() {
        std::vector<NodeRef> nodes;
        for (std::size_t n = pick(4); n > 0; --n) {
            nodes.push_back(anyNode());
        }
        return nodes;
    }

    std::vector<std::string> trace;
    void note(std::string text) {
        if (std::getenv("TAVEL_GRAPH_TRACE")) {
            trace.push_back(std::string(std::size_t(nesting) * 2, ' ') + text);
        }
    }
    static std::string nameOf(NodeRef const& node) {
        return node ? static_cast<Group const&>(*node).name : "null";
    }
    static std::string names(std::vector<NodeRef> const& nodes) {
        std::string text = "[";
        for (NodeRef const& node : nodes) {
            text += nameOf(node) + " ";
        }
        return text + "]";
    }

    void edit() {
        Ref<Group> const node = anyNode();
        switch (pick(6)) {
        case 0: {
            NodeRef const target = chance(20) ? NodeRef() : NodeRef(anyNode());
            note(node->name + ".link = " + nameOf(target));
            node->link.set(target);
            break;
        }
        case 1: {
            std::vector<NodeRef> const nodes = someNodes();
            note(node->name + ".items = " + names(nodes));
            node->items.set(nodes);
            break;
        }
        case 2: {
            // Short lists: every duplicate reference multiplies the paths.
            if (node->items.getSize() > 3) {
                break;
            }
            std::vector<NodeRef> const nodes = someNodes();
            std::size_t const at = pick(4);
            note(node->name + ".items.insert " + names(nodes) + " at " + std::to_string(at));
            node->items.insertElements(nodes, at);
            break;
        }
        case 3: {
            std::size_t const first = pick(4);
            std::size_t const last = pick(4);
            note(node->name + ".items.erase " + std::to_string(first) + ".." +
                 std::to_string(last));
            node->items.eraseElements(first, last);
            break;
        }
        case 4:
            note(node->name + ".link = self");
            node->link.set(node); // a cycle of one
            break;
        default:
            note(node->name + ".value changes");
            node->value.set(int(random() % 1000));
        }
    }

    // Assign with any flags, or keep two nodes in step over a few edits; from
    // inside a notification also the synchronizer's end. Never inside a scope,
    // and the copies made are dropped after: inhibition counts every path,
    // and copies of dense graphs multiply them.
    void operate() {
        if (!scopes.empty()) {
            return;
        }
        Ref<Group> const target = anyNode();
        Ref<Group> const source = anyNode();
        ++operating;
        struct Done {
            Attack& attack;
            ~Done() {
                if (--attack.operating == 0) {
                    attack.sync.reset();
                    attack.dropCopies();
                }
            }
        } const done{*this};
        if (sync && chance(50)) {
            note("drop the sync");
            sync.reset();
        } else if (sync || chance(50)) {
            int const flags = int(random() % 0x200);
            note(target->name + " assign " + source->name + " " + std::to_string(flags));
            AssignOperator::apply(target, source, flags);
        } else {
            note("sync " + target->name + " " + source->name);
            sync = std::make_unique<NodeSynchronizer>(target, source);
            for (std::size_t n = pick(4); n > 0 && sync; --n) {
                edit();
            }
        }
    }

    // The copy refers to copies only, so the graph's links stay as they were;
    // its cycles are broken afterwards so that it goes.
    void copyAndCompare() {
        Ref<Group> const node = pool[copies() % pool.size()];
        if (!node) {
            return;
        }
        note("copy " + node->name);
        NodeRef const copy = node->copy(nullptr);
        if (!node->compare(copy)) {
            faults.push_back("a copy differs from its source");
        }
        std::vector<NodeRef> pending{copy};
        std::set<Node const*> seen;
        while (!pending.empty()) {
            NodeRef const next = pending.back();
            pending.pop_back();
            auto* const group = dynamic_cast<Group*>(next.get());
            if (group != nullptr && seen.insert(group).second) {
                pending.push_back(group->link.get());
                for (NodeRef const& element : group->items.get()) {
                    pending.push_back(element);
                }
                group->link.set(NodeRef());
                group->items.set({});
            }
        }
    }

    void dropCopies() noexcept {
        bool const wasCalm = std::exchange(calm, true);
        std::vector<Ref<Group>> const made = live();
        std::set<Node const*> known;
        for (Ref<Group> const& node : made) {
            known.insert(node.get());
        }
        for (Ref<Group> const& node : made) {
            bool const refuses = std::exchange(node->refuseRemovals, false);
            try {
                if (known.count(node->link.get().get()) == 0) {
                    node->link.set(NodeRef());
                }
                std::vector<NodeRef> kept;
                for (NodeRef const& element : node->items.get()) {
                    if (known.count(element.get()) != 0) {
                        kept.push_back(element);
                    }
                }
                node->items.set(kept);
            } catch (...) {
            }
            node->refuseRemovals = refuses;
        }
        calm = wasCalm;
    }

    void step() {
        if (copies() % 5 == 0) {
            copyAndCompare();
        }
        switch (pick(10)) {
        case 0: {
            // Levels count once per path: deep nesting over dense cycles grows fast.
            if (scopes.size() >= 4) {
                break;
            }
            Ref<Group> const node = anyNode();
            note("open scope on " + node->name);
            scopes.emplace_back(new InhibitUpdate(*node), node.get());
            break;
        }
        case 1:
            // Scopes end in the order a host's nested scopes end.
            if (!scopes.empty()) {
                InhibitUpdate* const scope = scopes.back().first;
                note("close scope on " + static_cast<Group const*>(scopes.back().second)->name);
                scopes.pop_back();
                delete scope;
            }
            break;
        case 3:
        case 4:
            operate();
            break;
        case 2: {
            Ref<Group> const node = anyNode();
            node->refuseOwners = chance(30);
            node->refuseRemovals = chance(15);
            note(node->name + " refuses " + std::to_string(node->refuseOwners) +
                 std::to_string(node->refuseRemovals));
            break;
        }
        default:
            edit();
        }
    }

    std::vector<Ref<Group>> live() const {
        std::vector<Ref<Group>> nodes;
        for (WeakRef<Group> const& weak : every) {
            if (Ref<Group> node = weak.lock()) {
                nodes.push_back(std::move(node));
            }
        }
        return nodes;
    }

    void check(std::size_t at) {
        std::vector<Ref<Group>> const nodes = live();
        std::map<std::pair<Node const*, Attribute const*>, std::size_t> positions;
        std::map<Node const*, std::size_t> held;
        for (Ref<Group> const& node : nodes) {
            if (NodeRef const target = node->link.get()) {
                ++positions[{target.get(), &node->link}];
                ++held[target.get()];
            }
            for (NodeRef const& target : node->items.get()) {
                ++positions[{target.get(), &node->items}];
                ++held[target.get()];
            }
        }
        for (Ref<Group> const& node : nodes) {
            if (node->getInhibitUpdateCounter() < 0) {
                fail(at, "a negative depth");
            }
        }
        for (Ref<Group> const& node : nodes) {
            for (Ref<Group> const& other : nodes) {
                std::size_t const expected = positions[{node.get(), &other->link}];
                std::size_t const list = positions[{node.get(), &other->items}];
                if (node->countOwnerLinks(other->link) != expected ||
                    node->countOwnerLinks(other->items) != list) {
                    fail(at, "owner links differ from positions");
                }
            }
            if (node->getNumberOfOwnerLinks() != held[node.get()]) {
                fail(at, "an owner link no reference accounts for");
            }
            if (scopes.empty() && node->getInhibitUpdateCounter() != 0) {
                fail(at, "a depth left after every scope closed");
            }
            if (node->getInhibitUpdateCounter() == 0 &&
                reported[node.get()] != node->getInstanceIncarnation()) {
                fail(at, "a change held back with nothing inhibiting it");
            }
        }
        for (std::string const& fault : faults) {
            fail(at, fault);
        }
        faults.clear();
    }

    void fail(std::size_t at, std::string const& what) {
        std::string recent;
        for (std::size_t i = trace.size() > 40 ? trace.size() - 40 : 0; i < trace.size(); ++i) {
            recent += trace[i] + "\n";
        }
        for (Ref<Group> const& node : live()) {
            recent += node->name + " depth " + std::to_string(node->getInhibitUpdateCounter()) +
                      " link " + nameOf(node->link.get()) + " items " + names(node->items.get()) +
                      "\n";
        }
        ADD_FAILURE() << "step " << at << ": " << what << "\n" << recent;
        throw std::logic_error("stop");
    }
};

TEST(GraphInvariant, SurvivesRandomEditsScopesAndReentrantSubscribers) {
    std::size_t steps = 3000;
    if (char const* const configured = std::getenv("TAVEL_GRAPH_STEPS")) {
        steps = std::size_t(std::strtoull(configured, nullptr, 10));
    }
    std::uint64_t const before = Registry::INSTANCE_COUNTER;
    // Hooks that throw while an edit is undone are reported there: quietly.
    CapturedOutput const quiet([](std::u16string const&) {});
    {
        Attack attack;
        attack.pool.resize(6);
        try {
            for (std::size_t at = 0; at < steps; ++at) {
                try {
                    attack.step();
                } catch (std::runtime_error const&) {
                    // Refusals and subscriber exceptions: the graph must stay whole.
                }
                attack.check(at);
            }
        } catch (std::logic_error const&) {
        }
        // Close every scope and break every cycle: then every node must go.
        attack.calm = true;
        while (!attack.scopes.empty()) {
            delete attack.scopes.back().first;
            attack.scopes.pop_back();
        }
        for (long long id = CustomNode::create(nullptr)->getNodeId(); id > 0; --id) {
            if (Ref<Group> const node =
                    norv::basalt::dynamic_ref_cast<Group>(attack.registry->findNode(id))) {
                node->refuseRemovals = false;
                node->link.set(NodeRef());
                node->items.set({});
            }
        }
        attack.pool.clear();
        EXPECT_TRUE(attack.live().empty());
    }
    EXPECT_EQ(Registry::INSTANCE_COUNTER, before);
}

} // namespace
} // namespace Norv::Tavel::testing
