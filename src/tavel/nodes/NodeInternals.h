#pragma once
// Internal to the library: the guards every operation that calls out uses, and
// the notification and inhibition steps of Node. Declared here so that the
// node-reference attributes reach the same steps the node uses, and the calls
// among them stay inside the library, where they can be inlined.

#include <tavel/nodes/Node.h>

#include <basalt/RefCounting.h>

#include <exception>
#include <string>
#include <utility>
#include <vector>

namespace Norv::Tavel::detail {

inline bool isHeldByRef(Node const& node) {
    norv::basalt::RefCounter const* const counter = node.refCounter();
    return counter->getLifeCycle() == norv::basalt::LC_REFERENCED && counter->getStrongCount() > 0;
}

// Runs every step even when one throws, then rethrows the first exception.
class FirstException {
public:
    template <class F> void attempt(F&& step) {
        try {
            step();
        } catch (...) {
            keep(std::current_exception());
        }
    }
    void keep(std::exception_ptr failure) {
        if (!m_first) {
            m_first = std::move(failure);
        }
    }
    void rethrow() const {
        if (m_first) {
            std::rethrow_exception(m_first);
        }
    }

private:
    std::exception_ptr m_first;
};

// Writes what went wrong where no caller can hear of it (a hook that throws
// while an edit is undone) to the debug-output channel.
void reportIgnoredFailure(char const* where) noexcept;

// Drops the last strong reference to a node, which ends it. Its subscribers'
// exception is passed on unless another one is already on its way; then it
// is reported on the debug-output channel.
void releaseLast(Node& node);

// Holds a strong reference while a node notifies, so that a subscriber dropping
// the last one cannot free the node under the running operation. Nodes not yet
// handed to a Ref, and nodes being destroyed, are not held. It sits on the path
// of every notified set, so it costs three counter calls and nothing more.
class KeepAlive {
public:
    KeepAlive(Node& node, bool needed) : KeepAlive(needed ? &node : nullptr) {}
    // Holds `node` when there is one.
    explicit KeepAlive(Node* node) {
        if (node != nullptr && isHeldByRef(*node)) {
            node->refCounter()->hold();
            m_node = node;
        }
    }
    ~KeepAlive() noexcept(false) {
        if (m_node != nullptr && m_node->refCounter()->release() == 0) {
            // The last reference went meanwhile: a Ref ends the node properly.
            m_node->refCounter()->hold();
            releaseLast(*m_node);
        }
    }
    KeepAlive(KeepAlive const&) = delete;
    KeepAlive& operator=(KeepAlive const&) = delete;

private:
    Node* m_node = nullptr;
};

// A node reached by a walk, held (like KeepAlive, but movable) where it can
// be, so a subscriber cannot free it while the walk still has it in hand.
struct Reached {
    Node* node;
    bool held = false;

    explicit Reached(Node& reached) : node(&reached), held(isHeldByRef(reached)) {
        if (held) {
            node->refCounter()->hold();
        }
    }
    Reached(Reached&& other) noexcept : node(other.node), held(std::exchange(other.held, false)) {}
    Reached(Reached const& other) : Reached(*other.node) {}
    Reached& operator=(Reached other) noexcept {
        std::swap(node, other.node);
        std::swap(held, other.held);
        return *this;
    }
    ~Reached() {
        if (held && node->refCounter()->release() == 0) {
            node->refCounter()->hold();
            // A walk is no place to pass on a destroyed node's subscriber
            // exception: the reference's end reports it.
            norv::basalt::Ref<Node> const last(node);
            node->refCounter()->release();
        }
    }
};

// The notification and inhibition steps of Node.
struct NodeInternals {
    using OptionalAttribute = boost::optional<Attribute const&>;

