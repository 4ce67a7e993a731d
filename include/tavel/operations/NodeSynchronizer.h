#pragma once
// NodeSynchronizer: keeps two nodes of the same structure in step while
// either is edited. It subscribes to the node change notification of both;
// when an attribute of one changes, is added or is about to be removed, it
// makes the same change on the other.
//
//   NodeSynchronizer sync(material, view); // connected if both match
//   material->getAttribute("gloss")->setGeneric(AttributeValue(0.4f));
//   // view's "gloss" is 0.4 now, and edits of view reach material alike
//
// What a caller must know:
// - It holds both nodes weakly and never keeps them alive; either may be
//   destroyed first. It connects only on construction, and only when both
//   nodes exist and have the same classes and attribute names and types
//   throughout their hierarchies (custom attributes, instance data and values
//   aside); setFirstItem and setSecondItem leave it disconnected.
// - A single node reference is mirrored by a copy: the other node receives
//   its own copy of the referenced node, and a child synchronizer, owned by
//   this one, keeps the referenced node and its copy in step. Lists of node
//   references are not mirrored. A pair that an enclosing synchronizer (or
//   the node itself) already keeps in step gets no child, so cycles end.
// - Changes made inside an InhibitUpdate scope reach subscribers only as one
//   CA_UPDATES_RELEASED without an attribute, which is not mirrored.
// - While it applies a change its own subscriptions are blocked, so the echo
//   of that change is not handled again; they are unblocked however the
//   change ends. Exceptions of the operations it runs pass to the code whose
//   edit was notified. Notifications naming an attribute the other node lacks
//   or has with another type are dropped (an added attribute is created).
// - It may be destroyed, and its nodes edited or dropped, from inside the
//   notifications it causes. One synchronizer must be driven from one thread.

#include <tavel/Export.h>
#include <tavel/nodes/Node.h>

#include <basalt/RefCounting.h>
#include <basalt/Signal.h>

#include <QSet>
#include <QString>

#include <map>
#include <memory>
#include <vector>

namespace Norv::Tavel {

// Mirrors the edits of either of two nodes onto the other while it lives; it holds both
// weakly and must be driven from one thread.
class TAVEL_EXPORT NodeSynchronizer {
public:
    NodeSynchronizer(norv::basalt::Ref<Node> first, norv::basalt::Ref<Node> second);
    // Disconnects, which destroys every child synchronizer.
    ~NodeSynchronizer();
    NodeSynchronizer(NodeSynchronizer const&) = delete;
    NodeSynchronizer& operator=(NodeSynchronizer const&) = delete;

    // Both subscriptions are live. A node's end ends its subscription.
    bool isConnected() const;
    // The node, or null once it no longer exists.
    norv::basalt::Ref<Node> getFirstItem() const;
    norv::basalt::Ref<Node> getSecondItem() const;
    // Store the node and disconnect; the synchronizer stays disconnected.
    void setFirstItem(norv::basalt::Ref<Node> node);
    void setSecondItem(norv::basalt::Ref<Node> node);
    // Changes of attributes of these names are not passed on from now on;
    // child synchronizers do not inherit them.
    void setIgnoreAttributeNames(std::vector<QString> const& names);

private:
    NodeSynchronizer(norv::basalt::Ref<Node> const& first, norv::basalt::Ref<Node> const& second,
                     NodeSynchronizer* parent);

    void connect();
    void disconnect();
    // Compares (unless an enclosing compare already covered the pair) and
    // subscribes; no children.
    bool subscribe(bool covered);
    // Builds the children of this synchronizer and of theirs, depth first
    // without recursion; a pair that an enclosing synchronizer keeps gets none.
    struct Build;
    void buildChildren();
    void addChildren(Build& build);
    // A child for (first, second) under `name`, replacing any there; null
    // when it went again while it compared.
    NodeSynchronizer* makeChild(QString const& name, NodeRef const& first, NodeRef const& second,
                                bool covered);
    // This synchronizer or one enclosing it keeps the pair in step.
    bool keepsInStep(Node const* a, Node const* b) const;
    void destroyChild(QString const& name);

    void onNodeChanged(ChangeAction action, Node const& node,
                       boost::optional<Attribute const&> attribute);
    void applyUpdate(Node const& node, Node& other, Attribute const& from);
    void applyNewAttribute(Node& node, Node& other, QString const& name);
    void applyRemoveAttribute(Node& other, QString const& name, AttributeType type);
    void updateAttribute(Node& other, Attribute const& from, Attribute& to);

    norv::basalt::WeakRef<Node> m_firstItem;
    norv::basalt::WeakRef<Node> m_secondItem;
    // The items' addresses, compared only while their weak references hold.
    Node const* m_firstNode = nullptr;
    Node const* m_secondNode = nullptr;
    std::map<QString, std::unique_ptr<NodeSynchronizer>> m_children;
    norv::basalt::signal::Connection m_firstConnection;
    norv::basalt::signal::Connection m_secondConnection;
    QSet<QString> m_ignoreAttributeNames;
    NodeSynchronizer* m_parent;
    // Cleared by the destructor: a handler whose synchronizer went away
    // while it called out stops there.
    std::shared_ptr<bool> m_alive;
};

} // namespace Norv::Tavel
