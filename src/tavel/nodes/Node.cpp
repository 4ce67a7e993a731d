#include <tavel/nodes/Node.h>

#include "tavel/nodes/NodeInternals.h"

#include <tavel/attributes/CreateAttribute.h>
#include <tavel/conversion/Utilities.h>
#include <tavel/operations/AssignOperator.h>
#include <tavel/operations/CompareTraverser.h>
#include <tavel/operations/CopyTraverser.h>
#include <tavel/types/Exceptions.h>

#include <basalt/DebugOutput.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <functional>
#include <iterator>
#include <limits>
#include <unordered_set>
#include <utility>
#include <vector>

namespace Norv::Tavel {

using detail::FirstException;
using detail::isHeldByRef;
using detail::KeepAlive;
using detail::Reached;
using norv::basalt::ConstRef;
using norv::basalt::LC_DESTROYING;
using norv::basalt::LC_REFERENCED;
using norv::basalt::Ref;
using norv::basalt::Uuid;
using norv::basalt::signal::Connection;

namespace detail {

void releaseLast(Node& node) {
    // The caller holds the node; that hold becomes this reference.
    Ref<Node> last(&node);
    node.refCounter()->release();
    // With another exception on its way, the reference's own end reports the
    // subscribers' exception instead.
    if (std::uncaught_exceptions() == 0) {
        last.reset();
    }
}

void reportIgnoredFailure(char const* where) noexcept {
    try {
        norv::basalt::outputDebugString(
            QStringLiteral("Tavel: %1 threw while an edit was undone; the undo went on.\n")
                .arg(QString::fromLatin1(where))
                .toStdU16String());
    } catch (...) {
    }
}

} // namespace detail

namespace {

long long s_nodeIdCounter = 0;
long long s_customAttributeCounter = 0;

constexpr long long CUSTOM_KEY_BIT = static_cast<long long>(1ULL << 63);
// The room a node's first custom attribute makes for the others: as many as
// the class's last node carried (Specification::lastCustomCount), at most a
// bound, so a node that carries one never pays much; a few for the first node
// of a class, rather than growing through 1, 2, 3, 6 ...
constexpr std::size_t FIRST_NODE_CUSTOM_CAPACITY = 4;
constexpr std::size_t MAX_FIRST_CUSTOM_CAPACITY = 16;

// The nodes a node-reference attribute refers to, one per position; empty
// for every other kind.
std::vector<NodeRef> referencedNodes(Attribute const& attribute) {
    std::vector<NodeRef> elements;
    AttributeType const type = attribute.getAttributeType();
    if (type != AT_S_NODE_PTR && type != AT_M_NODE_PTR) {
        return elements;
    }
    AttributeValue const value = attribute.getGeneric();
    if (NodeRef const* const single = value.get<NodeRef>()) {
        if (*single) {
            elements.push_back(*single);
        }
    } else if (auto const* const list = value.get<std::vector<NodeRef>>()) {
        elements = *list;
    }
    return elements;
}

} // namespace

using Internals = detail::NodeInternals;

// ---------------------------------------------------------------------------
// Construction, identity, registry

Node::Node(boost::shared_ptr<Registry> registry, Specification& layout, long long id)
    : m_hierarchicalSignal(nullptr), m_nodeChangeSignal(nullptr), m_inhibitUpdateCounter(0),
      m_changePending(false), m_pendingFlag(false), m_subHierarchyIncarnation(1),
      m_instanceIncarnation(1), m_specification(&layout),
      m_nodeId(id == EMPTY_NODE_ID ? ++s_nodeIdCounter : id) {
    // A new node has no links yet; its attributes do not even exist yet.
    if (registry) {
        registry->registerNode(*this);
        m_registry = registry;
    }
    ++Registry::INSTANCE_COUNTER;
}

Node::~Node() {
    // Only a node that never reached a Ref can end inhibited; the nodes below
    // must not stay so.
    if (m_inhibitUpdateCounter != 0) {
        try {
            Internals::syncAllInhibition(*this, false);
        } catch (...) {
        }
    }
    CustomAttributes attributes;
    attributes.swap(m_customAttributes);
    m_emptyCustomEntries = 0;
    for (auto const& entry : attributes) {
        if (entry.second.attribute != nullptr) {
            releaseCustomAttribute(entry.first, entry.second.attribute);
        }
    }
    attributes.clear();
    --Registry::INSTANCE_COUNTER;
    if (boost::shared_ptr<Registry> const registry = m_registry.lock()) {
        registry->unregisterNode(*this);
    }
    Internals::dropSignals(*this);
}

Uuid const& Node::getUUID() {
    static Uuid const uuid("{92F11271-E81E-4945-B01D-40134F3A3C5D}");
    return uuid;
}

Uuid Node::getClsId() const {
    auto const& ids = m_specification->inheritFrom;
    return ids.empty() ? Uuid() : ids.front();
}

bool Node::isDerivedFrom(Uuid const& classId) const {
    for (Uuid const& id : m_specification->inheritFrom) {
        if (id == classId) {
            return true;
        }
    }
    return false;
}

Ref<Node> Node::getInstancePtr() {
    return Ref<Node>(this);
}

void Node::setRegistry(boost::shared_ptr<Registry> registry) {
    boost::shared_ptr<Registry> const old = m_registry.lock();
    if (registry) {
        Internals::checkNotDestroying(*this);
        if (registry == old) {
            return;
        }
        // Joining first: if it throws, the node is still where it was.
        registry->registerNode(*this);
    }
    // Only this node's own entry goes: another node may carry the same id.
    if (old) {
        old->unregisterNode(*this);
    }
    // The links between registries follow the node.
    Internals::countRegistryLinks(*this, -1);
    m_registry = registry;
    Internals::countRegistryLinks(*this, +1);
}

boost::shared_ptr<Registry> Node::getRegistry() const {
    return m_registry.lock();
}

void Internals::checkNotDestroying(Node const& node) {
    if (node.getLifeCycle() == LC_DESTROYING) {
        throw InvalidOperationException("");
    }
}

long long Node::s_incarnationCounter = 1;

// ---------------------------------------------------------------------------
// Class registration

void Node::registerAttributes(Specification& layout) {
    if (!layout.needsRegistration) {
        return;
    }
    layout.addInheritFrom(getUUID());
    layout.needsRegistration = false;
}

void Node::registerClassOnce() {
    Specification& layout = *m_specification;
    if (!layout.needsRegistration) {
        return;
    }
    std::size_t const entries = layout.attributes.size();
    std::size_t const ids = layout.inheritFrom.size();
    try {
        registerAttributes(layout);
    } catch (...) {
        while (layout.attributes.size() > entries) {
            layout.attributes.pop_back();
        }
        while (layout.inheritFrom.size() > ids) {
            layout.inheritFrom.pop_back();
        }
        layout.needsRegistration = true;
        throw;
    }
}

void Node::registerFixedAttribute(Specification& layout, Attribute const& attribute, int flags,
                                  QString name, QString humanReadableName) {
    if (!Utilities::validateAttributeName(name)) {
        throw InvalidAttributeNameException("");
    }
    if (layout.hasAttribute(name)) {
        throw AttributeExistsException("");
    }
    // The offset is applied to every node of the class: it must lie inside this node.
    if (!attribute.hasOwner() || &attribute.getOwner() != this) {
        throw UnknownAttributeException("");
    }
    // Fixed entries come first: ids are positions, and walks over a node stop
    // at the first custom entry.
    if (!layout.attributes.empty() && layout.attributes.back().isCustom()) {
        throw InvalidOperationException("");
    }
    AttributeSpecification entry(name, humanReadableName);
    entry.offset = reinterpret_cast<char const*>(&attribute) - reinterpret_cast<char const*>(this);
    entry.attributeId = static_cast<long long>(layout.attributes.size()) + 1;
    entry.type = attribute.getAttributeType();
    entry.useCounter = 0;
    entry.flags = AttributeFlags(static_cast<unsigned>(flags & 7) | ATTR_FIXED);
    layout.attributes.push_back(entry);
}

// ---------------------------------------------------------------------------
// Custom attributes

Attribute& Node::registerAttribute(QString const& name, AttributeType type, bool withMinMax) {
    Internals::checkNotDestroying(*this);
    auto const existing = m_specification->findAttributeSpecification(name);
    bool const shared = existing != m_specification->orderedEnd();
    // Entries are only ever made for valid names: a known one needs no second check.
    if (!shared && !Utilities::validateAttributeName(name)) {
        throw InvalidAttributeNameException("");
    }
    long long key = shared ? existing->offset : 0;
    auto position = m_customAttributes.end();
    bool refill = false;
    if (shared) {
        position = m_customAttributes.lower_bound(key);
        refill = position != m_customAttributes.end() && position->first == key;
        if (existing->isFixed() || (refill && position->second.attribute != nullptr)) {
            throw AttributeExistsException("");
        }
    }
    boost::shared_ptr<Attribute> const attribute = createAttribute(type, this, withMinMax);
    if (m_customAttributes.capacity() == 0) {
        std::size_t const alike = m_specification->lastCustomCount;
        m_customAttributes.reserve(alike == 0 ? FIRST_NODE_CUSTOM_CAPACITY
                                              : std::min(alike, MAX_FIRST_CUSTOM_CAPACITY));
        position = shared ? m_customAttributes.lower_bound(key) : m_customAttributes.end();
    }

    AttributeSpecification const* entry = nullptr;
    if (refill) {
        // The entry this node's earlier attribute of the name left empty.
        position->second = CustomAttribute{attribute, {}};
        --m_emptyCustomEntries;
        ++existing->useCounter;
        entry = &*existing;
    } else if (shared) {
        m_customAttributes.emplace_hint(position, key, CustomAttribute{attribute, {}});
        ++existing->useCounter;
        entry = &*existing;
    } else {
        key = ++s_customAttributeCounter | CUSTOM_KEY_BIT;
        AttributeSpecification fresh(name, QString());
        fresh.type = attribute->getAttributeType();
        fresh.offset = key;
        fresh.attributeId = key;
        fresh.useCounter = 1;
        fresh.flags = AttributeFlags(ATTR_SERIALIZE | ATTR_CUSTOM);
        // The newest key is the greatest: it goes at the end.
        m_customAttributes.emplace_hint(m_customAttributes.end(), key,
                                        CustomAttribute{attribute, {}});
        bool entered = false;
        try {
            auto const made = m_specification->attributes.push_back(fresh);
            entered = made.second;
            entry = &*made.first;
        } catch (...) {
            m_customAttributes.erase(key);
            throw;
        }
        if (!entered) {
            m_customAttributes.erase(key);
            throw AttributeExistsException("");
        }
    }

    // Known now; found later, it would cost a lookup per attribute.
    attribute->m_specification = entry;
    m_specification->lastCustomCount = m_customAttributes.size() - m_emptyCustomEntries;

    KeepAlive const keepAlive(*this, true);
    bool const held = isHeldByRef(*this);
    postAttributeChange(CA_ATTRIBUTE_ADDED, *attribute, *attribute, true, incrementIncarnation());
    // A subscriber may have removed the attribute again, or dropped the node
    // (which then ends with this call): either way there is nothing to hand out.
    if (customAttribute(key) != attribute.get() || (held && refCounter()->getStrongCount() <= 1)) {
        throw InvalidOperationException("");
    }
    return *attribute;
}

Attribute& Node::registerAttribute(std::string const& name, AttributeType type, bool withMinMax) {
    return registerAttribute(QString::fromStdString(name), type, withMinMax);
}

Attribute& Node::registerAttribute(char const* name, AttributeType type, bool withMinMax) {
    return registerAttribute(QString::fromUtf8(name), type, withMinMax);
}

void Node::removeAttribute(QString const& name) {
    Internals::checkNotDestroying(*this);
    if (name.isEmpty()) {
        throw InvalidAttributeNameException("");
    }
    auto const entry = m_specification->findAttributeSpecification(name);
    if (entry == m_specification->orderedEnd()) {
        throw UnknownAttributeException("");
    }
    if (entry->isFixed() || !entry->isCustom()) {
        throw AttributeCannotBeRemovedException("");
    }
    long long const key = entry->offset;
    auto const found = m_customAttributes.find(key);
    if (found == m_customAttributes.end() || found->second.attribute == nullptr) {
        return;
    }
    KeepAlive const keepAlive(*this, true);
    boost::shared_ptr<Attribute> const held = found->second.attribute;
    if (m_nodeChangeSignal != nullptr) {
        (*m_nodeChangeSignal)(CA_ATTRIBUTE_REMOVING, *this, *held);
    }
    // A subscriber may have removed it already, or removed and registered it anew.
    if (customAttribute(key) != held.get()) {
        return;
    }
    // The attribute goes: whatever inhibition this node passed to it ends here.
    // That may run subscribers below; the removal completes before their
    // exception is passed on.
    FirstException failure;
    failure.attempt([&] { Internals::syncInhibition(*this, key, false); });
    if (customAttribute(key) == held.get()) {
        eraseCustomEntry(m_customAttributes.find(key));
        releaseCustomAttribute(key, held);
        Internals::keepWhileReported(held);
        failure.attempt([&] {
            postAttributeChange(CA_ATTRIBUTE_REMOVED, boost::none, boost::none, true,
                                incrementIncarnation());
        });
    }
    failure.rethrow();
}

void Node::removeAttribute(std::string const& name) {
    removeAttribute(QString::fromStdString(name));
}

void Node::removeAttribute(char const* name) {
    removeAttribute(QString::fromUtf8(name));
}

void Node::removeAllAttributes() {
    KeepAlive const keepAlive(*this, true);
    FirstException failure;
    failure.attempt([&] { Internals::syncAllInhibition(*this, false); });
    CustomAttributes attributes;
    attributes.swap(m_customAttributes);
    m_emptyCustomEntries = 0;
    for (auto const& entry : attributes) {
        if (entry.second.attribute != nullptr) {
            releaseCustomAttribute(entry.first, entry.second.attribute);
            Internals::keepWhileReported(entry.second.attribute);
        }
    }
    failure.rethrow();
}

void Node::eraseCustomEntry(CustomAttributes::iterator entry) noexcept {
    if (std::next(entry) == m_customAttributes.end()) {
        m_customAttributes.erase(entry);
        return;
    }
    entry->second = CustomAttribute();
    ++m_emptyCustomEntries;
    if (2 * std::size_t(m_emptyCustomEntries) > m_customAttributes.size()) {
        m_customAttributes.erase(
            std::remove_if(m_customAttributes.begin(), m_customAttributes.end(),
                           [](auto const& kept) { return kept.second.attribute == nullptr; }),
            m_customAttributes.end());
        m_emptyCustomEntries = 0;
    }
}

void Node::releaseCustomAttribute(long long key,
                                  boost::shared_ptr<Attribute> const& attribute) noexcept {
    // The nodes it refers to forget their owner links while the attribute
    // still has its entry and owner: a removeOwner hook may read its name.
    if (attribute->m_specification == nullptr) {
        attribute->m_specification = m_specification->findByOffset(key);
    }
    for (NodeRef const& element : referencedNodes(*attribute)) {
        Internals::unlinkOwner(*element, *this, *attribute);
    }
    AttributeSpecification const* const entry = attribute->m_specification;
    try {
        if (entry != nullptr && entry->isCustom() && entry->offset == key) {
            m_specification->releaseCustomEntry(*entry);
        } else {
            m_specification->destroyCustomAttribute(key);
        }
    } catch (...) {
        // Only a fixed entry refuses, and custom keys never name one.
    }
    // A holder keeps an attribute with no dangling pointer.
    attribute->detachFromOwner();
}

// ---------------------------------------------------------------------------
// Lookup

boost::shared_ptr<Attribute> Node::getCustomAttributePointer(long long id) const {
    auto const found = m_customAttributes.find(id);
    return found == m_customAttributes.end() ? boost::shared_ptr<Attribute>()
                                             : found->second.attribute;
}

boost::optional<Attribute&> Node::attributeFor(Specification::OrderedIterator entry) {
    if (entry == m_specification->orderedEnd()) {
        return boost::none;
    }
    if (entry->isCustom()) {
        Attribute* const attribute = customAttribute(entry->offset);
        return attribute == nullptr ? boost::optional<Attribute&>() : *attribute;
    }
    return fixedAttribute(*entry);
}

boost::optional<Attribute&> Node::getAttribute(QString const& name) {
    if (name.isEmpty()) {
        throw InvalidAttributeNameException("");
    }
    return attributeFor(m_specification->findAttributeSpecification(name));
}

boost::optional<Attribute&> Node::getAttribute(std::string const& name) {
    return getAttribute(QString::fromStdString(name));
}

boost::optional<Attribute&> Node::getAttribute(char const* name) {
    return getAttribute(QString::fromUtf8(name));
}

boost::optional<Attribute&> Node::getAttributeByID(long long id) {
    if (id < 0) {
        Attribute* const attribute = customAttribute(id);
        return attribute == nullptr ? boost::optional<Attribute&>() : *attribute;
    }
    if (id == 0) {
        return boost::none;
    }
    // Fixed entries come first, so the id-th entry is the fixed attribute with that id.
    long long position = 1;
    for (AttributeSpecification const& entry : m_specification->attributes) {
        if (position++ != id) {
            continue;
        }
        if (entry.isFixed() && entry.attributeId == id) {
            return fixedAttribute(entry);
        }
        break;
    }
    return boost::none;
}

unsigned long long Node::calculateNumberOfAttributes() const {
    unsigned long long count = m_customAttributes.size() - m_emptyCustomEntries;
    for (AttributeSpecification const& entry : m_specification->attributes) {
        if (entry.isCustom()) {
            break;
        }
        ++count;
    }
    return count;
}

AttributeSpecification const& Node::findAttributeSpecification(Attribute const& attribute) const {
    // An attribute of this node knows its entry (a custom one from the moment
    // it is made) or finds it by its offset: no walk of the class's names.
    if (attribute.m_owner == this) {
        AttributeSpecification const* entry = attribute.m_specification;
        if (entry == nullptr) {
            auto const offset =
                static_cast<long long>(reinterpret_cast<std::uintptr_t>(&attribute) -
                                       reinterpret_cast<std::uintptr_t>(this));
            entry = m_specification->findByOffset(offset);
        }
        if (entry != nullptr) {
            Attribute const* const held =
                entry->isCustom() ? customAttribute(entry->offset) : &fixedAttribute(*entry);
            if (held == &attribute) {
                return *entry;
            }
        }
    }
    throw UnknownAttributeException("");
}

SequencedIterator Node::begin(AttributeFlags filter) {
    return SequencedIterator(*this, filter);
}

ConstSequencedIterator Node::begin(AttributeFlags filter) const {
    return ConstSequencedIterator(*this, filter);
}

SequencedIterator Node::end() {
    return SequencedIterator(*this, m_specification->attributes.end(), AttributeFlags());
}

ConstSequencedIterator Node::end() const {
    return ConstSequencedIterator(*this, m_specification->attributes.end(), AttributeFlags());
}

ConstSequencedIterator Node::find(Attribute const& attribute) const {
    AttributeSpecification const& entry = findAttributeSpecification(attribute);
    return ConstSequencedIterator(*this, m_specification->attributes.get<0>().iterator_to(entry),
                                  attribute);
}

// ---------------------------------------------------------------------------
// Subscriptions and destruction

Connection Node::subscribeForHierachicalChangeNotification(HierarchicalChangeSlot const& slot) {
    Internals::checkNotDestroying(*this);
    bool const made = m_hierarchicalSignal == nullptr;
    if (made) {
        m_hierarchicalSignal =
            new HierarchicalChangeSignal([this] { lastConnectionDisconnected(false); });
    }
    try {
        return m_hierarchicalSignal->connect(slot);
    } catch (...) {
        if (made) {
            delete std::exchange(m_hierarchicalSignal, nullptr);
        }
        throw;
    }
}

Connection Node::subscribeForNodeChangeNotification(NodeChangeSlot const& slot) {
    Internals::checkNotDestroying(*this);
    bool const made = m_nodeChangeSignal == nullptr;
    if (made) {
        m_nodeChangeSignal = new NodeChangeSignal([this] { lastConnectionDisconnected(true); });
    }
    try {
        return m_nodeChangeSignal->connect(slot);
    } catch (...) {
        if (made) {
            delete std::exchange(m_nodeChangeSignal, nullptr);
        }
        throw;
    }
}

void Node::lastConnectionDisconnected(bool nodeChangeSignal) {
    if (nodeChangeSignal) {
        delete std::exchange(m_nodeChangeSignal, nullptr);
    } else {
        delete std::exchange(m_hierarchicalSignal, nullptr);
    }
}

void Internals::dropSignals(Node& node) noexcept {
    delete std::exchange(node.m_nodeChangeSignal, nullptr);
    delete std::exchange(node.m_hierarchicalSignal, nullptr);
}

void Node::preDestroy() {
    RefCountableBase::preDestroy();
    // The signals go even when a subscriber throws.
    struct Drop {
        Node& node;
        ~Drop() { Internals::dropSignals(node); }
    } const drop{*this};
    if (m_nodeChangeSignal != nullptr) {
        (*m_nodeChangeSignal)(CA_NODE_DESTROYED, *this, boost::none);
    }
}

// ---------------------------------------------------------------------------
// Owners and hooks

bool Node::addOwner(Node const& owner, Attribute const& attribute) {
    Internals::checkNotDestroying(*this);
    // A new link goes after the links of the same attribute: at the end,
    // without a search, when no link of a later attribute is there.
    auto const end =
        m_owners.empty() || !std::less<Attribute const*>()(&attribute, m_owners.back().attribute)
            ? m_owners.cend()
            : Internals::linksOf(*this, &attribute).second;
    bool const known = end != m_owners.begin() && std::prev(end)->attribute == &attribute;
    auto const link = m_owners.insert(end, OwnerLink{&attribute, &owner});
    if (known && !m_registry.expired()) {
        // Another reference through the same attribute: its link is counted.
        return true;
    }
    boost::shared_ptr<Registry> const theirs = owner.getRegistry();
    boost::shared_ptr<Registry> const mine = getRegistry();
    if (!mine) {
        // A node without a registry joins its owner's; joining counts its other links.
        try {
            if (theirs) {
                setRegistry(theirs);
            }
        } catch (...) {
            m_owners.erase(link);
            throw;
        }
        return true;
    }
    // A link between two registries is counted once per referring attribute.
    if (theirs && theirs != mine && !known) {
        Internals::countLink(*theirs, *mine, +1);
    }
    return true;
}

void Node::removeOwner(Node const& owner, Attribute const& attribute) {
    // Most nodes have one owner link: no search for it.
    auto const range = m_owners.size() == 1 && m_owners.front().attribute == &attribute
                           ? std::make_pair(m_owners.cbegin(), m_owners.cend())
                           : Internals::linksOf(*this, &attribute);
    if (range.first == range.second) {
        return;
    }
    bool const more = range.second - range.first > 1;
    m_owners.erase(range.first);
    if (more) {
        return;
    }
    // Both registries must still exist and differ; otherwise no link was counted.
    boost::shared_ptr<Registry> const theirs = owner.getRegistry();
    boost::shared_ptr<Registry> const mine = getRegistry();
    if (theirs && mine && theirs != mine) {
        Internals::countLink(*theirs, *mine, -1);
    }
}

void Internals::unlinkOwner(Node& node, Node const& owner, Attribute const& attribute) noexcept {
    std::size_t const links = node.m_owners.size();
    try {
        node.removeOwner(owner, attribute);
        return;
    } catch (...) {
        detail::reportIgnoredFailure("removeOwner");
    }
    if (node.m_owners.size() == links) {
        try {
            node.Node::removeOwner(owner, attribute);
        } catch (...) {
            detail::reportIgnoredFailure("removeOwner");
        }
    }
}

void Internals::dropLinkAddedBy(Node& node, Node const& owner, Attribute const& attribute,
                                std::size_t linksBefore) noexcept {
    if (node.m_owners.size() > linksBefore) {
        try {
            node.Node::removeOwner(owner, attribute);
        } catch (...) {
            detail::reportIgnoredFailure("removeOwner");
        }
    }
}

void Internals::countLink(Registry& superior, Registry& depending, int delta) {
    if (delta > 0) {
        superior.addDependingRegistry(depending);
        depending.addSuperiorRegistry(superior);
    } else {
        superior.removeDependingRegistry(depending);
        depending.removeSuperiorRegistry(superior);
    }
}

void Internals::countRegistryLinks(Node& node, int delta) {
    boost::shared_ptr<Registry> const mine = node.getRegistry();
    if (!mine) {
        return;
    }
    // Links to the registries of owners, one per owning attribute.
    for (std::size_t i = 0; i < node.m_owners.size(); ++i) {
        Node::OwnerLink const& link = node.m_owners[i];
        if (i > 0 && node.m_owners[i - 1].attribute == link.attribute) {
            continue;
        }
        boost::shared_ptr<Registry> const theirs = link.owner->getRegistry();
        if (theirs && theirs != mine) {
            countLink(*theirs, *mine, delta);
        }
    }
    // Links to the registries of referenced nodes, one per (node, attribute).
    for (Attribute& attribute : node) {
        std::vector<NodeRef> elements = referencedNodes(attribute);
        std::sort(elements.begin(), elements.end());
        elements.erase(std::unique(elements.begin(), elements.end()), elements.end());
        for (NodeRef const& element : elements) {
            if (!hasLink(*element, &attribute)) {
                continue;
            }
            boost::shared_ptr<Registry> const theirs = element->getRegistry();
            if (theirs && theirs != mine) {
                countLink(*mine, *theirs, delta);
            }
        }
    }
}

namespace {

// The owners of a node in owner-link order.
std::vector<Node const*> ownersOf(Node const& node) {
    std::vector<Node const*> owners;
    owners.reserve(node.getNumberOfOwnerLinks());
    detail::NodeInternals::forEachOwner(node, [&](Node const& owner) {
        owners.push_back(&owner);
        return false;
    });
    return owners;
}

// The first owner of `node` that passes `matches` and is not being destroyed,
// tested in place: the search stops at the first match.
template <class Matches> Node const* firstOwner(Node const& node, Matches const& matches) {
    Node const* found = nullptr;
    detail::NodeInternals::forEachOwner(node, [&](Node const& owner) {
        if (owner.getLifeCycle() != LC_DESTROYING && matches(owner)) {
            found = &owner;
        }
        return found != nullptr;
    });
    return found;
}

} // namespace

Node const* Internals::findParent(Node const& node, Uuid const& classId, bool exact) {
    return firstOwner(node, [&](Node const& owner) {
        return exact ? owner.getClsId() == classId : owner.isDerivedFrom(classId);
    });
}

// Every direct owner is tested before the owners of owners, which are searched
// depth-first; the explicit stack and the set of searched nodes make it end on
// cycles and on chains deeper than the call stack.
Node const* Internals::findAncestor(Node const& start, Uuid const& classId) {
    auto const exactly = [&](Node const& owner) { return owner.getClsId() == classId; };
    struct Frame {
        explicit Frame(std::vector<Node const*> list) : owners(std::move(list)) {}
        std::vector<Node const*> owners;
        std::size_t next = 0;
    };
    std::unordered_set<Node const*> searched{&start};
    if (Node const* const found = firstOwner(start, exactly)) {
        return found;
    }
    std::vector<Frame> stack;
    stack.emplace_back(ownersOf(start));
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next == top.owners.size()) {
            stack.pop_back();
            continue;
        }
        Node const* const owner = top.owners[top.next++];
        if (!searched.insert(owner).second) {
            continue;
        }
        if (Node const* const found = firstOwner(*owner, exactly)) {
            return found;
        }
        stack.emplace_back(ownersOf(*owner));
    }
    return nullptr;
}

