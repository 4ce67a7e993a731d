#include <tavel/attributes/DataSANode.h>

#include "tavel/attributes/NodeLinks.h"

#include <tavel/nodes/Node.h>

namespace Norv::Tavel {

using detail::InhibitLevels;
using detail::NodeLinks;

SANode::SANode(Node* owner, GUIControlType controlType)
    : AttributeBase<SingleAttributeBase<AT_S_NODE_PTR>>(owner, controlType),
      m_inhibitUpdateCounter(0), m_subHierarchyIncarnation(1) {}

SANode::SANode(SANode const& other)
    : AttributeBase<SingleAttributeBase<AT_S_NODE_PTR>>(other), m_inhibitUpdateCounter(0),
      m_subHierarchyIncarnation(other.m_subHierarchyIncarnation) {}

SANode& SANode::operator=(SANode const& other) {
    if (&other != this) {
        Attribute::operator=(other);
        m_subHierarchyIncarnation =
            std::max(m_subHierarchyIncarnation, other.m_subHierarchyIncarnation);
    }
    return *this;
}

SANode::~SANode() = default;

std::int64_t SANode::getSubHierarchyIncarnation() const {
    return m_subHierarchyIncarnation;
}

void SANode::incInhibitUpdateCounter() {
    std::uint32_t const token = NodeLinks::currentToken();
    ++m_inhibitUpdateCounter;
    m_depth.add(token);
    if (Node* node = referencedNode()) {
        NodeLinks::raise(*node, token, m_levels);
    }
}

void SANode::decInhibitUpdateCounter() {
    std::uint32_t const token = NodeLinks::currentToken();
    // Its own state first: the node's release notification may edit this reference.
    --m_inhibitUpdateCounter;
    m_depth.remove(token);
    Node* const node = referencedNode();
    if (node == nullptr || !m_levels.remove(token)) {
        return;
    }
    NodeRef const held(node);
    std::exception_ptr deferred;
    NodeLinks::lower(*node, token, deferred);
    if (deferred) {
        std::rethrow_exception(deferred);
    }
}

void SANode::updateOwnership(NodeRef oldValue, NodeRef newValue) {
    if (oldValue == newValue) {
        return;
    }
    NodeLinks::Edit edit(*this);
    if (newValue) {
        edit.enter(*newValue, NO_POSITION);
    }
    if (oldValue) {
        edit.leave(*oldValue, NO_POSITION);
    }
    edit.commit();
    Node* const owner = hasOwner() ? &getOwner() : nullptr;
    if (newValue) {
        NodeLinks::enter(*newValue, owner, m_depth);
    }
    std::exception_ptr deferred;
    if (oldValue) {
        NodeLinks::lower(*oldValue, m_depth, deferred);
    }
    if (deferred) {
        std::rethrow_exception(deferred);
    }
}

void SANode::postChange(ChangeAction action, bool structureChanged,
                        boost::optional<Attribute const&> source, std::int64_t const& incarnation) {
    NodeLinks::postChange(*this, m_subHierarchyIncarnation, action, structureChanged, source,
                          incarnation);
}

template <class T>
DataSANode<T>::DataSANode(Node* owner, GUIControlType controlType) : SANode(owner, controlType) {}

template <class T> DataSANode<T>::DataSANode(DataSANode const& other) : SANode(other) {
    m_value = other.m_value;
}

template <class T> DataSANode<T>& DataSANode<T>::operator=(DataSANode const& other) {
    SANode::operator=(other);
    return *this;
}

template <class T> DataSANode<T>::~DataSANode() {
    if (m_value && hasOwner()) {
        NodeLinks::unlink(*this, &getOwner(), *m_value);
    }
}

template <class T> void DataSANode<T>::set(NodeRef const& value) {
    if (value.get() == m_value.get()) {
        return;
    }
    norv::basalt::Ref<T> typed;
    if (value) {
        typed = norv::basalt::dynamic_ref_cast<T>(value);
        if (!typed) {
            throw BadCastException("");
        }
    }
    NodeRef const old = m_value;
    NodeLinks::Edit edit(*this);
    if (value) {
        edit.enter(*typed, NO_POSITION);
    }
    if (old) {
        edit.leave(*old, NO_POSITION);
    }
    if (m_value != old) {
        // A hook set this reference meanwhile: that edit stands, this one is refused.
        throw InvalidOperationException("");
    }
    edit.commit();
    if (m_value != old) {
        // A removeOwner hook set this reference while the old link went: that
        // edit stands, and this one takes back the link it made.
        edit.dropEntered();
        return;
    }
    Node* const owner = hasOwner() ? &getOwner() : nullptr;
    InhibitLevels entered = typed ? NodeLinks::enter(*typed, owner, m_depth) : InhibitLevels();
    InhibitLevels const letGo = std::exchange(m_levels, std::move(entered));
    m_value = std::move(typed);
    // A release notification that throws is passed on once the change is reported.
    std::exception_ptr deferred;
    if (old) {
        NodeLinks::lower(*old, letGo, deferred);
    }
    postChange(CA_VALUE_CHANGED, true, *this, -1);
    if (deferred) {
        std::rethrow_exception(deferred);
    }
}

template <class T> NodeRef DataSANode<T>::get() const {
    return m_value;
}

template <class T> void DataSANode<T>::setGeneric(AttributeValue const& value) {
    if (value.m_type != AT_S_NODE_PTR) {
        throw BadCastException("");
    }
    set(valueOf(value));
}

template <class T> Node* DataSANode<T>::referencedNode() const {
    return m_value.get();
}

template class DataSANode<Node>;

} // namespace Norv::Tavel
