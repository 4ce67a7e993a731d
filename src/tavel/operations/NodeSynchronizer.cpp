#include <tavel/operations/NodeSynchronizer.h>

#include "tavel/operations/OperationSupport.h"

#include <tavel/operations/CompareTraverser.h>
#include <tavel/operations/CopyTraverser.h>

#include <functional>
#include <set>
#include <utility>

namespace Norv::Tavel {

using norv::basalt::LC_DESTROYING;
using norv::basalt::Ref;
using norv::basalt::WeakRef;
using norv::basalt::signal::Connection;
using detail::SingleNodeAttribute;
using detail::typed;

namespace {

// Same classes, same attribute names and types throughout.
constexpr int MATCH_FLAGS = CompareTraverser::COMPARE_NAMES | CompareTraverser::COMPARE_CLASS_IDS;
// What Node::copy passes: every property and kind of attribute.
constexpr int COPY_FLAGS = 0x0F;

// Blocks both subscriptions for the life of the scope, and unblocks them
// however it ends, unless the synchronizer went away meanwhile (its
// subscriptions ended with it).
class BlockedScope {
public:
    BlockedScope(Connection& first, Connection& second, bool const& alive)
        : m_first(first), m_second(second), m_alive(alive) {
        m_first.block();
        m_second.block();
    }
    ~BlockedScope() {
        if (m_alive) {
            m_first.unblock();
            m_second.unblock();
        }
    }
    BlockedScope(BlockedScope const&) = delete;
    BlockedScope& operator=(BlockedScope const&) = delete;

private:
    Connection& m_first;
    Connection& m_second;
    bool const& m_alive;
};

// The node's attribute of that name and type, or null: a missing one or one
// of another type is skipped, never cast.
Attribute* matching(Node& node, QString const& name, AttributeType type) {
    boost::optional<Attribute&> const found = node.getAttribute(name);
    if (!found || found->getAttributeType() != type) {
        return nullptr;
    }
    return &*found;
}

// A pair of nodes in either order.
using PairKey = std::pair<Node const*, Node const*>;

PairKey keyOf(Node const* a, Node const* b) {
    return std::less<Node const*>()(a, b) ? PairKey(a, b) : PairKey(b, a);
}

WeakRef<Node> weakly(Ref<Node> const& node) {
    return node ? WeakRef<Node>(node) : WeakRef<Node>();
}

} // namespace

NodeSynchronizer::NodeSynchronizer(Ref<Node> first, Ref<Node> second)
    : NodeSynchronizer(first, second, nullptr) {
    connect();
}

NodeSynchronizer::NodeSynchronizer(Ref<Node> const& first, Ref<Node> const& second,
                                   NodeSynchronizer* parent)
    : m_firstItem(weakly(first)), m_secondItem(weakly(second)), m_firstNode(first.get()),
      m_secondNode(second.get()), m_parent(parent), m_alive(std::make_shared<bool>(true)) {}

NodeSynchronizer::~NodeSynchronizer() {
    *m_alive = false;
    disconnect();
}

bool NodeSynchronizer::isConnected() const {
    return m_firstConnection.isConnected() && m_secondConnection.isConnected();
}

Ref<Node> NodeSynchronizer::getFirstItem() const {
    return m_firstItem.lock();
}

Ref<Node> NodeSynchronizer::getSecondItem() const {
    return m_secondItem.lock();
}

void NodeSynchronizer::setFirstItem(Ref<Node> node) {
    m_firstItem = weakly(node);
    m_firstNode = node.get();
    disconnect();
}

void NodeSynchronizer::setSecondItem(Ref<Node> node) {
    m_secondItem = weakly(node);
    m_secondNode = node.get();
    disconnect();
}

void NodeSynchronizer::setIgnoreAttributeNames(std::vector<QString> const& names) {
    m_ignoreAttributeNames.clear();
    for (QString const& name : names) {
        m_ignoreAttributeNames.insert(name);
    }
}

// ---------------------------------------------------------------------------
// Connecting

void NodeSynchronizer::disconnect() {
    // The whole tree below is taken apart level by level, then destroyed:
    // childless synchronizers only end their own subscriptions.
    std::vector<std::unique_ptr<NodeSynchronizer>> doomed;
    for (auto& child : m_children) {
        doomed.push_back(std::move(child.second));
    }
    m_children.clear();
    for (std::size_t i = 0; i < doomed.size(); ++i) {
        NodeSynchronizer* const sync = doomed[i].get();
        for (auto& child : sync->m_children) {
            doomed.push_back(std::move(child.second));
        }
        sync->m_children.clear();
    }
    doomed.clear();
    m_firstConnection.disconnect();
    m_secondConnection.disconnect();
}

void NodeSynchronizer::connect() {
    disconnect();
    if (subscribe(false)) {
        buildChildren();
    }
}

bool NodeSynchronizer::subscribe(bool covered) {
    Ref<Node> const first = m_firstItem.lock();
    Ref<Node> const second = m_secondItem.lock();
    if (!first || !second) {
        return false;
    }
    if (!covered) {
        std::shared_ptr<bool> const alive = m_alive;
        bool const match = CompareTraverser::compare(first, second, MATCH_FLAGS);
        // The compare hooks may have dropped this synchronizer or its nodes.
        if (!*alive || !match || !m_firstItem.lock() || !m_secondItem.lock()) {
            return false;
        }
    }
    auto slot = [this](ChangeAction action, Node const& node,
                       boost::optional<Attribute const&> attribute) {
        onNodeChanged(action, node, attribute);
    };
    Connection firstConnection = first->subscribeForNodeChangeNotification(slot);
    try {
        m_secondConnection = second->subscribeForNodeChangeNotification(slot);
    } catch (...) {
        firstConnection.disconnect();
        throw;
    }
    m_firstConnection = firstConnection;
    return true;
}

struct NodeSynchronizer::Build {
    struct Step {
        NodeSynchronizer* sync;
        std::shared_ptr<bool> alive;
        PairKey key;
        bool leave; // the synchronizer's children are done
    };
    std::vector<Step> steps;
    // The pairs of the synchronizers enclosing the one being expanded, and its own.
    std::multiset<PairKey> path;
};

void NodeSynchronizer::buildChildren() {
    Build build;
    for (NodeSynchronizer const* sync = m_parent; sync != nullptr; sync = sync->m_parent) {
        build.path.insert(keyOf(sync->m_firstNode, sync->m_secondNode));
    }
    build.steps.push_back({this, m_alive, keyOf(m_firstNode, m_secondNode), false});
    std::shared_ptr<bool> const alive = m_alive;
    while (!build.steps.empty() && *alive) {
        Build::Step step = std::move(build.steps.back());
        build.steps.pop_back();
        if (step.leave) {
            build.path.erase(build.path.find(step.key));
            continue;
        }
        if (!*step.alive) {
            continue;
        }
        build.path.insert(step.key);
        build.steps.push_back({step.sync, step.alive, step.key, true});
        step.sync->addChildren(build);
    }
}

void NodeSynchronizer::addChildren(Build& build) {
    Ref<Node> const first = m_firstItem.lock();
    Ref<Node> const second = m_secondItem.lock();
    if (!first || !second || !isConnected()) {
        return;
    }
    // Names first: making a child runs compare hooks, which may edit the node.
    struct Candidate {
        QString name;
        bool covered;
    };
    std::vector<Candidate> candidates;
    for (auto it = first->begin(); it != first->end(); ++it) {
        if (it->getAttributeType() == AT_S_NODE_PTR) {
            // The compare that connected this pair walked into its fixed,
            // non-instance references: those pairs match already.
            candidates.push_back({it->getAttributeName(), !it->isCustom() && !it->isInstanceData()});
        }
    }
    std::shared_ptr<bool> const alive = m_alive;
    for (Candidate const& candidate : candidates) {
        Attribute* const from = matching(*first, candidate.name, AT_S_NODE_PTR);
        Attribute* const to = matching(*second, candidate.name, AT_S_NODE_PTR);
        if (from == nullptr || to == nullptr) {
            continue;
        }
        NodeRef const r1 = typed<SingleNodeAttribute>(*from).get();
        NodeRef const r2 = typed<SingleNodeAttribute>(*to).get();
        PairKey const key = keyOf(r1.get(), r2.get());
        if (!r1 || !r2 || r1 == r2 || build.path.count(key) != 0) {
            continue;
        }
        NodeSynchronizer* const child = makeChild(candidate.name, r1, r2, candidate.covered);
        if (!*alive) {
            return;
        }
        if (child != nullptr && child->isConnected()) {
            build.steps.push_back({child, child->m_alive, key, false});
        }
    }
}

NodeSynchronizer* NodeSynchronizer::makeChild(QString const& name, NodeRef const& first,
                                              NodeRef const& second, bool covered) {
    std::unique_ptr<NodeSynchronizer> made(new NodeSynchronizer(first, second, this));
    NodeSynchronizer* const child = made.get();
    std::shared_ptr<bool> const childAlive = child->m_alive;
    m_children[name] = std::move(made);
    child->subscribe(covered);
    return *childAlive ? child : nullptr;
}

// A node is always in step with itself.
bool NodeSynchronizer::keepsInStep(Node const* a, Node const* b) const {
    if (a == b) {
        return true;
    }
    PairKey const key = keyOf(a, b);
    for (NodeSynchronizer const* sync = this; sync != nullptr; sync = sync->m_parent) {
        // An address is only trusted while its node lives.
        if (keyOf(sync->m_firstNode, sync->m_secondNode) == key && !sync->m_firstItem.expired() &&
            !sync->m_secondItem.expired()) {
            return true;
        }
    }
    return false;
}

void NodeSynchronizer::destroyChild(QString const& name) {
    auto const found = m_children.find(name);
    if (found == m_children.end()) {
        return;
    }
    // Out of the map first: its end may not find itself listed.
    std::unique_ptr<NodeSynchronizer> const child = std::move(found->second);
    m_children.erase(found);
}

// ---------------------------------------------------------------------------
// Applying changes

void NodeSynchronizer::onNodeChanged(ChangeAction action, Node const& node,
                                     boost::optional<Attribute const&> attribute) {
    switch (action) {
    case CA_VALUE_CHANGED:
    case CA_ELEMENTS_INSERTED:
    case CA_ELEMENTS_REMOVED:
    case CA_ENUM_VALUES_CHANGED:
    case CA_ATTRIBUTE_ADDED:
    case CA_ATTRIBUTE_REMOVING:
        break;
    default:
        return;
    }
    if (node.getLifeCycle() == LC_DESTROYING || !attribute) {
        return;
    }
    if (!m_ignoreAttributeNames.isEmpty() &&
        m_ignoreAttributeNames.contains(attribute->getAttributeName())) {
        return;
    }
    // The node is known by address, trusted while its weak reference holds.
    bool const fromFirst = &node == m_firstNode && !m_firstItem.expired();
    if (!fromFirst && (&node != m_secondNode || m_secondItem.expired())) {
        return;
    }
    Ref<Node> const other = (fromFirst ? m_secondItem : m_firstItem).lock();
    if (!other) {
        return;
    }
    std::shared_ptr<bool> const alive = m_alive;
    BlockedScope const blocked(m_firstConnection, m_secondConnection, *alive);
    switch (action) {
    case CA_ATTRIBUTE_ADDED:
        if (Ref<Node> const self = (fromFirst ? m_firstItem : m_secondItem).lock()) {
            applyNewAttribute(*self, *other, attribute->getAttributeName());
        }
        break;
    case CA_ATTRIBUTE_REMOVING:
        applyRemoveAttribute(*other, attribute->getAttributeName(), attribute->getAttributeType());
        break;
    default:
        applyUpdate(node, *other, *attribute);
        break;
    }
}

void NodeSynchronizer::applyUpdate(Node const& node, Node& other, Attribute const& from) {
    AttributeType const type = from.getAttributeType();
    Attribute* to = nullptr;
    if (&node.getSpecification() == &other.getSpecification()) {
        // One class: the same entry, so the same name, found without comparing text.
        boost::optional<Attribute&> const found = other.getAttributeByID(from.getID());
        to = found && found->getAttributeType() == type ? &*found : nullptr;
    } else {
        to = matching(other, from.getAttributeName(), type);
    }
    if (to != nullptr) {
        updateAttribute(other, from, *to);
    }
}

void NodeSynchronizer::applyNewAttribute(Node& node, Node& other, QString const& name) {
    boost::optional<Attribute&> from = node.getAttribute(name);
    if (!from) {
        return;
    }
    AttributeType const type = from->getAttributeType();
    boost::optional<Attribute&> const existing = other.getAttribute(name);
    if (!existing) {
        std::shared_ptr<bool> const alive = m_alive;
        other.registerAttribute(name, type, from->hasMinMaxValues());
        // The other node's subscribers heard of it and may have changed either side.
        if (!*alive) {
            return;
        }
        from = node.getAttribute(name);
        if (!from || from->getAttributeType() != type) {
            return;
        }
    }
    if (Attribute* const to = matching(other, name, type)) {
        updateAttribute(other, *from, *to);
    }
}

void NodeSynchronizer::applyRemoveAttribute(Node& other, QString const& name,
                                            AttributeType type) {
    if (type == AT_S_NODE_PTR) {
        destroyChild(name);
    }
    boost::optional<Attribute&> const existing = other.getAttribute(name);
    if (existing && existing->isRemovable()) {
        other.removeAttribute(name);
    }
}

void NodeSynchronizer::updateAttribute(Node& other, Attribute const& from, Attribute& to) {
    AttributeType const type = from.getAttributeType();
    if (type == AT_M_NODE_PTR) {
        return;
    }
    if (type != AT_S_NODE_PTR) {
        detail::assignFrom(other, from, to);
        return;
    }
    QString const name = from.getAttributeName();
    NodeRef const source = typed<SingleNodeAttribute const>(from).get();
    SingleNodeAttribute& target = typed<SingleNodeAttribute>(to);
    if (!source) {
        if (target.get()) {
            destroyChild(name);
            target.set(NodeRef());
        }
        return;
    }
    std::shared_ptr<bool> const alive = m_alive;
    NodeRef const copy = CopyTraverser::apply(source, other.getRegistry(), COPY_FLAGS);
    // Copying ran host hooks: everything is looked up again.
    if (!*alive) {
        return;
    }
    if (Attribute* const again = matching(other, name, AT_S_NODE_PTR)) {
        typed<SingleNodeAttribute>(*again).set(copy);
    }
    if (!*alive) {
        return;
    }
    Attribute* const held = matching(other, name, AT_S_NODE_PTR);
    NodeRef const received = held != nullptr ? typed<SingleNodeAttribute>(*held).get() : NodeRef();
    if (!received) {
        destroyChild(name);
        return;
    }
    if (keepsInStep(source.get(), received.get())) {
        destroyChild(name);
        return;
    }
    auto const found = m_children.find(name);
    if (found == m_children.end()) {
        if (NodeSynchronizer* const child = makeChild(name, source, received, false)) {
            child->buildChildren();
        }
        return;
    }
    NodeSynchronizer& child = *found->second;
    child.m_firstItem = WeakRef<Node>(source);
    child.m_firstNode = source.get();
    child.m_secondItem = WeakRef<Node>(received);
    child.m_secondNode = received.get();
    child.connect();
}

} // namespace Norv::Tavel
