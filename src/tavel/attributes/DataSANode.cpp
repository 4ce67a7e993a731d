#include <tavel/attributes/DataSANode.h>

#include <tavel/attributes/detail/NodeLinks.h>
#include <tavel/nodes/Node.h>

namespace Norv::Tavel {

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
    ++m_inhibitUpdateCounter;
    if (Node* node = referencedNode()) {
        NodeLinks::raise(*node);
    }
}

void SANode::decInhibitUpdateCounter() {
    std::exception_ptr deferred;
    if (Node* node = referencedNode()) {
        NodeLinks::lower(*node, deferred);
    }
    --m_inhibitUpdateCounter;
    if (deferred) {
        std::rethrow_exception(deferred);
    }
}

void SANode::updateOwnership(NodeRef oldValue, NodeRef newValue) {
    std::exception_ptr deferred;
    updateOwnership(oldValue, newValue, deferred);
    if (deferred) {
        std::rethrow_exception(deferred);
    }
}

void SANode::updateOwnership(NodeRef const& oldValue, NodeRef const& newValue,
                             std::exception_ptr& deferred) {
    if (oldValue == newValue) {
        return;
    }
    Node* const owner = hasOwner() ? &getOwner() : nullptr;
    if (newValue) {
        NodeLinks::enter(*this, owner, *newValue, NO_POSITION, m_inhibitUpdateCounter);
    }
    if (!oldValue) {
        return;
    }
    try {
        NodeLinks::leave(*this, owner, *oldValue, NO_POSITION, m_inhibitUpdateCounter, true,
                         deferred);
    } catch (...) {
        // The old node's hook refused: unbind the new node again.
        if (newValue) {
            std::exception_ptr ignored;
            NodeLinks::leave(*this, owner, *newValue, NO_POSITION, m_inhibitUpdateCounter, true,
                             ignored);
        }
        throw;
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
    // A release notification that throws is passed on once the change is made.
    std::exception_ptr deferred;
    updateOwnership(m_value, value, deferred);
    m_value = typed;
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
