#include <tavel/attributes/detail/NodeLinks.h>

#include <tavel/attributes/Attribute.h>
#include <tavel/nodes/Node.h>

namespace Norv::Tavel::detail {

void NodeLinks::enter(Attribute const& attribute, Node* owner, Node& element, std::size_t index,
                      std::int32_t depth) {
    if (owner != nullptr) {
        owner->addElement(element, index, attribute);
        try {
            element.addOwner(*owner, attribute);
        } catch (...) {
            try {
                owner->removeElement(element, index, attribute);
            } catch (...) {
                // The first failure is the one the caller hears of.
            }
            throw;
        }
    }
    for (std::int32_t i = 0; i < depth; ++i) {
        raise(element);
    }
}

void NodeLinks::leave(Attribute const& attribute, Node* owner, Node& element, std::size_t index,
                      std::int32_t depth, bool lowerBeforeUnlink, std::exception_ptr& deferred) {
    if (owner != nullptr) {
        owner->removeElement(element, index, attribute);
    }
    if (!lowerBeforeUnlink) {
        unlink(attribute, owner, element);
    }
    for (std::int32_t i = 0; i < depth; ++i) {
        lower(element, deferred);
    }
    if (lowerBeforeUnlink) {
        unlink(attribute, owner, element);
    }
}

void NodeLinks::unlink(Attribute const& attribute, Node* owner, Node& element) {
    if (owner != nullptr) {
        element.removeOwner(*owner, attribute);
    }
}

void NodeLinks::raise(Node& element) {
    element.incInhibitUpdateCounter();
}

void NodeLinks::lower(Node& element, std::exception_ptr& deferred) {
    try {
        element.decInhibitUpdateCounter();
    } catch (...) {
        if (!deferred) {
            deferred = std::current_exception();
        }
    }
}

void NodeLinks::postChange(Attribute& attribute, std::int64_t& subHierarchyIncarnation,
                           ChangeAction action, bool structureChanged,
                           boost::optional<Attribute const&> source, std::int64_t incarnation) {
    if (incarnation == -1) {
        std::int64_t const fresh = Node::incrementIncarnation();
        subHierarchyIncarnation = fresh;
        attribute.Attribute::postChange(action, structureChanged, source, fresh);
        return;
    }
    if (subHierarchyIncarnation >= incarnation) {
        return;
    }
    subHierarchyIncarnation = incarnation;
    if (attribute.m_owner != nullptr) {
        attribute.m_owner->postAttributeChange(action, attribute, source, structureChanged,
                                               subHierarchyIncarnation);
    }
}

} // namespace Norv::Tavel::detail
