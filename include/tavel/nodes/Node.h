#pragma once
// Node: the reference-counted base of every object of the graph, and
// InhibitUpdate, the scope that holds a node's notifications back.
//
// A node carries fixed attributes (members of its class, described once in
// the class's Specification) and custom attributes (added to single nodes by
// name at run time; the node owns them through shared pointers). It belongs
// to at most one Registry, under a 64-bit id. Concrete classes: CustomNode,
// and host classes made with NodeClass (CustomNode.h).
//
// What a caller must know:
// - Nodes are made with `new` by their class's creation function and held
//   through Ref<Node>. The last strong reference runs preDestroy, which tells
//   node change subscribers CA_NODE_DESTROYED, and then deletes the node.
//   References to attributes handed out by lookups keep nothing alive.
// - Every accepted change is reported synchronously: node change subscribers
//   first, then hierarchical subscribers, then the owners. Inside an
//   InhibitUpdate nothing is reported; when the outermost scope ends, a node
//   with a held-back change of its own reports CA_UPDATES_RELEASED once, and
//   a node that heard only of changes below tells its hierarchical
//   subscribers and its owners once: a batch defers, it never drops.
// - Inhibition reaches a node once per path from the scope's node (a diamond
//   is inhibited twice at its foot). Scopes may end in any order, and
//   references may change inside them, cycles included: every depth is 0
//   again when the scopes have ended. Inside a cycle made or broken while
//   several scopes are open, a node may be released before the last of them
//   ends.
// - Subscribers may drop the node, disconnect, subscribe, or add and remove
//   attributes from inside a notification: the node stays alive until the
//   operation that notified returns. An exception thrown by a subscriber
//   reaches the caller of that operation; the change itself stays made.
// - A CA_NODE_DESTROYED subscriber (or a preDestroy override) that throws
//   does not stop the node's end. Ref::reset() passes the exception on once
//   every node released with it is gone. Wherever it cannot propagate (a Ref
//   leaving its scope or assigned to, a container erasing, a reference
//   attribute letting its node go, a scope left by another exception) it is
//   written to the debug-output channel with the node's id and class.
// - Errors are the library's exception classes, thrown with "". A failed
//   operation changes nothing. A node being destroyed refuses registration,
//   removal, owners and subscriptions with InvalidOperationException.
// - Node-reference attributes hold the nodes they refer to strongly. Nodes
//   that refer to each other in a cycle keep each other alive: a host breaks
//   the cycle (clears a reference) to release them. Changes, inhibition and
//   searches end on cycles and walk chains of any depth without recursion.
// - The registry link is weak: once the registry is gone, getRegistry() is
//   empty and leaving it does nothing.
// - copy, assign and compare are the graph operations with fixed flags
//   (CopyTraverser 15, AssignOperator 319, CompareTraverser 227; see
//   tavel/operations/).

#include <tavel/Export.h>
#include <tavel/attributes/Attribute.h>
#include <tavel/nodes/InhibitLevels.h>
#include <tavel/nodes/NodeSignals.h>
#include <tavel/nodes/SequencedIterator.h>
#include <tavel/nodes/Specification.h>
#include <tavel/registry/Registry.h>

#include <basalt/RefCounting.h>
#include <basalt/Signal.h>
#include <basalt/Uuid.h>

#include <boost/container/flat_map.hpp>
#include <boost/optional.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include <QString>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Norv::Tavel {

class InhibitUpdate;
namespace detail {
struct NodeLinks;
struct NodeInternals;
} // namespace detail

// A reference-counted object carrying named, typed attributes, which reports
// its changes to subscribers and to the nodes that refer to it.
class TAVEL_EXPORT Node : public norv::basalt::RefCountableBase {
public:
    Node(Node const&) = delete;
    Node& operator=(Node const&) = delete;

