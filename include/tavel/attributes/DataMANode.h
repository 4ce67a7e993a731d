#pragma once
// List node-reference attributes (kind AT_M_NODE_PTR): an ordered list of
// edges of the node graph. MANode keeps every position consistent with the
// graph, as SANode does for one reference: for each position holding node X,
// X has an owner link (owning node, this attribute), the owning node's
// addElement hook was told, and X's inhibit depth was raised as deep as this
// attribute's. The same node may appear more than once (one link per
// position); null never appears.
//
// Every list edit refuses null elements and nodes of the wrong class with
// BadCastException before anything changes. An edit then runs, for every
// element that enters or leaves, the steps that may refuse (the owner's
// element hooks, addOwner) before anything another node can see; a hook or
// addOwner that throws leaves no trace (list, owner links, registry links
// and inhibit depths are as before; hooks hear of the undo). A hook that
// edits this same list meanwhile refuses the edit with
// InvalidOperationException (its own edit stands). An edit a removeOwner
// hook makes while the leaving elements are unlinked stands too, but the
// edit being unlinked can no longer be refused: it ends there, unreported,
// and takes back the links of the elements it entered. The nodes let go are
// lowered only once the list and its links are complete, so their release
// notifications may edit the list again; an exception from one is passed on
// after the edit is reported. Erasing with indexes past the end does nothing;
// inserting past the end appends.
//
// Inside a cycle an element may hold fewer inhibit levels than the
// attribute's depth: see InhibitLevels.h.

#include <tavel/attributes/AttributeBase.h>
#include <tavel/nodes/InhibitLevels.h>

#include <exception>
#include <vector>

namespace Norv::Tavel {

// A list of node references, each one an owner link of the node it names.
class TAVEL_EXPORT MANode : public AttributeBase<MultiAttributeBase<AT_M_NODE_PTR>> {
public:
    // A copy is a snapshot: it refers to the same nodes without owner links
    // of its own, and holds no inhibit levels on them.
    MANode(MANode const& other);
    // Assigns the list through assign(); this attribute's inhibit depth stays
    // its own, so the referenced nodes stay balanced.
    MANode& operator=(MANode const& other);

    // OutOfRangeException when index is not below the count.
    virtual NodeRef getElement(std::size_t index) = 0;                                        // 28
    virtual void insertElement(NodeRef const& element, std::size_t index) = 0;                // 29
    virtual void insertElements(std::vector<NodeRef> const& elements, std::size_t index) = 0; // 30
    // Inclusive range; last < first erases only first; an index past the end
    // erases nothing.
    virtual void eraseElements(std::size_t first, std::size_t last) = 0; // 31
    virtual void eraseElement(std::size_t index) = 0;                    // 32
    virtual std::int64_t getSubHierarchyIncarnation() const;             // 33

    // Enter and leave bookkeeping for one element at a position, without
    // changing the list (leave runs while the element is still in it).
    void addElement(NodeRef const& element, std::size_t index);
    void removeElement(NodeRef const& element, std::size_t index);

protected:
    MANode(Node* owner, GUIControlType controlType);
    ~MANode() override;

    void postChange(ChangeAction action, bool structureChanged,
                    boost::optional<Attribute const&> source,
                    std::int64_t const& incarnation) override;

    std::int32_t m_inhibitUpdateCounter;
    std::int64_t m_subHierarchyIncarnation;
    // The levels of this attribute's depth, and those each position applied
    // to its node, parallel to the list (see InhibitLevels.h).
    detail::InhibitLevels m_depth;
    std::vector<detail::InhibitLevels> m_levels;
    // Counts the list's edits, so an edit sees whether a hook made another.
    std::uint64_t m_edits = 0;
};

// A list of references to nodes of class T.
template <class T> class TAVEL_EXPORT DataMANode : public MANode {
public:
    explicit DataMANode(Node* owner, GUIControlType controlType = gt_none);
    DataMANode(DataMANode const& other);
    DataMANode& operator=(DataMANode const& other);
    ~DataMANode() override;

    // Replaces the list by the smallest set of leaves and enters (elements
    // kept in place are not touched); an equal list does nothing.
    void set(std::vector<NodeRef> const& value) override;
    std::vector<NodeRef> get() const override;
    std::size_t getSize() const override;
    void setGeneric(AttributeValue const& value) override;

    NodeRef getElement(std::size_t index) override;
    void insertElement(NodeRef const& element, std::size_t index) override;
    void insertElements(std::vector<NodeRef> const& elements, std::size_t index) override;
    void eraseElements(std::size_t first, std::size_t last) override;
    void eraseElement(std::size_t index) override;

    void incInhibitUpdateCounter() override;
    void decInhibitUpdateCounter() override;

    // Slot 34. Inserts before index, or appends when index is past the end.
    // The positions given to the owner's addElement hook count within the
    // inserted elements (0, 1, 2 ...), not within the resulting list.
    virtual void insertNodeList(std::vector<norv::basalt::Ref<T>> const& elements,
                                std::size_t index);

protected:
    std::vector<norv::basalt::Ref<T>> m_values;

private:
    // A subclass that edits m_values itself leaves the levels behind: they
    // are brought to the list's length (new positions hold no levels).
    void keepLevelsInStep() {
        if (m_levels.size() != m_values.size()) {
            m_levels.resize(m_values.size());
        }
    }
    // Null or not a T: BadCastException.
    static std::vector<norv::basalt::Ref<T>> convert(std::vector<NodeRef> const& elements);
};

extern template class TAVEL_EXPORT DataMANode<Node>;

} // namespace Norv::Tavel
