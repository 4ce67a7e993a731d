#pragma once
// Single node-reference attributes (kind AT_S_NODE_PTR): an edge of the node
// graph. SANode keeps the graph consistent with the reference: the referenced
// node knows this attribute as an owner link, the owning node's
// addElement/removeElement hooks hear of every node that enters or leaves,
// and the referenced node follows this attribute's inhibit-update depth.
// DataSANode<T> stores the reference (strong: a referenced node lives at
// least as long as it is referenced; reference cycles keep their nodes
// alive until a host breaks them).
//
// Changes below the referenced node climb to the owner as CA_CHILD_CHANGED,
// at most once per change (the sub-hierarchy incarnation guards it, which
// also ends them on cycles). Every effective change of the reference reports
// CA_VALUE_CHANGED with structureChanged true.
//
// An edit runs the steps that may refuse (the owner's element hooks, the new
// node's addOwner) before anything another node can see; a refusal leaves
// no trace. A hook that sets this reference meanwhile refuses the edit
// with InvalidOperationException (its own edit stands); a removeOwner hook of
// the node being let go may set it too, and that edit stands, while this one
// ends there, unreported, taking back the link it made. The node let go is
// lowered only once the new reference is stored and linked, so its release
// notification may edit this attribute again, and that edit stands.

#include <tavel/attributes/AttributeBase.h>
#include <tavel/nodes/InhibitLevels.h>

#include <exception>
#include <limits>

namespace Norv::Tavel {

// A reference to one node, which the referenced node knows as its owner link.
class TAVEL_EXPORT SANode : public AttributeBase<SingleAttributeBase<AT_S_NODE_PTR>> {
public:
    // A copy is a snapshot: it refers to the same node without an owner link
    // of its own, and holds no inhibit levels on the node.
    SANode(SANode const& other);
    // Assigns the reference through assign(); this attribute's inhibit depth
    // stays its own, so the referenced nodes stay balanced.
    SANode& operator=(SANode const& other);

    void incInhibitUpdateCounter() override;
    void decInhibitUpdateCounter() override;

    virtual std::int64_t getSubHierarchyIncarnation() const; // slot 28

    // The bookkeeping of a change from oldValue to newValue without storing
    // it: binds newValue before it releases oldValue, so a node referenced
    // again keeps an owner throughout. Throws what addOwner or a hook throws,
    // before any change.
    void updateOwnership(NodeRef oldValue, NodeRef newValue);

    static constexpr std::size_t NO_POSITION = std::numeric_limits<std::size_t>::max();

protected:
    SANode(Node* owner, GUIControlType controlType);
    ~SANode() override;

    void postChange(ChangeAction action, bool structureChanged,
                    boost::optional<Attribute const&> source,
                    std::int64_t const& incarnation) override;

    // The referenced node, or null; the typed class stores it.
    virtual Node* referencedNode() const = 0;

    std::int32_t m_inhibitUpdateCounter;
    std::int64_t m_subHierarchyIncarnation;
    // The levels of this attribute's depth, and those the held reference
    // applied to its node (see InhibitLevels.h).
    detail::InhibitLevels m_depth;
    detail::InhibitLevels m_levels;
};

// A reference to one node of class T.
template <class T> class TAVEL_EXPORT DataSANode : public SANode {
public:
    explicit DataSANode(Node* owner, GUIControlType controlType = gt_none);
    DataSANode(DataSANode const& other);
    DataSANode& operator=(DataSANode const& other);
    ~DataSANode() override;

    // The node already held: nothing. Null clears the reference. A node that
    // is not a T: BadCastException, nothing changed.
    void set(NodeRef const& value) override;
    NodeRef get() const override;
    void setGeneric(AttributeValue const& value) override;

protected:
    Node* referencedNode() const override;

    norv::basalt::Ref<T> m_value;
};

extern template class TAVEL_EXPORT DataSANode<Node>;

} // namespace Norv::Tavel