    // Slot 0: a new, empty node of the same class in `registry`.
    virtual norv::basalt::Ref<Node> createInstance(boost::shared_ptr<Registry> registry) = 0;
    // Slot 1: the node that holds this node's data (this node itself).
    virtual norv::basalt::Ref<Node> getInstancePtr();
    // Slots 2 and 3. The first subscription of a kind makes its signal.
    // Throws InvalidOperationException while the node is being destroyed.
    virtual norv::basalt::signal::Connection
    subscribeForHierachicalChangeNotification(HierarchicalChangeSlot const& slot);
    virtual norv::basalt::signal::Connection
    subscribeForNodeChangeNotification(NodeChangeSlot const& slot);
    // Slot 4: the most derived class identifier; empty before registration.
    virtual norv::basalt::Uuid getClsId() const;
    // Slots 5 to 8: hooks of the graph operations. Node's own do nothing and
    // let every pair compare.
    virtual void postCopyAction(norv::basalt::Ref<Node> const& source, int flags);
    virtual void postAssignAction(norv::basalt::Ref<Node> const& source, int flags);
    virtual bool preCompareAction(norv::basalt::Ref<Node> const& other, int flags) const;
    virtual bool postCompareAction(norv::basalt::Ref<Node> const& other, int flags) const;

protected:
    // Slot 9: forwards to postChange. Subclasses may watch their attributes here.
    virtual void postAttributeChange(ChangeAction action,
                                     boost::optional<Attribute const&> attribute,
                                     boost::optional<Attribute const&> source,
                                     bool structureChanged, long long const& incarnation);
    // Slot 10: the root of the registration chain: records Node's class id and
    // ends registration. Overrides add their own class id, register their
    // fixed attributes and then call their base's registerAttributes.
    virtual void registerAttributes(Specification& layout);
    // Slots 11 to 14: node-reference attributes report the references they
    // gain and lose. addOwner throws InvalidOperationException while this node
    // is being destroyed; removeOwner never refuses.
    virtual bool addOwner(Node const& owner, Attribute const& attribute);
    virtual void removeOwner(Node const& owner, Attribute const& attribute);
    virtual void addElement(Node& element, std::size_t index, Attribute const& attribute);
    virtual void removeElement(Node& element, std::size_t index, Attribute const& attribute);

public:
    // Tells node change subscribers CA_NODE_DESTROYED and drops both signals.
    void preDestroy() override;

    static norv::basalt::Uuid const& getUUID();
    long long getNodeId() const { return m_nodeId; }
    bool isDerivedFrom(norv::basalt::Uuid const& classId) const;
    Specification const& getSpecification() const { return *m_specification; }

    // The first direct owner (in owner-link order) whose class is `classId`
    // (exact) or derives from it (not exact); null when there is none. Owners
    // being destroyed are never returned.
    norv::basalt::Ref<Node> findParentOfType(norv::basalt::Uuid const& classId, bool exact);
    norv::basalt::ConstRef<Node> findParentOfType(norv::basalt::Uuid const& classId,
                                                  bool exact) const;
    // The nearest owner at any depth of exactly the class `classId`: every
    // direct owner is tested before any owner of an owner; deeper levels are
    // searched depth-first in owner-link order. Ends on cycles (no node is
    // searched twice) and on chains of any depth.
    norv::basalt::Ref<Node> findAnchestorOfType(norv::basalt::Uuid const& classId);
    norv::basalt::ConstRef<Node> findAnchestorOfType(norv::basalt::Uuid const& classId) const;

    // Owner links: one per reference held by a node-reference attribute.
    std::size_t getNumberOfOwnerLinks() const { return m_owners.size(); }
    std::size_t countOwnerLinks(Attribute const& attribute) const;
    // How deep the node is inhibited (its own scopes and those passed down).
    std::int32_t getInhibitUpdateCounter() const { return m_inhibitUpdateCounter; }

    // Leaves the current registry (if it still exists) and joins `registry`;
    // an empty pointer only leaves. Joining throws InvalidOperationException
    // while the node is being destroyed, and then nothing changes.
    void setRegistry(boost::shared_ptr<Registry> registry);
    // Empty when the node has no registry or its registry is gone.
    boost::shared_ptr<Registry> getRegistry() const;

    long long getInstanceIncarnation() const { return m_instanceIncarnation; }
    long long getSubHierarchyIncarnation() const { return m_subHierarchyIncarnation; }

    // Adds a custom attribute of `type` (withMinMax: the range variant for
    // number and float-vector kinds) and reports CA_ATTRIBUTE_ADDED. A name
    // already registered by another node of the class joins its entry.
    // Throws InvalidAttributeNameException for an invalid name,
    // AttributeExistsException for a fixed name or one this node carries,
    // NotSupported for an unknown type.
    Attribute& registerAttribute(QString const& name, AttributeType type, bool withMinMax = false);
    Attribute& registerAttribute(std::string const& name, AttributeType type,
                                 bool withMinMax = false);
    Attribute& registerAttribute(char const* name, AttributeType type, bool withMinMax = false);