Ref<Node> Node::findParentOfType(Uuid const& classId, bool exact) {
    Node const* const found = Internals::findParent(*this, classId, exact);
    return found != nullptr ? Ref<Node>(const_cast<Node*>(found)) : Ref<Node>();
}

ConstRef<Node> Node::findParentOfType(Uuid const& classId, bool exact) const {
    Node const* const found = Internals::findParent(*this, classId, exact);
    return found != nullptr ? ConstRef<Node>(found) : ConstRef<Node>();
}

Ref<Node> Node::findAnchestorOfType(Uuid const& classId) {
    Node const* const found = Internals::findAncestor(*this, classId);
    return found != nullptr ? Ref<Node>(const_cast<Node*>(found)) : Ref<Node>();
}

ConstRef<Node> Node::findAnchestorOfType(Uuid const& classId) const {
    Node const* const found = Internals::findAncestor(*this, classId);
    return found != nullptr ? ConstRef<Node>(found) : ConstRef<Node>();
}

void Node::addElement(Node&, std::size_t, Attribute const&) {}

void Node::removeElement(Node&, std::size_t, Attribute const&) {}

void Node::postCopyAction(Ref<Node> const&, int) {}

void Node::postAssignAction(Ref<Node> const&, int) {}

bool Node::preCompareAction(Ref<Node> const&, int) const {
    return true;
}

bool Node::postCompareAction(Ref<Node> const&, int) const {
    return true;
}

Ref<Node> Node::copy(boost::shared_ptr<Registry> registry) {
    return CopyTraverser::apply(Ref<Node>(this), std::move(registry), 15);
}

void Node::assign(Ref<Node> const& source) {
    AssignOperator::apply(getInstancePtr(), source, 319);
}

bool Node::compare(Ref<Node> const& other) const {
    return CompareTraverser::compare(Ref<Node>(const_cast<Node*>(this)), other, 227);
}

} // namespace Norv::Tavel