    static void checkNotDestroying(Node const& node);
    // Node::postChange for every change but a climb through an unwatched node.
    static void postChangeWatched(Node& node, ChangeAction action, Attribute const* attribute,
                                  Attribute const* source, bool structureChanged,
                                  long long incarnation);
    // A change from below reaching a node with no hierarchical subscriber.
    static void unwatchedChildChange(Node& node, Attribute const* source, bool structureChanged,
                                     long long incarnation);
    static void valueChange(Node& node, ChangeAction action, Attribute const* attribute,
                            Attribute const* source, bool structureChanged, long long incarnation);
    static void ownChange(Node& node, ChangeAction action, Attribute const* attribute,
                          bool structureChanged, long long incarnation);
    static void hierarchicalChange(Node& node, Attribute const* source, bool structureChanged,
                                   long long incarnation);
    static void releasePendingChanges(Node& node);
    static void notifyHierarchy(Node& node, Attribute const* source, bool structureChanged,
                                long long incarnation);
    // A custom attribute just removed from its node: while a change is being
    // reported on this thread, the report may still hand it on (to the next
    // subscriber, up the hierarchy), so it is kept, standing alone, until the
    // outermost report ends.
    static void keepWhileReported(boost::shared_ptr<Attribute> const& attribute);
    // The outermost climb of this thread, from `node` up through every owner.
    static void climb(Node& node, bool structureChanged, Attribute const* source,
                      long long incarnation);
    // Brings the inhibit levels this node applied to one or to every custom
    // attribute in line with the node's own (keep), or takes them all away.
    static void syncInhibition(Node& node, long long key, bool keep);
    static void syncInhibition(Node& node, Attribute const& attribute, bool keep);
    static void syncAllInhibition(Node& node, bool keep);
    static void dropSignals(Node& node) noexcept;

    // The token of the running pass while it calls an attribute; else 0.
    static std::uint32_t currentToken();
    // Raises the node once for `token`: false when the running pass already
    // has the node on its path (a cycle), so nothing was applied.
    static bool raise(Node& node, std::uint32_t token);
    // As raise, for a node entering an attribute of `owner`: false for the
    // owner itself, and the pass treats the owner as on its path.
    static bool raiseEntering(Node& node, Node* owner, std::uint32_t token);
    // Takes one level of `token` away from the node, if it holds one.
    static void lower(Node& node, std::uint32_t token);
    // One inhibit pass (raise or lower) from `root` through everything below.
    static void runInhibitPass(Node& root, int direction, std::uint32_t token);
    static void expandForInhibition(Node& node, int direction, std::uint32_t token,
                                    std::vector<Reached>& children, FirstException& failure);
    static void finishLowering(Node& node, std::uint32_t token, FirstException& failure);

    // Removes one owner link through the node's removeOwner; a hook that
    // throws is reported and the link goes all the same.
    static void unlinkOwner(Node& node, Node const& owner, Attribute const& attribute) noexcept;
    // Removes a link that addOwner may have made before it threw.
    static void dropLinkAddedBy(Node& node, Node const& owner, Attribute const& attribute,
                                std::size_t linksBefore) noexcept;

    // Adds (+1) or removes (-1) every registry link that crosses between this
    // node's registry and the registries of its owners and of the nodes it
    // refers to.
    static void countRegistryLinks(Node& node, int delta);
    static void countLink(Registry& superior, Registry& depending, int delta);

    // Calls `visit` with each owner in owner-link order until it returns true.
    // The owner may change the links (its class test is virtual): they are
    // read afresh by index.
    template <class Visit> static void forEachOwner(Node const& node, Visit const& visit) {
        for (std::size_t i = 0; i < node.m_owners.size(); ++i) {
            if (visit(*node.m_owners[i].owner)) {
                return;
            }
        }
    }
    // The links of `attribute`, as a range of the node's owner list.
    static std::pair<Node::Owners::const_iterator, Node::Owners::const_iterator>
    linksOf(Node const& node, Attribute const* attribute);
    static bool hasLink(Node const& node, Attribute const* attribute) {
        // Most nodes have a few owners: a scan beats the binary search then.
        Node::Owners const& owners = node.m_owners;
        if (owners.size() <= 8) {
            for (Node::OwnerLink const& link : owners) {
                if (link.attribute == attribute) {
                    return true;
                }
            }
            return false;
        }
        auto const range = linksOf(node, attribute);
        return range.first != range.second;
    }
    static Node const* findParent(Node const& node, norv::basalt::Uuid const& classId, bool exact);
    static Node const* findAncestor(Node const& node, norv::basalt::Uuid const& classId);
};

} // namespace Norv::Tavel::detail
