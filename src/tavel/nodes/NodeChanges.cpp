// The change engine of Node: a node's own change, the climb that tells its
// owners, the inhibit passes of InhibitUpdate scopes, and the release of the
// changes a scope held back. Node.cpp keeps identity, registry and attributes.

#include <tavel/nodes/Node.h>

#include "tavel/nodes/NodeInternals.h"

#include <tavel/types/Exceptions.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <utility>
#include <vector>

namespace Norv::Tavel {

using detail::FirstException;
using detail::isHeldByRef;
using detail::KeepAlive;
using detail::Reached;
using norv::basalt::LC_DESTROYING;
using norv::basalt::Ref;

namespace {
// The inhibit pass running on this thread. While it expands a node, the
// node-reference attributes it calls hand the nodes they reach to `collecting`
// instead of walking into them, so the pass is a loop over an explicit stack.
struct InhibitPass {
    int direction;
    std::uint32_t token;
    std::vector<Reached>* collecting = nullptr;
};
thread_local InhibitPass* t_inhibitPass = nullptr;

// The token an attribute's inc/decInhibitUpdateCounter is called with: its
// slots take no argument, so the caller leaves it here; 0 for a direct call.
thread_local std::uint32_t t_attributeToken = 0;
struct TokenForAttributes {
    std::uint32_t outer;
    explicit TokenForAttributes(std::uint32_t token)
        : outer(std::exchange(t_attributeToken, token)) {}
    ~TokenForAttributes() { t_attributeToken = outer; }
    TokenForAttributes(TokenForAttributes const&) = delete;
    TokenForAttributes& operator=(TokenForAttributes const&) = delete;
};

// The change climb running on this thread: owner links still to be told, the
// next one at the back. Nodes that change while it runs add theirs on top, so
// the climb visits owners depth-first in owner-link order, without recursion.
// An entry holds its child (as Reached does) until the owner has been told.
struct PendingClimb {
    Node* child;
    bool held;
    bool structureChanged;
    Attribute const* owning;
    Attribute const* source;
    long long incarnation;
};
// Read on every level of every climb: initial-exec keeps it one load from the
// thread pointer instead of a call. It is one pointer, well inside the static
// TLS a loader keeps for libraries opened later.
__attribute__((tls_model("initial-exec"))) thread_local std::vector<PendingClimb>* t_climb =
    nullptr;

// The thread's work list, kept from climb to climb so that a change allocates
// nothing once it has been as deep as it goes. Reached through an
// initial-exec pointer; the list itself is made on the thread's first climb.
__attribute__((tls_model("initial-exec"))) thread_local std::vector<PendingClimb>* t_workList =
    nullptr;

__attribute__((noinline)) std::vector<PendingClimb>& makeWorkList() {
    static thread_local std::vector<PendingClimb> list;
    t_workList = &list;
    return list;
}

inline std::vector<PendingClimb>& workList() {
    std::vector<PendingClimb>* const list = t_workList;
    return list != nullptr ? *list : makeWorkList();
}

// The change reports running on this thread, and the custom attributes
// removed meanwhile (the list is made on the first), kept until the outermost
// report ends. Read on every notified change: one initial-exec record.
struct Reports {
    int running = 0;
    std::vector<boost::shared_ptr<Attribute>>* removed = nullptr;
};
__attribute__((tls_model("initial-exec"))) thread_local Reports t_reports;

__attribute__((noinline)) void releaseRemovedWhileReported() noexcept {
    std::vector<boost::shared_ptr<Attribute>> removed;
    removed.swap(*std::exchange(t_reports.removed, nullptr));
}

// One change report: the attributes removed while it runs live until the
// outermost one ends.
struct Report {
    Report() noexcept { ++t_reports.running; }
    ~Report() {
        if (--t_reports.running == 0 && t_reports.removed != nullptr) {
            releaseRemovedWhileReported();
        }
    }
    Report(Report const&) = delete;
    Report& operator=(Report const&) = delete;
};

// The steps below pass attributes as plain pointers, which travel in
// registers; the signals and slots take them as optionals.
inline boost::optional<Attribute const&> optionalOf(Attribute const* attribute) {
    return attribute != nullptr ? boost::optional<Attribute const&>(*attribute)
                                : boost::optional<Attribute const&>();
}

// The end of a climb entry's hold, when it ends the node: outside the step
// that tells the owner, which stays small.
__attribute__((noinline)) void releaseLastHold(Node& child) noexcept {
    child.refCounter()->hold();
    // A climb is no place to pass on a destroyed node's subscriber
    // exception: the reference's end reports it.
    Ref<Node> const last(&child);
    child.refCounter()->release();
}

inline void releaseHeld(PendingClimb const& entry) noexcept {
    if (entry.held && entry.child->refCounter()->release() == 0) {
        releaseLastHold(*entry.child);
    }
}

// Adds the node's owning attributes, each once, last to first, so the first
// is told first. One hold keeps the node for all of them: the entry pushed
// first is told last, and it carries the hold.
template <class Owners>
inline void pushOwners(std::vector<PendingClimb>& pending, Node& node, Owners const& owners,
                       bool structureChanged, Attribute const* source, long long incarnation) {
    bool held = isHeldByRef(node);
    if (held) {
        node.refCounter()->hold();
    }
    for (std::size_t i = owners.size(); i-- > 0;) {
        if (i > 0 && owners[i - 1].attribute == owners[i].attribute) {
            continue;
        }
        pending.push_back(
            PendingClimb{&node, held, structureChanged, owners[i].attribute, source, incarnation});
        held = false;
    }
}

} // namespace

using Internals = detail::NodeInternals;

// ---------------------------------------------------------------------------
// Changes

// The steps every change takes up the hierarchy are inline in the steps that
// call them, so a climb passes each node in one frame. What calls out (the
// signal, the outermost climb) stays out of line.
namespace {
__attribute__((noinline)) void emitHierarchical(HierarchicalChangeSignal const& signal, Node& node,
                                                Attribute const* source, bool structureChanged) {
    signal(node, optionalOf(source), structureChanged);
}
} // namespace

inline void Internals::notifyHierarchy(Node& node, Attribute const* source, bool structureChanged,
                                       long long incarnation) {
    // The pointers are read again after every emission: a subscriber may have
    // ended a subscription or changed the owners.
    if (node.m_hierarchicalSignal != nullptr) {
        emitHierarchical(*node.m_hierarchicalSignal, node, source, structureChanged);
    }
    if (node.m_owners.empty()) {
        return;
    }
    if (std::vector<PendingClimb>* const running = t_climb) {
        pushOwners(*running, node, node.m_owners, structureChanged, source, incarnation);
        return;
    }
    climb(node, structureChanged, source, incarnation);
}

inline void Internals::hierarchicalChange(Node& node, Attribute const* source,
                                          bool structureChanged, long long incarnation) {
    if (incarnation <= node.m_subHierarchyIncarnation) {
        return;
    }
    node.m_subHierarchyIncarnation = incarnation;
    if (node.m_inhibitUpdateCounter != 0) {
        // Deferred, never dropped: told once the node's inhibition ends.
        node.m_hierarchyPending = true;
        node.m_hierarchyPendingFlag = node.m_hierarchyPendingFlag || structureChanged;
        return;
    }
    if (node.m_hierarchicalSignal != nullptr || !node.m_owners.empty()) {
        notifyHierarchy(node, source, structureChanged, incarnation);
    }
}

void Node::postAttributeChange(ChangeAction action, boost::optional<Attribute const&> attribute,
                               boost::optional<Attribute const&> source, bool structureChanged,
                               long long const& incarnation) {
    postChange(action, attribute, source, structureChanged, incarnation);
}

void Node::signalPostAttributeChange(ChangeAction action, Attribute& attribute,
                                     bool structureChanged, long long const& incarnation) {
    attribute.postChange(action, structureChanged, boost::optional<Attribute const&>(attribute),
                         incarnation);
}

void Node::postChange(ChangeAction action, boost::optional<Attribute const&> attribute,
                      boost::optional<Attribute const&> source, bool structureChanged,
                      long long const& incarnation) {
    // Each case is one call, so this slot needs no frame of its own.
    if (action == CA_CHILD_CHANGED && m_hierarchicalSignal == nullptr) {
        Internals::unwatchedChildChange(*this, source.get_ptr(), structureChanged, incarnation);
        return;
    }
    if (action == CA_VALUE_CHANGED) {
        Internals::valueChange(*this, action, attribute.get_ptr(), source.get_ptr(),
                               structureChanged, incarnation);
        return;
    }
    Internals::postChangeWatched(*this, action, attribute.get_ptr(), source.get_ptr(),
                                 structureChanged, incarnation);
}

// The step of a climb through a node nobody watches directly: nothing it calls
// can drop the node, so it needs no hold.
__attribute__((noinline)) void Internals::unwatchedChildChange(Node& node, Attribute const* source,
                                                               bool structureChanged,
                                                               long long incarnation) {
    if (node.getLifeCycle() != LC_DESTROYING) {
        hierarchicalChange(node, source, structureChanged, incarnation);
    }
}

// An own change that needs no extra step: a value change, the commonest
// report, comes here straight, out of the larger dispatch.
void Internals::valueChange(Node& node, ChangeAction action, Attribute const* attribute,
                            Attribute const* source, bool structureChanged, long long incarnation) {
    if (node.getLifeCycle() == LC_DESTROYING) {
        return;
    }
    bool const notifies = node.m_inhibitUpdateCounter == 0 &&
                          (node.m_nodeChangeSignal != nullptr ||
                           node.m_hierarchicalSignal != nullptr || !node.m_owners.empty());
    KeepAlive const keepAlive(node, notifies);
    Report const report;
    ownChange(node, action, attribute, structureChanged, incarnation);
    hierarchicalChange(node, source, structureChanged, incarnation);
}

void Internals::keepWhileReported(boost::shared_ptr<Attribute> const& attribute) {
    if (t_reports.running == 0) {
        return;
    }
    static thread_local std::vector<boost::shared_ptr<Attribute>> removed;
    removed.push_back(attribute);
    t_reports.removed = &removed;
}

void Internals::postChangeWatched(Node& node, ChangeAction action, Attribute const* attribute,
                                  Attribute const* source, bool structureChanged,
                                  long long incarnation) {
    if (node.getLifeCycle() == LC_DESTROYING) {
        return;
    }
    switch (action) {
    case CA_ATTRIBUTE_ADDED:
    case CA_ATTRIBUTE_REMOVING: {
        // Passing inhibition on may release nodes below, whose subscribers may drop this one.
        KeepAlive const keepAlive(node, true);
        Report const report;
        if (attribute != nullptr &&
            (action == CA_ATTRIBUTE_REMOVING || node.m_inhibitUpdateCounter != 0)) {
            syncInhibition(node, *attribute, action == CA_ATTRIBUTE_ADDED);
        }
        ownChange(node, action, attribute, structureChanged, incarnation);
        hierarchicalChange(node, source, structureChanged, incarnation);
        return;
    }
    case CA_UPDATES_RELEASED:
        if (node.m_changePending) {
            KeepAlive const keepAlive(node, true);
            node.m_changePending = false;
            node.m_pendingFlag = false;
            node.m_hierarchyPending = false;
            node.m_hierarchyPendingFlag = false;
            if (node.m_nodeChangeSignal != nullptr) {
                (*node.m_nodeChangeSignal)(CA_UPDATES_RELEASED, node, optionalOf(attribute));
            }
            notifyHierarchy(node, source, structureChanged, incarnation);
            return;
        }
        break;
    case CA_CHILD_CHANGED: {
        // The hierarchical subscribers may drop this node while the climb goes on.
        KeepAlive const keepAlive(node, node.m_inhibitUpdateCounter == 0 &&
                                            node.m_hierarchicalSignal != nullptr);
        hierarchicalChange(node, source, structureChanged, incarnation);
        return;
    }
    default:
        break;
    }
    valueChange(node, action, attribute, source, structureChanged, incarnation);
}

// Inline in the steps that report, which stay one frame each.
__attribute__((always_inline)) inline void Internals::ownChange(Node& node, ChangeAction action,
                                                                Attribute const* attribute,
                                                                bool structureChanged,
                                                                long long incarnation) {
    if (incarnation <= node.m_instanceIncarnation) {
        return;
    }
    node.m_instanceIncarnation = incarnation;
    if (node.m_inhibitUpdateCounter != 0 || node.m_nodeChangeSignal == nullptr) {
        node.m_changePending = true;
        node.m_pendingFlag = node.m_pendingFlag || structureChanged;
        return;
    }
    // Cleared first, so a throwing subscriber leaves nothing half-reported.
    node.m_changePending = false;
    node.m_pendingFlag = false;
    (*node.m_nodeChangeSignal)(action, node, optionalOf(attribute));
}

// A held-back own change is reported as CA_UPDATES_RELEASED, to node change
// subscribers and then up the hierarchy; a change from below alone only up
// the hierarchy. Either way the hierarchy hears once.
void Internals::releasePendingChanges(Node& node) {
    bool const structure = node.m_pendingFlag || node.m_hierarchyPendingFlag;
    if (node.m_changePending) {
        node.postChange(CA_UPDATES_RELEASED, boost::none, boost::none, structure,
                        node.m_subHierarchyIncarnation);
        return;
    }
    if (!node.m_hierarchyPending || node.getLifeCycle() == LC_DESTROYING) {
        return;
    }
    KeepAlive const keepAlive(node, true);
    node.m_hierarchyPending = false;
    node.m_hierarchyPendingFlag = false;
    notifyHierarchy(node, nullptr, structure, node.m_subHierarchyIncarnation);
}

void Node::passToOwner(Attribute const& owning, bool structureChanged,
                       boost::optional<Attribute const&> source, long long incarnation) {
    const_cast<Attribute&>(owning).postChange(CA_CHILD_CHANGED, structureChanged, source,
                                              incarnation);
}

void Internals::climb(Node& node, bool structureChanged, Attribute const* source,
                      long long incarnation) {
    std::vector<PendingClimb>& pending = workList();
    pushOwners(pending, node, node.m_owners, structureChanged, source, incarnation);
    struct Active {
        std::vector<PendingClimb>& climb;
        explicit Active(std::vector<PendingClimb>& list) : climb(list) { t_climb = &climb; }
        ~Active() {
            t_climb = nullptr;
            // Left over only when a subscriber threw: released outside the
            // list, as releasing may start a climb of its own.
            if (!climb.empty()) {
                std::vector<PendingClimb> rest;
                rest.swap(climb);
                for (PendingClimb const& entry : rest) {
                    releaseHeld(entry);
                }
            }
        }
    } const active(pending);
    while (!pending.empty()) {
        PendingClimb const next = pending.back();
        pending.pop_back();
        struct Release {
            PendingClimb const& entry;
            ~Release() { releaseHeld(entry); }
        } const release{next};
        // The link may have gone while earlier owners were told.
        if (hasLink(*next.child, next.owning)) {
            Node::passToOwner(*next.owning, next.structureChanged, optionalOf(next.source),
                              next.incarnation);
        }
    }
}

std::pair<Node::Owners::const_iterator, Node::Owners::const_iterator>
Internals::linksOf(Node const& node, Attribute const* attribute) {
    struct ByAttribute {
        bool operator()(Node::OwnerLink const& link, Attribute const* key) const {
            return std::less<Attribute const*>()(link.attribute, key);
        }
        bool operator()(Attribute const* key, Node::OwnerLink const& link) const {
            return std::less<Attribute const*>()(key, link.attribute);
        }
    };
    return std::equal_range(node.m_owners.begin(), node.m_owners.end(), attribute, ByAttribute());
}

std::size_t Node::countOwnerLinks(Attribute const& attribute) const {
    auto const range = Internals::linksOf(*this, &attribute);
    return std::size_t(range.second - range.first);
}

// ---------------------------------------------------------------------------
// Inhibition

std::uint32_t Internals::currentToken() {
    return t_attributeToken;
}

void Internals::syncInhibition(Node& node, Attribute const& attribute, bool keep) {
    // A custom attribute's id is its key: no walk of every attribute.
    if (!attribute.hasOwner() || &attribute.getOwner() != &node) {
        return;
    }
    long long const key = attribute.getID();
    if (key < 0 && node.customAttribute(key) == &attribute) {
        syncInhibition(node, key, keep);
    }
}

void Internals::syncInhibition(Node& node, long long key, bool keep) {
    // The entry is looked up afresh after every step: a step may release nodes
    // below, whose subscribers may add or remove this node's attributes.
    static detail::InhibitLevels const none;
    for (;;) {
        auto const found = node.m_customAttributes.find(key);
        if (found == node.m_customAttributes.end() || found->second.attribute == nullptr) {
            return;
        }
        detail::InhibitLevels& applied = found->second.inhibitLevels;
        detail::InhibitLevels const& wanted = keep ? node.m_inhibitLevels : none;
        boost::shared_ptr<Attribute> const attribute = found->second.attribute;
        std::uint32_t token = 0;
        bool raising = true;
        if (applied.firstMissingFrom(wanted, token)) {
            applied.add(token);
        } else if (wanted.firstMissingFrom(applied, token)) {
            applied.remove(token);
            raising = false;
        } else {
            return;
        }
        TokenForAttributes const given(token);
        if (raising) {
            attribute->incInhibitUpdateCounter();
        } else {
            attribute->decInhibitUpdateCounter();
        }
    }
}

void Internals::syncAllInhibition(Node& node, bool keep) {
    FirstException failure;
    auto& attributes = node.m_customAttributes;
    for (auto it = attributes.begin(); it != attributes.end();) {
        long long const key = it->first;
        failure.attempt([&] { syncInhibition(node, key, keep); });
        it = attributes.upper_bound(key);
    }
    failure.rethrow();
}

void Node::incInhibitUpdateCounter() {
    Internals::raise(*this, Internals::currentToken());
}

void Node::decInhibitUpdateCounter() {
    Internals::lower(*this, Internals::currentToken());
}

bool Internals::raise(Node& node, std::uint32_t token) {
    InhibitPass* const pass = t_inhibitPass;
    if (pass != nullptr && pass->collecting != nullptr && pass->direction > 0) {
        // Reached from a node the pass is expanding: raised now, entered later.
        // A depth at its limit takes no further level (and the reference
        // records none), so it can never wrap round.
        if (node.m_onInhibitPath ||
            node.m_inhibitUpdateCounter == std::numeric_limits<std::int32_t>::max()) {
            return false;
        }
        ++node.m_inhibitUpdateCounter;
        node.m_inhibitLevels.add(token);
        pass->collecting->emplace_back(node);
        return true;
    }
    if (node.m_inhibitUpdateCounter == std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    runInhibitPass(node, +1, token);
    return true;
}

bool Internals::raiseEntering(Node& node, Node* owner, std::uint32_t token) {
    if (owner == &node || node.m_inhibitUpdateCounter == std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    // The owner counts as on the path: the raise does not come round to it.
    bool const marked = owner != nullptr && !owner->m_onInhibitPath;
    if (marked) {
        owner->m_onInhibitPath = true;
    }
    struct Unmark {
        Node* owner;
        ~Unmark() {
            if (owner != nullptr) {
                owner->m_onInhibitPath = false;
            }
        }
    } const unmark{marked ? owner : nullptr};
    runInhibitPass(node, +1, token);
    return true;
}

void Internals::lower(Node& node, std::uint32_t token) {
    if (node.m_inhibitUpdateCounter == 0) {
        return;
    }
    InhibitPass* const pass = t_inhibitPass;
    if (pass != nullptr && pass->collecting != nullptr && pass->direction < 0) {
        // Reached from a node the pass is expanding: lowered once everything
        // below it has been, as a recursive walk would.
        pass->collecting->emplace_back(node);
        return;
    }
    runInhibitPass(node, -1, token);
}

// A pass walks the graph depth-first with an explicit stack, handing its
// token down. Raising skips a node met again on the path that leads to it (a
// cycle), and that reference records no level; lowering follows only the
// references that hold a level of the token, so it takes away exactly what
// was raised, and may meet a node again on its path when a cycle was closed
// inside the scope. A diamond is inhibited once per path to its lower node:
// that is the rule.
void Internals::runInhibitPass(Node& root, int direction, std::uint32_t token) {
    struct Frame {
        explicit Frame(Reached node) : reached(std::move(node)) {}
        Reached reached;
        std::vector<Reached> children;
        std::size_t next = 0;
    };
    InhibitPass pass{direction, token};
    std::vector<Frame> stack;
    struct Scope {
        InhibitPass& pass;
        InhibitPass* outer;
        std::vector<Frame>& stack;
        Scope(InhibitPass& running, std::vector<Frame>& frames)
            : pass(running), outer(std::exchange(t_inhibitPass, &running)), stack(frames) {}
        ~Scope() {
            t_inhibitPass = outer;
            if (pass.direction > 0) {
                for (Frame const& frame : stack) {
                    frame.reached.node->m_onInhibitPath = false;
                }
            }
        }
    } const scope(pass, stack);

    FirstException failure;
    if (direction > 0) {
        ++root.m_inhibitUpdateCounter;
        root.m_inhibitLevels.add(token);
    }
    stack.emplace_back(Reached(root));
    expandForInhibition(root, direction, token, stack.back().children, failure);
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next < top.children.size()) {
            Reached child = std::move(top.children[top.next++]);
            Node& node = *child.node;
            stack.emplace_back(std::move(child));
            expandForInhibition(node, direction, token, stack.back().children, failure);
            continue;
        }
        Node& node = *top.reached.node;
        if (direction > 0) {
            node.m_onInhibitPath = false;
        }
        Reached const finished = std::move(top.reached);
        stack.pop_back();
        if (direction < 0) {
            finishLowering(node, token, failure);
        }
    }
    failure.rethrow();
}

void Internals::expandForInhibition(Node& node, int direction, std::uint32_t token,
                                    std::vector<Reached>& children, FirstException& failure) {
    if (direction > 0) {
        node.m_onInhibitPath = true;
    }
    InhibitPass& pass = *t_inhibitPass;
    // Only the attribute calls below collect; whatever else runs meanwhile
    // (a subscriber) starts passes of its own.
    struct Collecting {
        InhibitPass& pass;
        TokenForAttributes given;
        Collecting(InhibitPass& p, std::vector<Reached>& into) : pass(p), given(p.token) {
            pass.collecting = &into;
        }
        ~Collecting() { pass.collecting = nullptr; }
    };
    auto const& sequence = node.m_specification->attributes.get<0>();
    // Fixed entries are never erased, so the position survives whatever an attribute does.
    // Fixed entries come first; the node's own custom attributes follow below.
    for (auto it = sequence.begin(); it != sequence.end() && !it->isCustom(); ++it) {
        Attribute& attribute = node.fixedAttribute(*it);
        Collecting const collecting(pass, children);
        failure.attempt([&] {
            if (direction > 0) {
                attribute.incInhibitUpdateCounter();
            } else {
                attribute.decInhibitUpdateCounter();
            }
        });
    }
    auto& attributes = node.m_customAttributes;
    for (auto it = attributes.begin(); it != attributes.end();) {
        long long const key = it->first;
        auto& entry = it->second;
        if (entry.attribute == nullptr) {
            ++it;
            continue;
        }
        bool const applies = direction > 0 ? (entry.inhibitLevels.add(token), true)
                                           : entry.inhibitLevels.remove(token);
        if (applies) {
            boost::shared_ptr<Attribute> const attribute = entry.attribute;
            Collecting const collecting(pass, children);
            failure.attempt([&] {
                if (direction > 0) {
                    attribute->incInhibitUpdateCounter();
                } else {
                    attribute->decInhibitUpdateCounter();
                }
            });
        }
        it = attributes.upper_bound(key);
    }
}

void Internals::finishLowering(Node& node, std::uint32_t token, FirstException& failure) {
    // Lowering may release the node and run its subscribers, who may drop it.
    KeepAlive const keepAlive(node, true);
    if (!node.m_inhibitLevels.remove(token)) {
        return;
    }
    --node.m_inhibitUpdateCounter;
    // Attributes added or inhibited anew while the pass ran are brought in line.
    failure.attempt([&] { syncAllInhibition(node, true); });
    if (node.m_inhibitUpdateCounter == 0) {
        failure.attempt([&] { releasePendingChanges(node); });
    }
}

InhibitUpdate::InhibitUpdate(Node& node)
    : m_node(node), m_uncaughtExceptions(std::uncaught_exceptions()) {
    if (isHeldByRef(node)) {
        m_keepAlive = Ref<Node>(&node);
    }
    // Tokens name scopes; 0 stays for direct calls.
    static std::uint32_t s_lastToken = 0;
    m_token = ++s_lastToken == 0 ? ++s_lastToken : s_lastToken;
    Internals::raise(m_node, m_token);
}

InhibitUpdate::~InhibitUpdate() noexcept(false) {
    FirstException failure;
    failure.attempt([&] { Internals::lower(m_node, m_token); });
    // Left by an exception, the hold goes with the member, which reports what
    // the node's subscribers throw.
    if (std::uncaught_exceptions() <= m_uncaughtExceptions) {
        failure.attempt([&] { m_keepAlive.reset(); });
        failure.rethrow();
    }
}

} // namespace Norv::Tavel