    // Reports CA_ATTRIBUTE_REMOVING to node change subscribers, removes the
    // attribute, then reports CA_ATTRIBUTE_REMOVED. A name only other nodes
    // carry does nothing. Throws InvalidAttributeNameException (empty name),
    // UnknownAttributeException (unknown name), AttributeCannotBeRemovedException
    // (fixed attribute). A holder of the attribute's shared pointer keeps an
    // attribute with no owner.
    void removeAttribute(QString const& name);
    void removeAttribute(std::string const& name);
    void removeAttribute(char const* name);
    // Removes every custom attribute without any notification.
    void removeAllAttributes();

    // Empty when the node has no attribute of that name; an empty name throws
    // InvalidAttributeNameException.
    boost::optional<Attribute&> getAttribute(QString const& name);
    boost::optional<Attribute&> getAttribute(std::string const& name);
    boost::optional<Attribute&> getAttribute(char const* name);
    // Fixed attributes have ids 1, 2, ...; custom ones negative ids. Empty for
    // 0 and for ids this node does not carry.
    boost::optional<Attribute&> getAttributeByID(long long id);
    unsigned long long calculateNumberOfAttributes() const;

    // Attribute iteration; see SequencedIterator.h. find throws
    // UnknownAttributeException for an attribute not of this node.
    SequencedIterator begin(AttributeFlags filter = AttributeFlags());
    ConstSequencedIterator begin(AttributeFlags filter = AttributeFlags()) const;
    SequencedIterator end();
    ConstSequencedIterator end() const;
    ConstSequencedIterator find(Attribute const& attribute) const;

    // A deep copy of the hierarchy into `registry`; assignment of `source`'s
    // hierarchy onto this one in place; structural comparison.
    norv::basalt::Ref<Node> copy(boost::shared_ptr<Registry> registry);
    void assign(norv::basalt::Ref<Node> const& source);
    bool compare(norv::basalt::Ref<Node> const& other) const;

protected:
    friend class Attribute;
    // Acts for every node-reference attribute on the nodes at both ends.
    friend struct detail::NodeLinks;
    friend class InhibitUpdate;
    friend class SequencedIteratorBase;
    // The notification and inhibition steps, private to the library.
    friend struct detail::NodeInternals;

    // `id` EMPTY_NODE_ID draws the next id of the process-wide counter. The
    // node joins `registry` (may be empty). Registration of the class's
    // attributes is left to the concrete class (registerClassOnce).
    Node(boost::shared_ptr<Registry> registry, Specification& layout, long long id);
    ~Node() override;

    // Runs the registration chain if the class still needs it. On failure the
    // layout is put back as it was, so the next node tries again.
    void registerClassOnce();

    // Enters a member attribute of this node into `layout`, with the
    // flags ATTR_SERIALIZE, ATTR_CUSTOM_SERIALIZE and ATTR_INSTANCE_DATA taken
    // from `flags`. Throws InvalidAttributeNameException for an invalid name,
    // AttributeExistsException for a taken one and UnknownAttributeException
    // for an attribute whose owner is not this node.
    void registerFixedAttribute(Specification& layout, Attribute const& attribute, int flags,
                                QString name, QString humanReadableName);

    AttributeSpecification const& findAttributeSpecification(Attribute const& attribute) const;
    // Shared ownership of a custom attribute this node carries (null if none),
    // for subclasses that keep attributes beyond the node's own use.
    boost::shared_ptr<Attribute> getCustomAttributePointer(long long id) const;

    // The entry point of every change. Changes older than the last one
    // recorded are dropped; the node is silent while being destroyed.
    void postChange(ChangeAction action, boost::optional<Attribute const&> attribute,
                    boost::optional<Attribute const&> source, bool structureChanged,
                    long long const& incarnation);
    // Lets a subclass report a change of one of its attributes.
    void signalPostAttributeChange(ChangeAction action, Attribute& attribute, bool structureChanged,
                                   long long const& incarnation);

    void incInhibitUpdateCounter();
    void decInhibitUpdateCounter();

    // Run by a signal of this node when its last connection has gone.
    void lastConnectionDisconnected(bool nodeChangeSignal);

    // Draws the next number of the process-wide incarnation counter.
    static long long incrementIncarnation() { return ++s_incarnationCounter; }

private:
    // A custom attribute and how many inhibit levels this node has applied to
    // it, so that exactly those are undone when the node lets it go.
    struct CustomAttribute {
        boost::shared_ptr<Attribute> attribute;
        detail::InhibitLevels inhibitLevels;
    };
    // Keyed by entry key, which grows in the order entries are made: new
    // attributes append, and a node's walk is a walk of one array. Every use
    // looks an entry up afresh after calling out, so a move cannot dangle.
    // A removal inside the array leaves an empty entry (a null attribute),
    // which every walk skips; the array is compacted once they are half of
    // it, so removing many attributes in any order stays linear.
    using CustomAttributes = boost::container::flat_map<long long, CustomAttribute>;
    // One owner link: the attribute that refers to this node, and its node.
    struct OwnerLink {
        Attribute const* attribute;
        Node const* owner;
    };
    // Ordered by the attribute's address, the links of one attribute in the
    // order they were made: a flat list, cheap to walk and to edit.
    using Owners = std::vector<OwnerLink>;

    // The member attribute that a fixed entry locates; the custom attribute
    // under a key, or null.
    Attribute& fixedAttribute(AttributeSpecification const& entry) const {
        char const* const base = reinterpret_cast<char const*>(this);
        return *reinterpret_cast<Attribute*>(const_cast<char*>(base + entry.offset));
    }
    Attribute* customAttribute(long long key) const {
        auto const found = m_customAttributes.find(key);
        return found == m_customAttributes.end() ? nullptr : found->second.attribute.get();
    }
    boost::optional<Attribute&> attributeFor(Specification::OrderedIterator entry);
    // Takes a custom attribute's entry out of the map: emptied where it is,
    // erased when it is the last.
    void eraseCustomEntry(CustomAttributes::iterator entry) noexcept;
    // Lets go of a custom attribute already out of the map: unlinks the nodes
    // it refers to, releases its entry and detaches it.
    void releaseCustomAttribute(long long key,
                                boost::shared_ptr<Attribute> const& attribute) noexcept;
    // Hands a change on to a node-reference attribute that refers to this node.
    static void passToOwner(Attribute const& owning, bool structureChanged,
                            boost::optional<Attribute const&> source, long long incarnation);

    Owners m_owners;
    HierarchicalChangeSignal* m_hierarchicalSignal;
    NodeChangeSignal* m_nodeChangeSignal;
    std::int32_t m_inhibitUpdateCounter;
    // The empty entries in m_customAttributes.
    std::uint32_t m_emptyCustomEntries = 0;
    // The levels behind the counter, by scope (see InhibitLevels.h).
    detail::InhibitLevels m_inhibitLevels;
    bool m_changePending;
    bool m_pendingFlag;
    // A change from below arrived while inhibited: the hierarchical
    // subscribers and the owners hear of it once inhibition ends.
    bool m_hierarchyPending = false;
    bool m_hierarchyPendingFlag = false;
    // Set while an inhibit pass walks below this node: reaching it again on
    // that path is a cycle, and the pass does not enter it twice.
    bool m_onInhibitPath = false;
    long long m_subHierarchyIncarnation;
    long long m_instanceIncarnation;
    Specification* m_specification;
    CustomAttributes m_customAttributes;
    long long m_nodeId;
    boost::weak_ptr<Registry> m_registry;
    // The process-wide incarnation counter. Every attribute and node starts at
    // incarnation 1, so the counter starts there too: the first number drawn
    // (2) is newer than every initial one.
    static long long s_incarnationCounter;
};

// Holds back the notifications of a node and of everything below it for the
// life of the scope:
//
//   {
//       InhibitUpdate batch(*node);
//       width.set(2.0f);
//       height.set(3.0f);
//   } // subscribers hear one CA_UPDATES_RELEASED
//
// The scope keeps the node alive. Its end may notify, so it may throw what a
// subscriber throws, unless the scope is left by another exception (then the
// subscriber's exception is dropped).
class TAVEL_EXPORT InhibitUpdate {
public:
    explicit InhibitUpdate(Node& node);
    ~InhibitUpdate() noexcept(false);
    InhibitUpdate(InhibitUpdate const&) = delete;
    InhibitUpdate& operator=(InhibitUpdate const&) = delete;

private:
    Node& m_node;
    norv::basalt::Ref<Node> m_keepAlive;
    int m_uncaughtExceptions;
    std::uint32_t m_token; // names this scope's levels
};

} // namespace Norv::Tavel
